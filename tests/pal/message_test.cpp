// FormatMessageA over the system's error texts: which text a code gets, the
// line end, the buffer rule, and the flags and languages it refuses.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "pal/last_error.h"
#include "pal/user/message.h"
#include "pal/user/resource.h"

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

// The mask leaves the line unbroken; the text and its terminator must fit.
TEST(FormatMessage, TheWidthMaskTheBufferRuleAndWhatItRefuses) {
  const std::string text = Message(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(text, std::string(std::strerror(ENOENT)) + "\r\n");  // the C library's text and a line end
  EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, kSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK) + "\r\n", text);
  const auto len = static_cast<DWORD>(text.size());
  std::string buf(len + 1, '#');
  EXPECT_FAILS_WITH(FormatMessageA(kSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, buf.data(), len, nullptr),
                    ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, buf.data(), len + 1, nullptr), len);
  auto format = [&](DWORD flags, DWORD code, DWORD language) {
    return FormatMessageA(flags, nullptr, code, language, buf.data(), len + 1, nullptr);
  };
  // No source, the flags it does not do, a line width.
  for (DWORD flags : {DWORD{FORMAT_MESSAGE_IGNORE_INSERTS}, kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                      kSystem | FORMAT_MESSAGE_FROM_STRING, kSystem | FORMAT_MESSAGE_FROM_HMODULE,
                      kSystem | FORMAT_MESSAGE_ARGUMENT_ARRAY, kSystem | 80}) {
    EXPECT_FAILS_WITH(format(flags, ERROR_FILE_NOT_FOUND, 0), ERROR_INVALID_PARAMETER);
  }
  EXPECT_FAILS_WITH(format(kSystem, ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)),
                    ERROR_RESOURCE_LANG_NOT_FOUND);
  EXPECT_FAILS_WITH(format(kSystem, 0x7FFF1234u, 0), ERROR_MR_MID_NOT_FOUND);
  // Neutral languages are the one language there is.
  for (WORD language : {MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)})
    EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, kSystem, language), Message(ERROR_FILE_NOT_FOUND));
}

}  // namespace
