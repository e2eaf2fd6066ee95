// The resource image format: images written here record by record, then
// cut, bent and searched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pal/resfile.h"

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

// Writes resource images as resource compilers do and remembers where each
// record ends, before and after the padding of its data.
class ImageWriter {
 public:
  ImageWriter() { Add(Id(WORD{0}), Id(WORD{0}), 0, ""); }  // the leading empty record

  // Returns the offset of the record.
  std::size_t Add(const Id& type, const Id& name, WORD language, std::string_view data) {
    const std::size_t start = bytes_.size();
    std::vector<BYTE> header;
    Put32(header, static_cast<DWORD>(data.size()));
    Put32(header, 0);  // HeaderSize, below
    PutId(header, type);
    PutId(header, name);
    while (header.size() % 4) header.push_back(0);
    Put32(header, 0);  // DataVersion
    Put16(header, 0x1030);
    Put16(header, language);
    Put32(header, 0);
    Put32(header, 0);
    const auto headerSize = static_cast<DWORD>(header.size());
    std::memcpy(header.data() + 4, &headerSize, 4);
    bytes_.insert(bytes_.end(), header.begin(), header.end());
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    ends_.push_back({bytes_.size(), (bytes_.size() + 3) & ~std::size_t{3}});
    while (bytes_.size() % 4) bytes_.push_back(0);
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
    if (n == 0) return true;
    for (const auto& [end, padded] : ends_)
      if (n >= end && n <= padded) return true;
    return false;
  }

 private:
  static void Put16(std::vector<BYTE>& v, WORD w) {
    v.push_back(static_cast<BYTE>(w));
    v.push_back(static_cast<BYTE>(w >> 8));
  }
  static void Put32(std::vector<BYTE>& v, DWORD d) {
    Put16(v, static_cast<WORD>(d));
    Put16(v, static_cast<WORD>(d >> 16));
  }
  static void PutId(std::vector<BYTE>& v, const Id& id) {
    if (id.name.empty()) {
      Put16(v, 0xFFFF);
      Put16(v, id.ordinal);
      return;
    }
    for (char16_t c : id.name) Put16(v, c);
    Put16(v, 0);
  }

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
  w.Add(Id(kTypeString), Id(1), 0x0409, Block({u"zero", u"", u"two"}));
  w.Add(Id(10), Id(u"SETTINGS"), 0x0000, "abc");  // data not a multiple of 4
  w.Add(Id(u"CUSTOM"), Id(7), 0x0407, "0123456789ab");
  w.Add(Id(u"CUSTOM"), Id(7), 0x0009, "en");
  return w;
}

TEST(ResourceImage, OpensAndSearchesAWrittenImage) {
  ImageWriter w = SampleImage();
  ResourceImage image;
  ASSERT_EQ(ResourceImage::Open(w.Data(), w.Size(), &image), Status::kOk);
  EXPECT_EQ(image.RecordCount(), 5u);

  std::vector<WORD> languages;
  image.ForEach([&](const ResourceRecord& r) {
    languages.push_back(r.Language());
    return true;
  });
  EXPECT_EQ(languages, (std::vector<WORD>{0x0409, 0x0000, 0x0407, 0x0009}));

  struct Case {
    const WCHAR* type;
    const WCHAR* name;
    WORD language;
    std::string_view data;
    FindError error;
  };
  const auto ordinal = [](WORD n) { return reinterpret_cast<const WCHAR*>(std::uintptr_t{n}); };
  const Case cases[] = {
      {ordinal(10), u"settings", 0, "abc", FindError::kNone},
      {ordinal(10), u"#1", 0, "", FindError::kName},
      {u"custom", u"#7", 0x0407, "0123456789ab", FindError::kNone},
      {u"custom", ordinal(7), 0x0809, "en", FindError::kNone},
      {u"custom", ordinal(7), 0, "en", FindError::kNone},
      {u"custom", ordinal(7), 0x040C, "", FindError::kLanguage},
      {u"CUSTOMS", ordinal(7), 0, "", FindError::kType},
      {ordinal(3), ordinal(7), 0, "", FindError::kType},
  };
  for (const Case& c : cases) {
    ResourceRecord r;
    FindError error = FindError::kNone;
    const bool found = image.Find(ResourceKey(c.type), ResourceKey(c.name), c.language, &r, &error);
    EXPECT_EQ(error, c.error) << c.data;
    if (c.error != FindError::kNone) {
      EXPECT_FALSE(found);
      continue;
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(r.Data()), r.DataSize()), c.data);
    ResourceRecord again;
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
    if (status != Status::kOk) {
      EXPECT_TRUE(image.Empty());
    }
  }
}

TEST(ResourceImage, BentHeadersAreRejected) {
  struct Case {
    const char* what;
    std::size_t at;  // offset in the second record (after the 32-byte empty one)
    DWORD value;
  };
  const Case cases[] = {
      {"header size below the minimum", 4, 28},
      {"header size not on a DWORD", 4, 34},
      {"header size beyond the image", 4, 0x10000},
      {"data size beyond the image", 0, 0x10000},
      {"data size of all ones", 0, 0xFFFFFFFF},
      {"header size of all ones", 4, 0xFFFFFFFF},
      // The named type of the third record runs into the trailer.
      {"identifier without its terminator", 4, 32},
  };
  for (const Case& c : cases) {
    ImageWriter w;
    w.Add(Id(10), Id(1), 0, "data");
    const std::size_t third = w.Add(Id(u"LONGTYPENAME"), Id(u"LONGNAME"), 0, "");
    const std::size_t record = std::string_view(c.what).find("identifier") == 0 ? third : 32;
    std::memcpy(w.Bytes().data() + record + c.at, &c.value, 4);
    ResourceImage image;
    EXPECT_EQ(ResourceImage::Open(w.Data(), w.Size(), &image), Status::kCorrupt) << c.what;
    EXPECT_TRUE(image.Empty());
  }
}

