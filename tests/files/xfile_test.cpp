// Disk files through IXFile: slots, the sliding window, seeking, lines, and
// the causes of failures to open.
#include "zr/xfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "files/file_test_util.h"
#include "zr/fileops.h"

namespace {

using namespace zrtest;

constexpr ULONG kView = 0x20000;  // twice the 64 KiB granularity

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 131 + i / 7);
  return s;
}

TEST(XFile, SlotsAreInContractOrder) {
  TempDir dir;
  const std::u16string path = dir.WPath("f");
  Ref<IXFile> f(Fio_Open(path.c_str(), ZRFILE_WRITE));
  void* p = f.get();
  Call(p, 4, static_cast<const void*>("ab"), 2);  // Write
  Call(p, 12, BYTE{0x11});                        // WriteByte
  Call(p, 13, WORD{0x2233});                      // WriteWord
  Call(p, 14, DWORD{0x44556677});                 // WriteDword
  Call(p, 15, 1.5);                               // WriteDouble
  Call(p, 16, static_cast<const WCHAR*>(u"w"));   // WriteStringW
  Call(p, 17, static_cast<const char*>("s\n"));   // WriteString
  EXPECT_EQ(Call<ULONG>(p, 20), 24u);             // GetSize
  EXPECT_EQ(Call<ULONG>(p, 5, 0, 0u), 0u);        // Seek
  char two[2];
  EXPECT_EQ(Call<ULONG>(p, 3, static_cast<void*>(two), 2), 2u);  // Read
  EXPECT_EQ(Call<ULONG>(p, 6), 2u);                              // GetPosition
  EXPECT_EQ(Call<BYTE>(p, 8), 0x11);                             // ReadByte
  EXPECT_EQ(Call<WORD>(p, 9), 0x2233);                           // ReadWord
  EXPECT_EQ(Call<DWORD>(p, 10), 0x44556677u);                    // ReadDword
  EXPECT_EQ(Call<double>(p, 11), 1.5);                           // ReadDouble
  WCHAR w[4];
  EXPECT_EQ(Call<int>(p, 18, static_cast<WCHAR*>(w), 2), 2);  // ReadLineW: "w", 0
  char s[8];
  EXPECT_EQ(Call<int>(p, 19, static_cast<char*>(s), 8), 1);    // ReadLine: "s\n"
  EXPECT_NE(Call<int>(p, 7), 0);                               // Flush
  EXPECT_EQ(std::u16string(Call<const WCHAR*>(p, 21)), path);  // GetFileName
  void* asOut = nullptr;
  EXPECT_EQ(f->QueryInterface(typeid(IXFile), &asOut), 1);
  static_cast<IXFile*>(asOut)->Release();
  EXPECT_EQ(f->QueryInterface(typeid(IXOutFile), nullptr), 0);
  f.reset();
  const std::string bytes = zrtest::ReadText(dir.Path("f"));
  EXPECT_EQ(bytes.substr(0, 11), std::string("ab\x11\x33\x22\x77\x66\x55\x44\0\0", 11));
  EXPECT_EQ(bytes.substr(17), std::string("w\0\0\0s\n\0", 7));
}

