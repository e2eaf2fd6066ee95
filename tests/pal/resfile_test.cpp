// The resource image format: images written here record by record, then
// cut, bent and searched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pal/user/resfile.h"

namespace {

using namespace zrpal;
using namespace zrpal::res;

// A type or name: an ordinal, or a name when one is given.
struct Id {
  Id(WORD n) : ordinal(n) {}
  Id(const char16_t* s) : name(s) {}
  WORD ordinal = 0;
  std::u16string name;
};

const WCHAR* Ordinal(WORD n) { return reinterpret_cast<const WCHAR*>(std::uintptr_t{n}); }

// Writes resource images as resource compilers do and remembers where each
// record ends, before and after the padding of its data.
class ImageWriter {
 public:
  ImageWriter() { Add(WORD{0}, WORD{0}, 0, ""); }  // the leading empty record

  // Returns the offset of the record.
  std::size_t Add(const Id& type, const Id& name, WORD language, std::string_view data) {
    const std::size_t start = bytes_.size();
    Put(data.size(), 4);
    Put(0, 4);  // HeaderSize, below
    for (const Id* id : {&type, &name}) {
      if (id->name.empty()) Put(0xFFFF | std::uint64_t{id->ordinal} << 16, 4);
      for (char16_t c : id->name) Put(c, 2);
      if (!id->name.empty()) Put(0, 2);
    }
    Pad();
    Put(std::uint64_t{language} << 48 | std::uint64_t{0x1030} << 32, 8);  // DataVersion, MemoryFlags, LanguageId
    Put(0, 8);  // Version, Characteristics
    const auto headerSize = static_cast<DWORD>(bytes_.size() - start);
    std::memcpy(bytes_.data() + start + 4, &headerSize, 4);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    ends_.push_back({bytes_.size(), (bytes_.size() + 3) & ~std::size_t{3}});
    Pad();
    return start;
  }

  // A copy in memory aligned as images are.
  const BYTE* Data() {
    aligned_.assign((bytes_.size() + 3) / 4 + 1, 0);
    std::memcpy(aligned_.data(), bytes_.data(), bytes_.size());
    return reinterpret_cast<const BYTE*>(aligned_.data());
  }
  std::size_t Size() const { return bytes_.size(); }
  std::vector<BYTE>& Bytes() { return bytes_; }
  // Whether an image cut after n bytes is still whole records.
  bool IsWholeRecords(std::size_t n) const {
    for (const auto& [end, padded] : ends_)
      if (n >= end && n <= padded) return true;
    return n == 0;
  }

 private:
  void Put(std::uint64_t value, int bytes) {  // little-endian
    for (int i = 0; i < bytes; ++i) bytes_.push_back(static_cast<BYTE>(value >> (8 * i)));
  }
  void Pad() { bytes_.resize((bytes_.size() + 3) & ~std::size_t{3}); }

  std::vector<BYTE> bytes_;
  std::vector<std::pair<std::size_t, std::size_t>> ends_;
  std::vector<DWORD> aligned_;
};

// A string-table block of the given strings (16 entries, absent ones empty).
std::string Block(std::vector<std::u16string> strings) {
  strings.resize(kStringsPerBlock);
  std::string out;
  for (const std::u16string& s : strings) {
    const auto n = static_cast<WORD>(s.size());
    out.append(reinterpret_cast<const char*>(&n), 2);
    out.append(reinterpret_cast<const char*>(s.data()), s.size() * 2);
  }
  return out;
}

ImageWriter SampleImage() {
  ImageWriter w;
  w.Add(kTypeString, 1, 0x0409, Block({u"zero", u"", u"two"}));
  w.Add(10, u"SETTINGS", 0x0000, "abc");  // data not a multiple of 4
  w.Add(u"CUSTOM", 7, 0x0407, "0123456789ab");
  w.Add(u"CUSTOM", 7, 0x0009, "en");
  return w;
}

// Language choice and the errors of a search are checked on the program's
// own resources (resource_test.cpp); here the records of a written image.
TEST(ResourceImage, OpensAndSearchesAWrittenImage) {
  ImageWriter w = SampleImage();
  ResourceImage image;
  ASSERT_EQ(ResourceImage::Open(w.Data(), w.Size(), &image), Status::kOk);
  EXPECT_EQ(image.RecordCount(), 5u);
  std::vector<WORD> languages;
  image.ForEach([&](const ResourceRecord& r) { return languages.push_back(r.Language()), true; });
  EXPECT_EQ(languages, (std::vector<WORD>{0x0409, 0x0000, 0x0407, 0x0009}));

  struct Case { const WCHAR* type; const WCHAR* name; WORD language; std::string_view data; };
  const Case cases[] = {{Ordinal(10), u"settings", 0, "abc"},
                        {u"custom", u"#7", 0x0407, "0123456789ab"},
                        {u"custom", Ordinal(7), 0x0809, "en"}};
  for (const Case& c : cases) {
    ResourceRecord r, again;
    FindError error = FindError::kType;
    ASSERT_TRUE(image.Find(ResourceKey(c.type), ResourceKey(c.name), c.language, &r, &error)) << c.data;
    EXPECT_EQ(error, FindError::kNone);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(r.Data()), r.DataSize()), c.data);
    ASSERT_TRUE(image.RecordAt(r.Start(), &again));
    EXPECT_EQ(again.Data(), r.Data());
    EXPECT_FALSE(image.RecordAt(r.Start() + 4, &again));
  }
  ResourceRecord r;
  EXPECT_FALSE(image.RecordAt(w.Data() - 4, &r));
  EXPECT_FALSE(image.RecordAt(w.Data() + w.Size(), &r));
}

