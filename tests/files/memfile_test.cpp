// Memory files: how names are read, and the read-only file over a block.
#include "zr/memfile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "files/file_test_util.h"
#include "zr/filelock.h"
#include "zr/fileops.h"

namespace {

using namespace zrtest;

const char kBlock[] = "abcdefgh";

std::string Address(const void* p) { return std::to_string(reinterpret_cast<std::uintptr_t>(p)); }

// The block lies beyond 4 GiB: its names need the 64-bit reading of the
// address (the 32-bit one could not name it).
TEST(MemFileName, SeparatorsCaseAndBrokenNames) {
  ASSERT_GT(reinterpret_cast<std::uintptr_t>(kBlock), 0xFFFFFFFFu);
  const std::string a = Address(kBlock);
  const struct {
    std::string name;
    ULONG size;  // 0: an empty file that reads nothing
  } cases[] = {
      {"fmem::" + a + ",5", 5},
      {"fmem::" + a + ".5", 5},
      {"FMEM::" + a + ",,5", 5},
      {"fMeM::," + a + ",5,99", 5},
      {"fmem:: " + a + ", +5x", 5},  // _wtoi's white space, sign, tail
      {"fmem::" + a, 0},
      {"fmem::" + a + ",-5", 0},
      {"fmem::0,5", 0},
      {"fmem::" + a + ",4294967296", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string name = TempDir::Wide(c.name);
    EXPECT_EQ(Fio_IsMemFile(name.c_str()), 1);
    Ref<IXFile> f(Fio_Open(name.c_str(), 0));
    ASSERT_NE(f.get(), nullptr);
    EXPECT_EQ(f->GetSize(), c.size);
    char got[16] = {};
    EXPECT_EQ(f->Read(got, 16), c.size);
    EXPECT_EQ(std::string(got, c.size), std::string(kBlock, c.size));
    EXPECT_EQ(std::u16string(f->GetFileName()), name);
    FioFileInfo info{};
    info.year = 1999;
    Fio_GetFileInfo(name.c_str(), &info);
    EXPECT_EQ(info.size, c.size);
    EXPECT_EQ(info.year, 1999u) << "only the size is set";
  }
  EXPECT_EQ(Fio_IsMemFile(u"fmem:"), 0);
  EXPECT_EQ(Fio_IsMemFile(u"/fmem::1,2"), 0);
  EXPECT_EQ(Fio_IsMemFile(nullptr), 0);
}

TEST(MemFile, ReadsTheBlockInPlaceAndNeverWritesIt) {
  char block[] = "12345";
  const std::u16string name = TempDir::Wide("fmem::" + Address(block) + ",5");
  Ref<IXOutFile> f(Fio_OpenOut(name.c_str(), ZRFILE_WRITE));
  char got[10];
  EXPECT_EQ(f->Read(got, 10), 5u);
  f->Seek(0, ZRFILE_SEEK_SET);
  for (char expected : std::string("12345")) EXPECT_EQ(f->ReadByte(), expected);
  const FileError eof = ThrownBy([&] { f->ReadByte(); });
  EXPECT_EQ(eof.cause, ZRCAUSE_EOF);
  EXPECT_EQ(eof.operation, ZRFILEOP_READ);
  f->Seek(0, ZRFILE_SEEK_SET);
  f->Write("xx", 2);
  f->WriteDword(0);
  EXPECT_EQ(f->GetPosition(), 0u) << "writing does nothing";
  EXPECT_STREQ(block, "12345");
  EXPECT_EQ(f->Seek(5, ZRFILE_SEEK_SET), 5u);
  EXPECT_EQ(f->Seek(-9, ZRFILE_SEEK_CUR), 0u);
  for (auto seek :
       {+[](IXOutFile* m) { m->Seek(6, ZRFILE_SEEK_SET); }, +[](IXOutFile* m) { m->Seek(0, 3); }}) {
    const FileError e = ThrownBy([&] { seek(f.get()); });
    EXPECT_EQ(e.cause, ZRCAUSE_BADSEEK);
    EXPECT_EQ(e.operation, ZRFILEOP_READ);
  }
  EXPECT_EQ(f->Flush(), 1);
  f->Commit();
  EXPECT_EQ(f->AddRef(), 2u);
  EXPECT_EQ(f->Release(), 1u);
  EXPECT_EQ(Fio_IsFileExist(name.c_str()), 1);
  EXPECT_EQ(Fio_IsWritableFile(name.c_str()), 1);
  Fio_DeleteFile(name.c_str());       // nothing to delete
  Fio_CreateDirectory(name.c_str());  // nothing to make
  EXPECT_STREQ(block, "12345");
}

}  // namespace
