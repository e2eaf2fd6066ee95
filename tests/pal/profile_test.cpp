// The profile functions: reads and writes, the cache against changes made
// behind its back, what an atomic rewrite keeps, and writers in several
// processes.
#include "pal/profile/profile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pal/posix/syscalls.h"
#include "tests/pal/last_error.h"
#include "tests/scratch_dir.h"

extern char** environ;

namespace {

using namespace zrpal;

using zrtest::ReadFileOrNone;
using zrtest::WriteText;

class ProfileTest : public zrtest::ScratchDir {
 protected:
  std::string Read(const char* section, const char* key, const char* def = "") const {
    char buf[256];
    GetPrivateProfileStringA(section, key, def, buf, sizeof buf, m_file.c_str());
    return buf;
  }
};

// One case: a read (buffer of `size`, `text` the default) or a write
// (`text` the new text) on a file that holds `file` (null: no file).
struct ProfileCase {
  const char* what;
  const char* file;
  bool write;
  const char* section;
  const char* key;
  const char* text;
  DWORD size;
  // Reads: the buffer up to the first unwritten byte, "|" for each zero;
  // writes: the file afterwards ("<none>" when there is none).
  const char* expected;
  DWORD result;
};

const ProfileCase kCases[] = {
    {"plain", "[s]\r\nk=v\r\n", false, "s", "k", "d", 16, "v|", 1},
    {"blanks around names and value", " [ s ] \r\n  k  =  a b  \r\n", false, "s", "k", "", 16,
     "a b|", 3},
    {"caller's names trimmed too", "[s]\nk=v\n", false, " s ", "\tk ", "", 16, "v|", 1},
    {"case of section and key", "[Sec]\nKey=v\n", false, "sEC", "kEY", "", 16, "v|", 1},
    {"double quotes", "[s]\nk=\"a b\"\n", false, "s", "k", "", 16, "a b|", 3},
    {"single quotes", "[s]\nk='x'\n", false, "s", "k", "", 16, "x|", 1},
    {"one pair only", "[s]\nk=\"\"x\"\"\n", false, "s", "k", "", 16, "\"x\"|", 3},
    {"unmatched quotes stay", "[s]\nk=\"x'\n", false, "s", "k", "", 16, "\"x'|", 3},
    {"lone quote stays", "[s]\nk=\"\n", false, "s", "k", "", 16, "\"|", 1},
    {"value with =", "[s]\nk=a=b\n", false, "s", "k", "", 16, "a=b|", 3},
    {"empty value is found", "[s]\nk=\n", false, "s", "k", "d", 16, "|", 0},
    {"comment is no key", "[s]\n;k=v\n", false, "s", ";k", "d", 16, "d|", 1},
    {"line without = is no key", "[s]\nk\n", false, "s", "k", "d", 16, "d|", 1},
    {"keys before any section", "k=v\n[s]\n", false, "s", "k", "d", 16, "d|", 1},
    {"header with trailing text", "[s] ;c\nk=v\n", false, "s", "k", "", 16, "v|", 1},
    {"unclosed header is no header", "[s]\n[t\nk=v\n", false, "s", "k", "", 16, "v|", 1},
    {"^Z is white space", "[s]\nk=v\x1A\n", false, "s", "k", "", 16, "v|", 1},
    {"byte-order mark skipped", "\xEF\xBB\xBF[s]\nk=v\n", false, "s", "k", "", 16, "v|", 1},
    {"first of duplicate keys", "[s]\nk=1\nK=2\n", false, "s", "k", "", 16, "1|", 1},
    {"duplicate sections not merged", "[s]\na=1\n[s]\nb=2\n", false, "s", "b", "d", 16, "d|", 1},
    {"missing key: default", "[s]\nk=v\n", false, "s", "x", "dflt", 16, "dflt|", 4},
    {"default loses trailing blanks", "[s]\n", false, "s", "x", "  d  ", 16, "  d|", 3},
    {"default loses its quotes", "[s]\n", false, "s", "x", "'d'", 16, "d|", 1},
    {"null default", "[s]\n", false, "s", "x", nullptr, 16, "|", 0},
    {"missing file", nullptr, false, "s", "k", "d", 16, "d|", 1},
    {"empty key name reads empty", "[s]\n=v\n", false, "s", "", "d", 16, "|", 0},
    {"empty section never found", "[]\nk=v\n", false, "", "k", "d", 16, "d|", 1},
    // Truncation of values: size - 1.
    {"value cut", "[s]\nk=abcdef\n", false, "s", "k", "", 4, "abc|", 3},
    {"value fits exactly", "[s]\nk=abc\n", false, "s", "k", "", 4, "abc|", 3},
    {"size 1", "[s]\nk=abc\n", false, "s", "k", "", 1, "|", 0},
    {"quoted value cut after unquoting", "[s]\nk=\"abcd\"\n", false, "s", "k", "", 4, "abc|", 3},
    {"section names", "[a]\n[b]\nx=1\n[a]\n", false, nullptr, "ignored", "", 16, "a|b|a||", 6},
    {"key names", "[s]\nk1=1\n;c\nk2\nk3=\n=4\n", false, "s", nullptr, "", 16, "k1|k3||", 6},
    {"key names of the first section only", "[s]\na=1\n[s]\nb=2\n", false, "s", nullptr, "", 16,
     "a||", 2},
    {"no section: default", "[s]\n", false, "t", nullptr, "dd", 16, "dd|", 2},
    {"no sections", "", false, nullptr, nullptr, "", 16, "|", 0},
    {"list with two to spare", "[ab]\n[cd]\n", false, nullptr, nullptr, "", 8, "ab|cd||", 6},
    {"exact fit counts as cut", "[ab]\n[cd]\n", false, nullptr, nullptr, "", 7, "ab|cd||", 5},
    {"list cut inside a name", "[ab]\n[cd]\n", false, nullptr, nullptr, "", 6, "ab|c||", 4},
    {"list into 2", "[ab]\n", false, nullptr, nullptr, "", 2, "||", 0},
    {"list into 1", "[ab]\n", false, nullptr, nullptr, "", 1, "|", 0},
    {"new file gets CRLF", nullptr, true, "s", "k", "v", 0, "[s]\r\nk=v\r\n", TRUE},
    {"replace keeps spelling and ending", "[s]\nKey = old\n", true, "s", "key", "new", 0,
     "[s]\nKey=new\n", TRUE},
    {"leading blanks of text dropped", "[s]\r\n", true, "s", "k", "  v ", 0, "[s]\r\nk=v \r\n",
     TRUE},
    {"new key after the last non-blank line", "[a]\nx=1\n\n[b]\n", true, "a", "y", "2", 0,
     "[a]\nx=1\ny=2\n\n[b]\n", TRUE},
    {"new key into an empty section", "[a]\n[b]\n", true, "A", "y", "2", 0, "[a]\ny=2\n[b]\n",
     TRUE},
    {"new section appended", "[a]\nx=1", true, "b", "y", "2", 0, "[a]\nx=1\n[b]\ny=2\n", TRUE},
    {"comments and unknown lines survive", ";top\n[s]\n;c\njunk\nk=1\n", true, "s", "k", "2", 0,
     ";top\n[s]\n;c\njunk\nk=2\n", TRUE},
    {"first duplicate written", "[s]\nk=1\n[s]\nk=2\n", true, "s", "k", "3", 0,
     "[s]\nk=3\n[s]\nk=2\n", TRUE},
    {"delete key", "[s]\r\na=1\r\nb=2\r\n", true, "s", "a", nullptr, 0, "[s]\r\nb=2\r\n", TRUE},
    {"delete section", "[a]\nx=1\n;c\n[b]\ny=2\n", true, "a", nullptr, nullptr, 0, "[b]\ny=2\n",
     TRUE},
    {"delete last section", "[a]\nx=1\n[b]\ny=2", true, "B", nullptr, nullptr, 0, "[a]\nx=1\n",
     TRUE},
    {"delete missing key: file untouched", "[s] \n", true, "s", "x", nullptr, 0, "[s] \n", TRUE},
    {"delete in missing file: none made", nullptr, true, "s", nullptr, nullptr, 0, "<none>", TRUE},
    {"byte-order mark kept", "\xEF\xBB\xBF[a]\nx=1\n", true, "a", nullptr, nullptr, 0,
     "\xEF\xBB\xBF", TRUE},
    {"empty section name refused", "[s]\n", true, " ", "k", "v", 0, "[s]\n", FALSE},
};

TEST_F(ProfileTest, Cases) {
  for (const ProfileCase& c : kCases) {
    SCOPED_TRACE(c.what);
    unlink(m_file.c_str());
    if (c.file) Put(c.file);
    if (c.write) {
      EXPECT_EQ(WritePrivateProfileStringA(c.section, c.key, c.text, m_file.c_str()), c.result);
      EXPECT_EQ(Content(), c.expected);
      continue;
    }
    char buf[64];
    std::fill(std::begin(buf), std::end(buf), '#');
    EXPECT_EQ(GetPrivateProfileStringA(c.section, c.key, c.text, buf, c.size, m_file.c_str()),
              c.result);
    std::string seen;
    for (DWORD i = 0; i < c.size && buf[i] != '#'; ++i) seen += buf[i] ? buf[i] : '|';
    EXPECT_EQ(seen, c.expected);
  }
}

TEST_F(ProfileTest, ArgumentsAndLastError) {
  Put("[s]\nk=v\n");
  char buf[8] = "x";
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", nullptr, 8, m_file.c_str()), 0u);
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", buf, 0, m_file.c_str()), 0u);
  EXPECT_STREQ(buf, "x");  // nothing stored
  EXPECT_FAILS_WITH(GetPrivateProfileStringA("s", "k", "", buf, 8, nullptr),
                    ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(WritePrivateProfileStringA(nullptr, "k", "v", m_file.c_str()),
                    ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(WritePrivateProfileStringA("s", "k", "v", nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, m_file.c_str()));  // flush
  GetPrivateProfileStringA("s", "x", "", buf, 8, m_file.c_str());
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  GetPrivateProfileStringA("s", "k", "", buf, 8, m_file.c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_FAILS_WITH(WritePrivateProfileStringA("s", "k", "v", (m_dir + "/no/t.ini").c_str()),
                    ERROR_PATH_NOT_FOUND);
}

TEST_F(ProfileTest, WideFormsCutInUtf16Units) {
  const std::u16string file(m_file.begin(), m_file.end());
  ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k\u00e9", u"\u00e9t\u00e9", file.c_str()));
  EXPECT_EQ(Content(), "[s]\r\nk\xC3\xA9=\xC3\xA9t\xC3\xA9\r\n");  // UTF-8, the ANSI code page
  WCHAR buf[8];
  EXPECT_EQ(GetPrivateProfileStringW(u"S", u"K\u00e9", u"", buf, 8, file.c_str()), 3u);
  EXPECT_EQ(std::u16string(buf), u"\u00e9t\u00e9");
  EXPECT_EQ(GetPrivateProfileStringW(u"s", u"k\u00e9", u"", buf, 3, file.c_str()), 2u);
  EXPECT_EQ(std::u16string(buf), u"\u00e9t");
  EXPECT_EQ(GetPrivateProfileStringW(u"s", nullptr, u"", buf, 4, file.c_str()), 2u);
  EXPECT_EQ(std::u16string(buf, 4), std::u16string(u"k\u00e9\0\0", 4));
}

// Time stamps reported as `g_stampNs` whatever the file's are: a change the
// stamp cannot show.
std::int64_t g_stampNs;
void Pin(struct stat* st) {
  st->st_mtim = st->st_ctim = {g_stampNs / 1'000'000'000, g_stampNs % 1'000'000'000};
}
int PinnedStat(const char* path, struct stat* st) {
  const int r = sys::Defaults().stat(path, st);
  if (r == 0) Pin(st);
  return r;
}
int PinnedFstat(int fd, struct stat* st) {
  const int r = sys::Defaults().fstat(fd, st);
  if (r == 0) Pin(st);
  return r;
}
std::int64_t Now() {
  return std::chrono::system_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}
// Rewrites the file in place: same inode, same size.
void Overwrite(const std::string& path, const std::string& content) {
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_EQ(pwrite(fd, content.data(), content.size(), 0), static_cast<ssize_t>(content.size()));
  close(fd);
}

TEST_F(ProfileTest, SameSizeChangeWithinOneTickIsSeen) {
  sys::ScopedSyscall<decltype(sys::g.stat)> s(&sys::g.stat, PinnedStat);
  sys::ScopedSyscall<decltype(sys::g.fstat)> f(&sys::g.fstat, PinnedFstat);
  // The stamp rule, which serves the paths that cannot be watched (the
  // per-user watch limit is reached).
  sys::ScopedSyscall<decltype(sys::g.inotify_add_watch)> w(
      &sys::g.inotify_add_watch, [](int, const char*, uint32_t) { return errno = ENOSPC, -1; });
  // Stamped "now": the change lies within the tick of the cached version.
  Put("[s]\nk=1\n");
  g_stampNs = Now();
  EXPECT_EQ(Read("s", "k"), "1");
  Overwrite(m_file, "[s]\nk=2\n");
  EXPECT_EQ(Read("s", "k"), "2");
  // Stamped long before it was read, an unchanged stamp is trusted: the
  // cache answers without reading (the change below is invisible to any
  // stamp, so only a read could find it).
  g_stampNs = Now() - 10'000'000'000ll;
  EXPECT_EQ(Read("s", "k"), "2");
  EXPECT_EQ(Read("s", "k"), "2");
  Overwrite(m_file, "[s]\nk=3\n");
  EXPECT_EQ(Read("s", "k"), "2");
  g_stampNs += 1;  // any change of the stamp is seen
  EXPECT_EQ(Read("s", "k"), "3");
  // Another file put in its place (same stamp, same size), and none.
  WriteText(m_file + ".new", "[s]\nk=4\n");
  ASSERT_EQ(rename((m_file + ".new").c_str(), m_file.c_str()), 0);
  EXPECT_EQ(Read("s", "k"), "4");
  unlink(m_file.c_str());
  EXPECT_EQ(Read("s", "k", "gone"), "gone");
}

int g_stats = 0;
int CountedStat(const char* path, struct stat* st) {
  ++g_stats;
  return sys::Defaults().stat(path, st);
}

TEST_F(ProfileTest, WatchedFileIsAnsweredWithoutALookAndChangesAreSeen) {
  // A canonical path on a local file system is watched.
  const std::string folder = std::filesystem::canonical(m_dir).string() + "/d";
  const std::string file = m_file = folder + "/t.ini";
  ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
  WriteText(file, "[s]\nk=1\n");
  sys::ScopedSyscall<decltype(sys::g.stat)> s(&sys::g.stat, CountedStat);
  EXPECT_EQ(Read("s", "k", "none"), "1");
  const int looks = g_stats;
  EXPECT_EQ(Read("s", "k", "none"), "1");
  EXPECT_EQ(g_stats, looks) << "no notice, no stat";
  Overwrite(file, "[s]\nk=2\n");
  EXPECT_EQ(Read("s", "k", "none"), "2") << "in place";
  WriteText(file + ".new", "[s]\nk=3\n");
  ASSERT_EQ(rename((file + ".new").c_str(), file.c_str()), 0);
  EXPECT_EQ(Read("s", "k", "none"), "3") << "renamed over";
  ASSERT_EQ(rename(folder.c_str(), (folder + ".old").c_str()), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
  WriteText(file, "[s]\nk=4\n");
  EXPECT_EQ(Read("s", "k", "none"), "4") << "a folder on the path replaced";
  WriteText(folder + ".old/t.ini", "[s]\nk=5\n");
  EXPECT_EQ(Read("s", "k", "none"), "4") << "the old folder's file is another file";
  ASSERT_EQ(symlink((folder + ".old/t.ini").c_str(), (file + ".link").c_str()), 0);
  ASSERT_EQ(rename((file + ".link").c_str(), file.c_str()), 0);
  EXPECT_EQ(Read("s", "k", "none"), "5") << "re-targeted by a link put in its place";
  unlink(file.c_str());
  EXPECT_EQ(Read("s", "k", "none"), "none") << "deleted";
}

TEST_F(ProfileTest, AForkedChildLeavesTheParentsNoticesAlone) {
  // The child shares the notice queue: were it to read it, the parent would
  // miss the change queued before the fork.
  m_file = std::filesystem::canonical(m_dir).string() + "/t.ini";
  Put("[s]\nk=1\n");
  EXPECT_EQ(Read("s", "k"), "1");
  Overwrite(m_file, "[s]\nk=2\n");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(Read("s", "k") == "2" ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Read("s", "k"), "2");
}

TEST_F(ProfileTest, RewriteKeepsWhatAnInPlaceRewriteKeeps) {
  // Read-only attribute: refused though the folder is writable.
  Put("[s]\nk=1\n");
  chmod(m_file.c_str(), 0444);
  EXPECT_FAILS_WITH(WritePrivateProfileStringA("s", "k", "2", m_file.c_str()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Content(), "[s]\nk=1\n");
  // No write permission for the caller.
  chmod(m_file.c_str(), 0644);
  {
    sys::ScopedSyscall<decltype(sys::g.faccessat)> denied(
        &sys::g.faccessat, [](int, const char*, int, int) { return errno = EACCES, -1; });
    EXPECT_FAILS_WITH(WritePrivateProfileStringA("s", "k", "2", m_file.c_str()),
                      ERROR_ACCESS_DENIED);
  }
  // Owner and mode stay (given away by root, or kept by the in-place
  // fallback otherwise).
  chmod(m_file.c_str(), 0640);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(m_file.c_str(), 1234, 1234), 0);
  }
  struct stat before, after;
  stat(m_file.c_str(), &before);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "2", m_file.c_str()));
  stat(m_file.c_str(), &after);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(Content(), "[s]\nk=2\n");
  // A symbolic link is written through: it stays a link.
  const std::string link = m_dir + "/link.ini";
  ASSERT_EQ(symlink("t.ini", link.c_str()), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "3", link.c_str()));
  struct stat st;
  lstat(link.c_str(), &st);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Content(), "[s]\nk=3\n");
  // A link to nothing: its target is created.
  const std::string dangling = m_dir + "/dangling.ini";
  ASSERT_EQ(symlink("made.ini", dangling.c_str()), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "4", dangling.c_str()));
  EXPECT_EQ(ReadFileOrNone(m_dir + "/made.ini"), "[s]\r\nk=4\r\n");
}

