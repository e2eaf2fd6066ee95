// Path members of both string classes.
#include <cstring>
#include <string>

#include "text_util.h"

namespace {

using strtest::Ascii;

template <class S>
class Path : public ::testing::Test {};
TYPED_TEST_SUITE(Path, strtest::Widths);

// FileExt (nullptr: GetFileExt gives null), FileName, GetFileName(dest),
// FilePath (nullptr: no path delimiter).
struct SplitCase { const char *path, *ext, *name, *baseName, *dir; };
constexpr SplitCase kSplits[] = {
    {"C:\\dir\\file.txt", "txt", "file.txt", "file", "C:\\dir"},
    {"C:\\dir.x\\file", nullptr, "file", "file", "C:\\dir.x"},
    {"C:file", nullptr, "file", "file", "C:"},                  {"C:\\file", nullptr, "file", "file", "C:"},
    {"file", nullptr, "file", "file", nullptr},                 {"a.b.c", "c", "a.b.c", "a.b", nullptr},
    {"dir/sub/x.tar.gz", "gz", "x.tar.gz", "x.tar", "dir/sub"}, {"name.", "", "name.", "name", nullptr},
    {".profile", "profile", ".profile", "", nullptr},           {"dir\\", nullptr, "", "", "dir"},
    {"\\file.c", "c", "file.c", "file", ""},                    {"", nullptr, "", "", nullptr},
};

TYPED_TEST(Path, Split) {
  STRTEST_TYPES;
  for (const SplitCase& c : kSplits) {
    SCOPED_TRACE(c.path);
    const S s(Text(c.path).get());
    const std::string ext = c.ext ? c.ext : "", dir = c.dir ? c.dir : "";
    Unit buf[32] = {Unit('#')};
    EXPECT_EQ(Ascii(s.FileExt()), ext);
    // A pointer into the string itself.
    EXPECT_EQ(s.GetFileExt(), c.ext ? s.GetData(s.GetLength() - static_cast<unsigned>(ext.size())) : nullptr);
    EXPECT_EQ(s.GetFileExt(buf), static_cast<int>(ext.size()));
    EXPECT_EQ(Ascii(buf), ext);
    EXPECT_EQ(s.GetFileExt(nullptr), static_cast<int>(ext.size()));

    EXPECT_EQ(Ascii(s.FileName()), c.name);
    EXPECT_EQ(Ascii(s.GetFileName()), c.name);
    EXPECT_EQ(s.GetFileName(buf), static_cast<int>(std::strlen(c.baseName)));
    EXPECT_EQ(Ascii(buf), c.baseName);
    EXPECT_EQ(s.GetFileName(nullptr), static_cast<int>(std::strlen(c.baseName)));

    EXPECT_EQ(Ascii(s.FilePath()), dir);
    buf[0] = Unit('#'), buf[1] = 0;
    EXPECT_EQ(s.GetFilePath(buf), static_cast<int>(dir.size()));
    EXPECT_EQ(Ascii(buf), c.dir ? dir : "#");  // untouched without a delimiter
  }
}

TYPED_TEST(Path, Delimiters) {
  STRTEST_TYPES;
  // Before, after AddDirDelim, after AddFileExtDelim.
  struct { const char *path, *dir, *ext; } const cases[] = {
      {"C:\\dir", "C:\\dir\\", "C:\\dir."}, {"C:\\dir/", "C:\\dir/", "C:\\dir/."},
      {"C:\\dir\\", "C:\\dir\\", "C:\\dir\\."}, {"name.", "name.\\", "name."}, {"", "\\", "."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(Ascii(S(Text(c.path).get()).AddDirDelim()), c.dir);
    EXPECT_EQ(Ascii(S(Text(c.path).get()).AddFileExtDelim()), c.ext);
  }
}

TYPED_TEST(Path, ChangeFileExt) {
  STRTEST_TYPES;
  struct { const char *path, *ext, *expected; } const cases[] = {
      {"name.txt", ".bak", "name.bak"}, {"name", ".bak", "name.bak"},      {"name.", ".bak", "name.bak"},
      {"name.txt", "", "name."},        {"name.txt", "bak", "name.bak"},   {"d.x\\name", "c", "d.x\\name.c"},
      {"a.b.c", "d", "a.b.d"},          {"", "e", ".e"},  {"name.txt", "..bak", "name..bak"},  // one period goes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " + " << c.ext);
    S s(Text(c.path).get());
    s.ChangeFileExt(Text(c.ext));
    EXPECT_EQ(Ascii(s), c.expected);
  }
  S s(Text("keep.me").get());
  s.ChangeFileExt(static_cast<const Unit*>(nullptr));
  EXPECT_EQ(Ascii(s), "keep.me");
}

TYPED_TEST(Path, ReducePathString) {
  STRTEST_TYPES;
  struct { const char* path; int maxLength, result; const char* expected; } const cases[] = {
      {"C:\\a\\b\\c\\file.txt", 15, 1, "C:\\a\\...\\file.txt"},
      {"C:\\dir\\name", 5, 1, "C:\\...\\name"},
      {"\\\\srv\\share\\dir\\file", 10, 1, "\\\\srv\\share\\...\\file"},
      {"dir\\sub\\file", 5, 0, "dir\\sub\\file"},          // not rooted
      {"\\\\server", 3, 0, "\\\\server"},                  // no end of the server name
      {"C:\\a\\b", 10, 1, "C:\\a\\b"},                     // fits already
      {"C:\\a\\b", 6, 1, "C:\\a\\b"},                      // exactly fits
      {"C:\\file", 2, 1, "C:\\file"},                      // nothing between root and name
      {"C:\\dir\\", 2, 1, "C:\\...\\"},
      {"C:\\one\\two\\three\\four\\name.ext", 22, 1, "C:\\one\\...\\name.ext"},
      // Directories go from the front until the text fits.
      {"C:\\one\\two\\three\\four\\name.ext", 28, 1, "C:\\one\\...\\four\\name.ext"},
      // The root, the first directory and the name always stay.
      {"C:\\one\\two\\three\\four\\name.ext", 3, 1, "C:\\one\\...\\name.ext"},
      {"\\\\srv\\share\\a\\b\\c", 12, 1, "\\\\srv\\share\\...\\c"},
      {"\\\\srv\\share\\file", 5, 1, "\\\\srv\\...\\file"},
      {"C:/a/b/c/file", 3, 0, "C:/a/b/c/file"},  // slashes are not separators here
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " to " << c.maxLength);
    S s(Text(c.path).get());
    const S before(s);
    EXPECT_EQ(s.ReducePathString(c.maxLength), c.result);
    EXPECT_EQ(Ascii(s), c.expected);
    EXPECT_EQ(Ascii(before), c.path);
  }
}

}  // namespace