TEST(ResourceImage, ImageBoundaries) {
  ImageWriter w = SampleImage();
  const BYTE* data = w.Data();
  ResourceImage image;
  // Nothing at all is an image without resources.
  EXPECT_EQ(ResourceImage::Open(nullptr, 0, &image), Status::kOk);
  EXPECT_TRUE(image.Empty());
  ResourceRecord r;
  FindError error;
  EXPECT_FALSE(image.Find(ResourceKey(u"X"), ResourceKey(u"Y"), 0, &r, &error));
  EXPECT_EQ(error, FindError::kType);
  // Bad places and sizes are refused before anything is read.
  EXPECT_EQ(ResourceImage::Open(nullptr, 32, &image), Status::kCorrupt);
  EXPECT_EQ(ResourceImage::Open(data + 2, 32, &image), Status::kCorrupt);
  EXPECT_EQ(ResourceImage::Open(data, kMaxImageSize + 4, &image), Status::kCorrupt);
}

TEST(ResourceImage, RecordCountIsBounded) {
  // kMaxRecords empty records are accepted, one more is not.
  std::vector<DWORD> words((kMaxRecords + 1) * (kMinHeaderSize / 4), 0);
  for (std::size_t i = 0; i < words.size(); i += kMinHeaderSize / 4) {
    words[i + 1] = kMinHeaderSize;  // HeaderSize
    words[i + 2] = 0x0000FFFF;       // type: ordinal 0
    words[i + 3] = 0x0000FFFF;       // name: ordinal 0
  }
  ResourceImage image;
  EXPECT_EQ(ResourceImage::Open(words.data(), kMaxRecords * kMinHeaderSize, &image), Status::kOk);
  EXPECT_EQ(image.RecordCount(), kMaxRecords);
  EXPECT_EQ(ResourceImage::Open(words.data(), words.size() * 4, &image), Status::kCorrupt);
}

TEST(ResourceImage, StringBlocks) {
  const std::string block = Block({u"", u"one", u"", u"three", u"", u"", u"", u"", u"", u"", u"",
                                   u"", u"", u"", u"", u"fifteen"});
  std::vector<WORD> aligned(block.size() / 2 + 1);
  std::memcpy(aligned.data(), block.data(), block.size());
  const auto* data = reinterpret_cast<const BYTE*>(aligned.data());
  const char16_t* expected[] = {u"", u"one", u"", u"three", u"", u"", u"", u"",
                                u"", u"", u"", u"", u"", u"", u"", u"fifteen"};
  for (unsigned i = 0; i < kStringsPerBlock; ++i) {
    StringEntry e{};
    ASSERT_TRUE(FindStringInBlock(data, block.size(), i, &e)) << i;
    EXPECT_EQ(std::u16string_view(e.text, e.length), expected[i]) << i;
  }
  // Cut inside "three": what comes before is still found, nothing after.
  const std::size_t cut = 2 + 2 + 6 + 2 + 2 + 4;
  for (unsigned i = 0; i < kStringsPerBlock; ++i) {
    StringEntry e{};
    EXPECT_EQ(FindStringInBlock(data, cut, i, &e), i < 3) << i;
  }
  StringEntry e{};
  EXPECT_FALSE(FindStringInBlock(data, 0, 0, &e));
  EXPECT_FALSE(FindStringInBlock(data, 1, 0, &e));
  const WORD huge[2] = {0xFFFF, u'x'};
  EXPECT_FALSE(FindStringInBlock(reinterpret_cast<const BYTE*>(huge), sizeof huge, 0, &e));
}

TEST(ResourceImage, KeysAndNames) {
  struct Case {
    const WCHAR* key;
    bool ordinal;
    WORD value;
  };
  const Case cases[] = {{reinterpret_cast<const WCHAR*>(std::uintptr_t{5}), true, 5},
                        {reinterpret_cast<const WCHAR*>(std::uintptr_t{0xFFFF}), true, 0xFFFF},
                        {u"#123", true, 123},
                        {u"#0065535", true, 65535},
                        {u"#65536", false, 0},
                        {u"#", false, 0},
                        {u"#12a", false, 0},
                        {u"12", false, 0}};
  for (const Case& c : cases) {
    const ResourceKey key(c.key);
    EXPECT_EQ(key.IsOrdinal(), c.ordinal);
    if (c.ordinal) {
      EXPECT_EQ(key.Ordinal(), c.value);
    }
  }

  ImageWriter w;
  w.Add(Id(u"NAME\u00C4"), Id(u"A_1"), 0, "x");
  ResourceImage image;
  ASSERT_EQ(ResourceImage::Open(w.Data(), w.Size(), &image), Status::kOk);
  struct Lookup {
    const WCHAR* type;
    const WCHAR* name;
    bool found;
  };
  const Lookup lookups[] = {{u"NAME\u00C4", u"A_1", true}, {u"name\u00C4", u"a_1", true},
                            {u"name\u00E4", u"A_1", false}, {u"NAME", u"A_1", false},
                            {u"NAME\u00C4X", u"A_1", false}, {u"NAME\u00C4", u"A_", false}};
  for (const Lookup& l : lookups) {
    ResourceRecord r;
    FindError error;
    EXPECT_EQ(image.Find(ResourceKey(l.type), ResourceKey(l.name), 0, &r, &error), l.found);
  }
}

}  // namespace