// Creating files in the folder fails as in a folder the caller may not write.
int NoNewFiles(const char* path, int flags, mode_t mode) {
  if (flags & O_CREAT) return errno = EACCES, -1;
  return sys::Defaults().open(path, flags, mode);
}

TEST_F(ProfileTest, FolderNotWritableRewritesInPlace) {
  Put("[s]\nk=1\n");
  struct stat before, after;
  stat(m_file.c_str(), &before);
  sys::ScopedSyscall<decltype(sys::g.open)> noNew(&sys::g.open, NoNewFiles);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "22", m_file.c_str()));
  stat(m_file.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(Content(), "[s]\nk=22\n");
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", nullptr, m_file.c_str()));
  EXPECT_EQ(Content(), "[s]\n");  // shorter: cut to its new length
  // Nothing can be created there.
  EXPECT_FAILS_WITH(WritePrivateProfileStringA("s", "k", "v", (m_dir + "/new.ini").c_str()),
                    ERROR_ACCESS_DENIED);
}

TEST_F(ProfileTest, ReplacementLeavesNoTemporaryAndSurvivesAStaleOne) {
  WriteText(m_file + ".tmp~", "junk");  // left by a writer that was killed
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", m_file.c_str()));
  EXPECT_EQ(ReadFileOrNone(m_file + ".tmp~"), "<none>");
  EXPECT_EQ(Content(), "[s]\r\nk=v\r\n");
  // A failing fsync leaves the old file and no temporary.
  sys::ScopedSyscall<decltype(sys::g.fsync)> full(&sys::g.fsync,
                                                  [](int) { return errno = ENOSPC, -1; });
  EXPECT_FAILS_WITH(WritePrivateProfileStringA("s", "k", "w", m_file.c_str()), ERROR_DISK_FULL);
  EXPECT_EQ(Content(), "[s]\r\nk=v\r\n");
  EXPECT_EQ(ReadFileOrNone(m_file + ".tmp~"), "<none>");
}

