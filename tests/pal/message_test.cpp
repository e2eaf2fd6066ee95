// FormatMessageA over the system's error texts: which text a code gets, the
// line end, the buffer rule, and the flags and languages it refuses.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "pal/error.h"
#include "pal/message.h"
#include "pal/resource.h"

namespace {

using namespace zrpal;

constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// The text for `code`, or "" after a failure.
std::string Message(DWORD code, DWORD flags = kSystem, DWORD language = 0) {
  char buf[512];
  const DWORD n = FormatMessageA(flags, nullptr, code, language, buf, sizeof buf, nullptr);
  if (n == 0) return "";
  EXPECT_EQ(std::strlen(buf), n);
  return buf;
}

TEST(FormatMessage, CodesFromErrnoGetTheCLibrarysText) {
  const struct {
    DWORD code;
    int errnum;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, ENOENT},
      {ERROR_ACCESS_DENIED, EACCES},  // not EPERM, which maps to the same code
      {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
      {ERROR_DISK_FULL, ENOSPC},
      {ERROR_ALREADY_EXISTS, EEXIST},  // a code no errno value maps to
      {ERROR_INVALID_PARAMETER, EINVAL},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Message(c.code), std::string(std::strerror(c.errnum)) + "\r\n") << c.code;
}

TEST(FormatMessage, EveryCodeTheErrnoTableGivesAndTheLoadersHaveATextAndALineEnd) {
  std::vector<DWORD> codes = {ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND, ERROR_BAD_EXE_FORMAT, ERROR_GEN_FAILURE};
  for (int e = 0; e < 200; ++e) codes.push_back(ErrnoToWin32(e));
  for (DWORD code : codes) {
    const std::string text = Message(code);
    ASSERT_GT(text.size(), 2u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
  }
  EXPECT_NE(Message(ERROR_MOD_NOT_FOUND), Message(ERROR_PROC_NOT_FOUND));
}

TEST(FormatMessage, TheWidthMaskAndTheBufferRule) {
  // The mask leaves the line unbroken; the text and its terminator must fit.
  const std::string text = Message(ERROR_FILE_NOT_FOUND);
  const std::string whole = Message(ERROR_FILE_NOT_FOUND, kSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK);
  EXPECT_EQ(whole + "\r\n", text);
  EXPECT_EQ(whole.find('\n'), std::string::npos);
  const DWORD len = static_cast<DWORD>(text.size());
  std::string buf(len + 1, '#');
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, buf.data(), len, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, buf.data(), len + 1, nullptr), len);
  EXPECT_EQ(std::string(buf.c_str()), text);
}

TEST(FormatMessage, RefusesWhatItDoesNotDo) {
  const struct {
    DWORD flags;
    DWORD code;
    DWORD language;
    DWORD error;
  } cases[] = {
      {FORMAT_MESSAGE_IGNORE_INSERTS, ERROR_FILE_NOT_FOUND, 0, ERROR_INVALID_PARAMETER},  // no source
      {kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, ERROR_FILE_NOT_FOUND, 0, ERROR_INVALID_PARAMETER},
      {kSystem | FORMAT_MESSAGE_FROM_STRING, ERROR_FILE_NOT_FOUND, 0, ERROR_INVALID_PARAMETER},
      {kSystem | FORMAT_MESSAGE_FROM_HMODULE, ERROR_FILE_NOT_FOUND, 0, ERROR_INVALID_PARAMETER},
      {kSystem | FORMAT_MESSAGE_ARGUMENT_ARRAY, ERROR_FILE_NOT_FOUND, 0, ERROR_INVALID_PARAMETER},
      {kSystem | 80, ERROR_FILE_NOT_FOUND, 0, ERROR_INVALID_PARAMETER},  // a line width
      {kSystem, ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), ERROR_RESOURCE_LANG_NOT_FOUND},
      {kSystem, 0x7FFF1234u, 0, ERROR_MR_MID_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(Message(c.code, c.flags, c.language), "");
    EXPECT_EQ(GetLastError(), c.error) << std::hex << c.flags << " " << c.code << " " << c.language;
  }
  // Neutral languages are the one language there is.
  for (WORD language : {MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)})
    EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, kSystem, language), Message(ERROR_FILE_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, nullptr, 64, nullptr), 0u);  // no buffer
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
