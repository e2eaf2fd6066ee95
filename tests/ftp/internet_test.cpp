// The platform layer's WinINet slice: URL cracking, the listing parser, and
// sessions against the server of tests/common/ftp_server.h with the WinINet
// error of each failure.
#include "pal/internet/internet.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "common/ftp_server.h"
#include "common/temp_dir.h"
#include "pal/error.h"
#include "pal/files/find.h"
#include "pal/handle.h"
#include "pal/internet/listing.h"

namespace {

using namespace zrpal;

std::u16string Part(const WCHAR* p, DWORD n) { return p ? std::u16string(p, n) : u"-"; }

TEST(InternetCrackUrl, PartsPointIntoTheUrl) {
  struct Case {
    const char16_t* url;
    INTERNET_SCHEME scheme;
    INTERNET_PORT port;
    const char16_t* parts;  // host|user|password|path|extra, "-" for none
  } cases[] = {
      {u"ftp://u:p@h:2121/d/f.txt", INTERNET_SCHEME_FTP, 2121, u"h|u|p|/d/f.txt|-"},
      {u"HTTP://h/a?b#c", INTERNET_SCHEME_HTTP, 80, u"h|-|-|/a|?b#c"},
      {u"ftp://[::1]:21/x", INTERNET_SCHEME_FTP, 21, u"[::1]|-|-|/x|-"},
      {u"mailto:x@y", INTERNET_SCHEME_UNKNOWN, 0, u"-|-|-|x@y|-"},
  };
  for (const Case& c : cases) {
    URL_COMPONENTSW u{};
    u.dwStructSize = sizeof u;
    u.dwHostNameLength = u.dwUserNameLength = u.dwPasswordLength = u.dwUrlPathLength =
        u.dwExtraInfoLength = 1;
    ASSERT_TRUE(InternetCrackUrlW(c.url, 0, 0, &u));
    EXPECT_EQ(u.nScheme, c.scheme);
    EXPECT_EQ(u.nPort, c.port);
    EXPECT_EQ(Part(u.lpszHostName, u.dwHostNameLength) + u"|" +
                  Part(u.lpszUserName, u.dwUserNameLength) + u"|" +
                  Part(u.lpszPassword, u.dwPasswordLength) + u"|" +
                  Part(u.lpszUrlPath, u.dwUrlPathLength) + u"|" +
                  Part(u.lpszExtraInfo, u.dwExtraInfoLength),
              c.parts);
  }
  // Copies into the caller's buffers, and a buffer one too small.
  WCHAR host[2];
  URL_COMPONENTSW u{};
  u.dwStructSize = sizeof u;
  u.lpszHostName = host;
  u.dwHostNameLength = 2;
  ASSERT_TRUE(InternetCrackUrlW(u"ftp://h/x", 0, 0, &u));
  EXPECT_EQ(std::u16string(host), u"h");
  u.dwHostNameLength = 2;
  EXPECT_FALSE(InternetCrackUrlW(u"ftp://hh/x", 0, 0, &u));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(u.dwHostNameLength, 3u);
  EXPECT_FALSE(InternetCrackUrlW(u"no scheme", 0, 0, &u));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  EXPECT_FALSE(InternetCrackUrlW(u"ftp://h:x1/", 0, 0, &u));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
  EXPECT_FALSE(InternetCrackUrlW(u"ftp://h/", 0, 0x10000000 /* ICU_DECODE */, &u));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(FtpListing, LinesOfBothLayouts) {
  const FILETIME now{0x8A2C8000, 0x01DB4D0C};  // 2024-12-06 (a year-less date is in 2024)
  struct Case {
    const char* line;
    const char16_t* name = nullptr;  // null: no entry
    DWORD attributes = 0, size = 0;
    const char* written = "";  // the last write, UTC
  } cases[] = {
      {"-rw-r--r--   1 root     root         1234 Dec 01 23:54 a b.txt\r", u"a b.txt",
       FILE_ATTRIBUTE_NORMAL, 1234, "2024-12-01 23:54"},
      {"-r--r--r--   1 u g 5 Mar 04  2020 ro", u"ro", FILE_ATTRIBUTE_READONLY, 5,
       "2020-03-04 00:00"},
      {"drwxr-xr-x   2 u g 4096 Jan 02 10:00 dir", u"dir", FILE_ATTRIBUTE_DIRECTORY, 0,
       "2024-01-02 10:00"},
      {"lrwxrwxrwx 1 u g 3 Jan 02 10:00 ln -> target", u"ln", FILE_ATTRIBUTE_NORMAL, 3,
       "2024-01-02 10:00"},
      {"-rw-r--r-- 1 u 77 Feb 29 2024 nogroup", u"nogroup", FILE_ATTRIBUTE_NORMAL, 77,
       "2024-02-29 00:00"},
      {"12-06-26  11:54PM       <DIR>          Win Dir", u"Win Dir", FILE_ATTRIBUTE_DIRECTORY, 0,
       "2026-12-06 23:54"},
      {"01-02-99  01:05AM                  42 old.bin", u"old.bin", FILE_ATTRIBUTE_NORMAL, 42,
       "1999-01-02 01:05"},
      {"total 12"},
      {""},
      {"-rw-r--r-- 1 u g 5 Foo 04 2020 bad-month"},
      {"-rw-r--r-- 1 u g 5 Mar 04 2020 "},
  };
  for (const Case& c : cases) {
    WIN32_FIND_DATAW e;
    ASSERT_EQ(internet::ParseListLine(c.line, std::strlen(c.line), now, &e), c.name != nullptr)
        << c.line;
    if (!c.name) continue;
    EXPECT_EQ(std::u16string(e.cFileName), c.name);
    EXPECT_EQ(e.dwFileAttributes, c.attributes) << c.line;
    EXPECT_EQ(e.nFileSizeLow, c.size) << c.line;
    SYSTEMTIME t{};
    FileTimeToSystemTime(&e.ftLastWriteTime, &t);
    char written[32];
    std::snprintf(written, sizeof written, "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute);
    EXPECT_STREQ(written, c.written) << c.line;
  }
}

// A session and a connection to the test server, closed in order.
struct Session {
  explicit Session(const char16_t* user = u"writer", const char16_t* password = u"secret") {
    internet = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    connect =
        InternetConnectW(internet, u"127.0.0.1", 0, user, password, INTERNET_SERVICE_FTP, 0, 0);
    error = GetLastError();
  }
  ~Session() {
    if (connect) InternetCloseHandle(connect);
    InternetCloseHandle(internet);
  }
  HINTERNET internet, connect;
  DWORD error;
};

class FtpSession : public ::testing::Test {
 protected:
  void SetUp() override {
    zrtest::WriteText(m_root.Path("a.txt"), "alpha");
    zrtest::WriteText(m_root.Path("b.dat"), std::string(300, 'b'));
    std::filesystem::create_directory(m_root.Path("d"));
    ASSERT_TRUE(m_server.Start(m_root.Path(), Rate()));
  }
  virtual long Rate() const { return 0; }

  zrtest::TempDir m_root;
  zrtest::TempDir m_local;
  zrtest::FtpServer m_server;
};

TEST_F(FtpSession, FindOpenReadWriteAndHandles) {
  Session s;
  ASSERT_NE(s.connect, nullptr) << s.error;
  WIN32_FIND_DATAW found;
  HINTERNET find = FtpFindFirstFileW(s.connect, u"/*", &found, 0, 0);
  ASSERT_NE(find, nullptr);
  std::u16string names;
  DWORD sizes = 0, folders = 0;
  do {
    names += std::u16string(found.cFileName) + u";";
    sizes += found.nFileSizeLow;
    folders += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  } while (InternetFindNextFileW(find, &found));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_EQ(names, u"a.txt;b.dat;d;");
  EXPECT_EQ(sizes, 305u);
  EXPECT_EQ(folders, 1u);
  // The wrong close function, and a closed handle.
  EXPECT_FALSE(CloseHandle(find));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(InternetCloseHandle(find));
  EXPECT_FALSE(InternetCloseHandle(find));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(FtpFindFirstFileW(s.connect, u"\\*.none", &found, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  // Writing: the name is taken at open; the bytes arrive on close.
  HINTERNET file = FtpOpenFileW(s.connect, u"/w.txt", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(FtpOpenFileW(s.connect, u"/a.txt", GENERIC_READ, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
  DWORD n = 0;
  EXPECT_TRUE(InternetWriteFile(file, "written", 7, &n));
  EXPECT_FALSE(InternetReadFile(file, &found, 1, &n));
  EXPECT_TRUE(InternetCloseHandle(file));
  EXPECT_EQ(zrtest::ReadText(m_root.Path("w.txt")), "written");
  file = FtpOpenFileW(s.connect, u"/a.txt", GENERIC_READ, 0, 0);
  ASSERT_NE(file, nullptr);
  char text[8] = {};
  EXPECT_TRUE(InternetReadFile(file, text, sizeof text, &n));
  EXPECT_EQ(std::string(text, n), "alpha");
  EXPECT_TRUE(InternetReadFile(file, text, sizeof text, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(InternetCloseHandle(file));
  EXPECT_EQ(FtpOpenFileW(s.connect, u"/a.txt", GENERIC_READ, 0x3, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(InternetConnectW(s.internet, u"127.0.0.1", 0, nullptr, nullptr, 3, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // A missing file: the server's reply.
  EXPECT_FALSE(FtpGetFileW(s.connect, u"/none", m_local.WPath("x").c_str(), FALSE, 0, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  DWORD code = 0, length = 0;
  EXPECT_FALSE(InternetGetLastResponseInfoW(&code, nullptr, &length));
  EXPECT_EQ(code, 550u);
  EXPECT_GT(length, 4u);
}

// A server slowed to 256 KiB/s, killed once the download has begun.
class FtpServerDies : public FtpSession {
  long Rate() const override { return 256 * 1024; }
};

TEST_F(FtpServerDies, InTheMiddleOfADownload) {
  zrtest::WriteText(m_root.Path("big"), std::string(4 << 20, 'z'));
  Session s;
  ASSERT_NE(s.connect, nullptr) << s.error;
  const std::string local = m_local.Path("big");
  std::thread killer([&] {
    // The first bytes have arrived: the transfer is under way.
    std::error_code ignored;
    while (std::filesystem::file_size(local, ignored) == 0 || ignored)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    m_server.Stop();
  });
  const BOOL ok = FtpGetFileW(s.connect, u"/big", m_local.WPath("big").c_str(), FALSE, 0, 0, 0);
  const DWORD error = GetLastError();
  killer.join();
  EXPECT_FALSE(ok);
  EXPECT_TRUE(error == ERROR_INTERNET_CONNECTION_ABORTED ||
              error == ERROR_INTERNET_CONNECTION_RESET)
      << error;
  EXPECT_FALSE(zrtest::Exists(local));  // no partial copy
}

TEST(FtpTimeout, ASilentServerIsAnError) {
  // A socket that listens but never speaks: the greeting never comes.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  HINTERNET internet = InternetOpenW(nullptr, 0, nullptr, nullptr, 0);
  DWORD ms = 1000;
  ASSERT_TRUE(InternetSetOptionW(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms));
  HINTERNET connect = InternetConnectW(internet, u"127.0.0.1", ntohs(address.sin_port), nullptr,
                                       nullptr, INTERNET_SERVICE_FTP, 0, 0);
  EXPECT_EQ(connect, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  InternetCloseHandle(internet);
  close(listener);
}

}  // namespace