pid_t StartWriter(std::vector<std::string> args) {
  args.insert(args.begin(), ZR_PROFILE_WRITER);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, ZR_PROFILE_WRITER, nullptr, nullptr, argv.data(), environ), 0);
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

using ProfileProcesses = zrtest::ScratchDir;

TEST_F(ProfileProcesses, TwoWritersLoseNoKey) {
  constexpr int kKeys = 1000;
  const pid_t a = StartWriter({m_file, "a", std::to_string(kKeys)});
  const pid_t b = StartWriter({m_file, "b", std::to_string(kKeys)});
  EXPECT_EQ(Wait(a), 0);
  EXPECT_EQ(Wait(b), 0);
  std::vector<char> keys(64000);
  const DWORD n = GetPrivateProfileStringA("s", nullptr, "", keys.data(), 64000, m_file.c_str());
  int listed = 0;
  for (DWORD i = 0; i < n; ++i) listed += keys[i] == 0;
  EXPECT_EQ(listed, 2 * kKeys);
  int wrong = 0;
  for (const char* prefix : {"a", "b"}) {
    for (int i = 0; i < kKeys; ++i) {
      char value[16];
      GetPrivateProfileStringA("s", (prefix + std::to_string(i)).c_str(), "", value, sizeof value,
                               m_file.c_str());
      wrong += std::to_string(i) != value;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(ProfileProcesses, KilledWriterLeavesTheOldOrTheNewFile) {
  // A large file, so that a kill often lands in the middle of a write.
  const std::string head = "[s]\r\npad=" + std::string(256 * 1024, 'x') + "\r\nn=";
  Put(head + "0\r\n");
  const unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  long last = 0;
  for (int round = 0; round < 100; ++round) {
    const pid_t writer = StartWriter({m_file, "--count"});
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
    kill(writer, SIGKILL);
    Wait(writer);
    // Exactly the text of one value of n: never cut, never mixed.
    const std::string content = Content();
    const std::size_t digits = content.size() - head.size() - 2;
    ASSERT_TRUE(content.size() > head.size() + 2 && content.compare(0, head.size(), head) == 0 &&
                content.compare(content.size() - 2, 2, "\r\n") == 0 &&
                content.find_first_not_of("0123456789", head.size()) == head.size() + digits)
        << "round " << round;
    const long n = std::atol(content.c_str() + head.size());
    ASSERT_GE(n, last) << "round " << round;
    last = n;
  }
  // The writers got on (no lock was left behind by a killed one).
  EXPECT_GT(last, 0);
}

}  // namespace
