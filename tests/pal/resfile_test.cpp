// The resource image format at its parse boundary: the bound on the records
// an image may hold, and places and sizes refused before anything is read
// (other malformed images are the fuzz target's, searches the resource tests').
#include <gtest/gtest.h>

#include <vector>

#include "pal/user/resfile.h"

namespace {

using namespace zrpal;
using namespace zrpal::res;

TEST(ResourceImage, RecordCountIsBounded) {
  // kMaxRecords empty records are accepted, one more is not.
  std::vector<DWORD> words((kMaxRecords + 1) * (kMinHeaderSize / 4), 0);
  for (std::size_t i = 0; i < words.size(); i += kMinHeaderSize / 4) {
    words[i + 1] = kMinHeaderSize;                   // HeaderSize
    words[i + 2] = words[i + 3] = 0x0000FFFF;        // type and name: ordinal 0
  }
  ResourceImage image;
  EXPECT_EQ(ResourceImage::Open(words.data(), kMaxRecords * kMinHeaderSize, &image), Status::kOk);
  EXPECT_EQ(image.RecordCount(), kMaxRecords);
  EXPECT_EQ(ResourceImage::Open(words.data(), words.size() * 4, &image), Status::kCorrupt);
  // Nothing at all is an image without resources; bad places, sizes and
  // header sizes are refused before anything is read.
  EXPECT_EQ(ResourceImage::Open(nullptr, 0, &image), Status::kOk);
  EXPECT_EQ(ResourceImage::Open(nullptr, 32, &image), Status::kCorrupt);
  EXPECT_EQ(ResourceImage::Open(reinterpret_cast<const BYTE*>(words.data()) + 2, 32, &image), Status::kCorrupt);
  EXPECT_EQ(ResourceImage::Open(words.data(), kMaxImageSize + 4, &image), Status::kCorrupt);
  words[1] = kMinHeaderSize + 2;  // a header that does not end on a DWORD
  EXPECT_EQ(ResourceImage::Open(words.data(), kMinHeaderSize + 2, &image), Status::kCorrupt);
  EXPECT_TRUE(image.Empty());
}

}  // namespace