TEST(ResourceImage, EveryCutIsCheckedAtItsLength) {
  ImageWriter w = SampleImage();
  const BYTE* data = w.Data();
  for (std::size_t n = 0; n <= w.Size(); ++n) {
    ResourceImage image;
    const Status status = ResourceImage::Open(data, n, &image);
    EXPECT_EQ(status == Status::kOk, w.IsWholeRecords(n)) << "cut at " << n;
    EXPECT_TRUE(status == Status::kOk || image.Empty()) << "cut at " << n;
  }
  // Nothing at all is an image without resources; bad places and sizes are
  // refused before anything is read.
  ResourceImage image;
  EXPECT_EQ(ResourceImage::Open(nullptr, 0, &image), Status::kOk);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(ResourceImage::Open(nullptr, 32, &image), Status::kCorrupt);
  EXPECT_EQ(ResourceImage::Open(data + 2, 32, &image), Status::kCorrupt);
  EXPECT_EQ(ResourceImage::Open(data, kMaxImageSize + 4, &image), Status::kCorrupt);
}

TEST(ResourceImage, BentHeadersAreRejected) {
  // `at`: offset in the second record (after the 32-byte empty one).
  struct Case { const char* what; std::size_t at; DWORD value; };
  const Case cases[] = {
      {"header size below the minimum", 4, 28}, {"header size not on a DWORD", 4, 34},
      {"header size beyond the image", 4, 0x10000}, {"data size beyond the image", 0, 0x10000},
      {"data size of all ones", 0, 0xFFFFFFFF}, {"header size of all ones", 4, 0xFFFFFFFF},
      {"identifier without its terminator", 4, 32},  // the third record's named type runs into the trailer
  };
  for (const Case& c : cases) {
    ImageWriter w;
    w.Add(10, 1, 0, "data");
    const std::size_t third = w.Add(u"LONGTYPENAME", u"LONGNAME", 0, "");
    const std::size_t record = std::string_view(c.what).find("identifier") == 0 ? third : 32;
    std::memcpy(w.Bytes().data() + record + c.at, &c.value, 4);
    ResourceImage image;
    EXPECT_EQ(ResourceImage::Open(w.Data(), w.Size(), &image), Status::kCorrupt) << c.what;
    EXPECT_TRUE(image.Empty());
  }
}

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
}

TEST(ResourceImage, StringBlocks) {
  std::vector<std::u16string> strings(kStringsPerBlock);
  strings[1] = u"one", strings[3] = u"three", strings[15] = u"fifteen";
  const std::string block = Block(strings);
  std::vector<WORD> aligned(block.size() / 2 + 1);
  std::memcpy(aligned.data(), block.data(), block.size());
  const auto* data = reinterpret_cast<const BYTE*>(aligned.data());
  // Cut inside "three": what comes before is still found, nothing after.
  const std::size_t cut = 2 + 2 + 6 + 2 + 2 + 4;
  for (unsigned i = 0; i < kStringsPerBlock; ++i) {
    StringEntry e{};
    ASSERT_TRUE(FindStringInBlock(data, block.size(), i, &e)) << i;
    EXPECT_EQ(std::u16string_view(e.text, e.length), strings[i]) << i;
    EXPECT_EQ(FindStringInBlock(data, cut, i, &e), i < 3) << i;
  }
  StringEntry e{};
  EXPECT_FALSE(FindStringInBlock(data, 0, 0, &e));
  EXPECT_FALSE(FindStringInBlock(data, 1, 0, &e));
  const WORD huge[2] = {0xFFFF, u'x'};
  EXPECT_FALSE(FindStringInBlock(reinterpret_cast<const BYTE*>(huge), sizeof huge, 0, &e));
}

TEST(ResourceImage, KeysAndNames) {
  const std::pair<const WCHAR*, int> keys[] = {{Ordinal(5), 5}, {Ordinal(0xFFFF), 0xFFFF}, {u"#123", 123},
                                               {u"#0065535", 65535}, {u"#65536", -1}, {u"#", -1},
                                               {u"#12a", -1}, {u"12", -1}};  // -1: a name
  for (const auto& [text, ordinal] : keys) {
    const ResourceKey key(text);
    EXPECT_EQ(key.IsOrdinal() ? key.Ordinal() : -1, ordinal);
  }
  // Names fold ASCII letters only.
  ImageWriter w;
  w.Add(u"NAME\u00C4", u"A_1", 0, "x");
  ResourceImage image;
  ASSERT_EQ(ResourceImage::Open(w.Data(), w.Size(), &image), Status::kOk);
  struct Lookup { const WCHAR* type; const WCHAR* name; bool found; };
  const Lookup lookups[] = {{u"NAME\u00C4", u"A_1", true},  {u"name\u00C4", u"a_1", true},
                            {u"name\u00E4", u"A_1", false}, {u"NAME", u"A_1", false},
                            {u"NAME\u00C4X", u"A_1", false}, {u"NAME\u00C4", u"A_", false}};
  for (const Lookup& l : lookups) {
    ResourceRecord r;
    FindError error;
    EXPECT_EQ(image.Find(ResourceKey(l.type), ResourceKey(l.name), 0, &r, &error), l.found);
  }
}

}  // namespace