// Reading and writing across view boundaries, at odd offsets and lengths,
// through a file several views long.
TEST(XFile, TheWindowSlidesInBothDirections) {
  TempDir dir;
  const std::u16string path = dir.WPath("big");
  const std::string data = Pattern(3 * kView + 12345);
  {
    Ref<IXFile> f(Fio_Open(path.c_str(), ZRFILE_WRITE | ZRFILE_RANDOM));
    for (std::size_t at = 0; at < data.size(); at += 70001)
      f->Write(data.data() + at, static_cast<int>(std::min<std::size_t>(70001, data.size() - at)));
    struct stat st;
    ASSERT_EQ(::stat(dir.Path("big").c_str(), &st), 0);
    EXPECT_EQ(st.st_size % kView, 0) << "grows a view at a time while open";
    EXPECT_GT(static_cast<std::size_t>(st.st_size), data.size());
  }
  EXPECT_EQ(zrtest::ReadText(dir.Path("big")), data) << "cut to the logical size when closed";
  for (int mode : std::initializer_list<int>{0, ZRFILE_EXISTING, ZRFILE_WRITE | ZRFILE_EXISTING}) {
    SCOPED_TRACE(mode);
    Ref<IXFile> f(Fio_Open(path.c_str(), mode));
    EXPECT_EQ(f->GetSize(), data.size());
    const ULONG starts[] = {3 * kView - 5, 5, kView - 1, 2 * kView + 100, 0};
    for (ULONG start : starts) {
      std::vector<char> got(kView + 10);
      EXPECT_EQ(f->Seek(static_cast<int>(start), ZRFILE_SEEK_SET), start);
      const ULONG n = f->Read(got.data(), static_cast<int>(got.size()));
      EXPECT_EQ(n, std::min<std::size_t>(got.size(), data.size() - start));
      EXPECT_EQ(std::string(got.data(), n), data.substr(start, n));
    }
    f->Seek(-4, ZRFILE_SEEK_END);
    DWORD last;
    std::memcpy(&last, data.data() + data.size() - 4, 4);
    EXPECT_EQ(f->ReadDword(), last);
    EXPECT_THROW(f->ReadByte(), CXFileException);
  }
}

TEST(XFile, SeekRulesAndErrors) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "0123456789");
  const std::u16string path = dir.WPath("f");
  Ref<IXFile> reader(Fio_Open(path.c_str(), 0));
  EXPECT_EQ(reader->Seek(-5, ZRFILE_SEEK_SET), 0u);
  EXPECT_EQ(reader->Seek(3, ZRFILE_SEEK_CUR), 3u);
  EXPECT_EQ(reader->Seek(-2, ZRFILE_SEEK_END), 8u);
  EXPECT_EQ(reader->Seek(2, ZRFILE_SEEK_CUR), 10u);
  EXPECT_EQ(ThrownBy([&] { reader->Seek(0, 3); }).cause, ZRCAUSE_BADSEEK);
  EXPECT_EQ(ThrownBy([&] { reader->Seek(11, ZRFILE_SEEK_SET); }).cause, ZRCAUSE_BADSEEK);
  EXPECT_EQ(ThrownBy([&] { reader->Write("x", 1); }).cause, ZRCAUSE_ACCESSDENIED);
  reader.reset();
  // A writer may go beyond the end; the gap reads as zeros.
  Ref<IXFile> writer(Fio_Open(path.c_str(), ZRFILE_WRITE | ZRFILE_EXISTING));
  EXPECT_EQ(writer->Seek(kView + 3, ZRFILE_SEEK_SET), kView + 3);
  writer->WriteByte('z');
  EXPECT_EQ(writer->GetSize(), kView + 4);
  writer->Seek(10, ZRFILE_SEEK_SET);
  std::string gap(kView - 7, 'x');
  EXPECT_EQ(writer->Read(gap.data(), static_cast<int>(gap.size())), gap.size());
  EXPECT_EQ(gap, std::string(kView - 7, '\0'));
  EXPECT_EQ(writer->ReadByte(), 'z');
  writer.reset();
  EXPECT_EQ(zrtest::ReadText(dir.Path("f")).size(), kView + 4);
}

TEST(XFile, EmptyFilesAndTheEndOfData) {
  TempDir dir;
  zrtest::WriteText(dir.Path("empty"), "");
  Ref<IXFile> f(Fio_Open(dir.WPath("empty").c_str(), 0));
  char c;
  EXPECT_EQ(f->Read(&c, 1), 0u);
  const FileError eof = ThrownBy([&] { f->ReadByte(); });
  EXPECT_EQ(eof.cause, ZRCAUSE_EOF);
  EXPECT_EQ(eof.operation, ZRFILEOP_READ);
  EXPECT_EQ(eof.name, dir.WPath("empty"));
  EXPECT_EQ(f->GetSize(), 0u);
  EXPECT_EQ(f->Flush(), 1);
}

TEST(XFile, LineReaderTerminators) {
  const struct {
    std::string text;
    int max;
    int result;
    std::string buffer;  // the units up to and including the terminator
  } cases[] = {
      {"ab\ncd", 10, 2, std::string("ab\n\0", 4)},  // the newline stays
      {"ab\ncd", 3, 2, std::string("ab\0", 3)},     // a newline read at max - 1 is replaced
      {"abcd", 10, 4, std::string("abcd\0", 5)},    // the data ends
      {"abcdef", 4, 4, std::string("abcd\0", 5)},   // max units without a newline
      {"\nx", 5, 0, std::string("\n\0", 2)},       {"x", 0, 0, std::string("\0", 1)},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " max " + std::to_string(c.max));
    zrtest::WriteText(dir.Path("t"), c.text);
    Ref<IXFile> f(Fio_Open(dir.WPath("t").c_str(), 0));
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(f->ReadLine(buffer, c.max), c.result);
    EXPECT_EQ(std::string(buffer, c.buffer.size()), c.buffer);
    std::u16string wide;
    for (char ch : c.text) wide.append({static_cast<char16_t>(ch)});
    zrtest::WriteText(dir.Path("w"),
                      std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
    Ref<IXFile> w(Fio_Open(dir.WPath("w").c_str(), 0));
    WCHAR units[16];
    EXPECT_EQ(w->ReadLineW(units, c.max), c.result);
    EXPECT_EQ(std::u16string(units, c.buffer.size()),
              std::u16string(c.buffer.begin(), c.buffer.end()));
  }
  zrtest::WriteText(dir.Path("t"), "ab\ncd");
  Ref<IXFile> f(Fio_Open(dir.WPath("t").c_str(), 0));
  char buffer[10];
  f->ReadLine(buffer, 10);
  EXPECT_EQ(f->ReadLine(buffer, 10), 2);
  EXPECT_STREQ(buffer, "cd");
}

TEST(XFile, OpenFailuresCarryTheirCauses) {
  TempDir dir;
  zrtest::WriteText(dir.Path("ro"), "x");
  ::chmod(dir.Path("ro").c_str(), 0444);
  const struct {
    std::u16string path;
    int mode;
    DWORD cause;
    DWORD operation;
  } cases[] = {
      {dir.WPath("missing"), 0, ZRCAUSE_FILENOTFOUND, ZRFILEOP_READ},
      {dir.WPath("no/such"), ZRFILE_WRITE, ZRCAUSE_BADPATH, ZRFILEOP_WRITE},
      {dir.WPath("ro"), ZRFILE_WRITE, ZRCAUSE_ACCESSDENIED, ZRFILEOP_WRITE},
      {dir.WPath(), 0, ZRCAUSE_ACCESSDENIED, ZRFILEOP_READ},
      {std::u16string(600, u'a'), 0, ZRCAUSE_BADPATH, ZRFILEOP_READ},  // never cut to fit
      {u"ftp://host/file", 0, ZRCAUSE_OSERROR, ZRFILEOP_OPEN},  // no such host: an Internet error
  };
  for (const auto& c : cases) {
    const FileError e = ThrownBy([&] { Ref<IXFile> f(Fio_Open(c.path.c_str(), c.mode)); });
    EXPECT_EQ(e.cause, c.cause) << std::string(
        c.path.begin(), c.path.begin() + std::min<std::size_t>(c.path.size(), 60));
    EXPECT_EQ(e.operation, c.operation);
  }
}

TEST(XFile, TemporaryFiles) {
  std::u16string name;
  {
    Ref<IXFile> f(Fio_Open(nullptr, ZRFILE_WRITE | ZRFILE_TEMPORARY));
    name = f->GetFileName();
    EXPECT_NE(name.find(u"/ZRP"), std::u16string::npos);
    EXPECT_TRUE(Fio_IsFileExist(name.c_str()));
    f->WriteDword(7);
    EXPECT_EQ(f->AddRef(), 2u);
    EXPECT_EQ(f->Release(), 1u);
    EXPECT_TRUE(Fio_IsFileExist(name.c_str()));
  }
  EXPECT_FALSE(Fio_IsFileExist(name.c_str())) << "deleted when closed";
}

}  // namespace
