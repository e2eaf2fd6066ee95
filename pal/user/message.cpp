// pal/user/message.cpp - FormatMessageA over the system's error texts: flags,
// language and buffer rules, and the platform layer's own texts for the
// codes the C library has no text for.
#include "pal/user/message.h"

#include <cstring>
#include <string>

#include "pal/error.h"
#include "pal/internal/no_memory.h"
#include "pal/user/resource.h"

namespace zrpal {

namespace {

// Provided by posix/message.inc: the C library's text for the errno value
// that corresponds to `code`; false when there is none.
bool PlatformErrorText(DWORD code, std::string& text);

// Texts for codes no errno value corresponds to (Windows' wording, without
// its final full stop, as the C library's texts have none). Where a code has
// both, this table wins: E2BIG's "Argument list too long" would mislead for
// a buffer that is too small.
struct OwnText {
  DWORD code;
  const char* text;
};

constexpr OwnText kOwnTexts[] = {
    {ERROR_INVALID_FUNCTION, "Incorrect function"},
    {ERROR_INVALID_DATA, "The data is invalid"},
    {ERROR_NO_MORE_FILES, "There are no more files"},
    {ERROR_NOT_READY, "The device is not ready"},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device"},
    {ERROR_READ_FAULT, "The system cannot read from the specified device"},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning"},
    {ERROR_HANDLE_EOF, "Reached the end of the file"},
    {ERROR_CANNOT_MAKE, "The directory or file cannot be created"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small"},
    {ERROR_INVALID_NAME, "The file name, directory name, or volume label syntax is incorrect"},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found"},
    {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found"},
    {ERROR_NEGATIVE_SEEK,
     "An attempt was made to move the file pointer before the beginning of the file"},
    {ERROR_NOT_LOCKED, "The segment is already unlocked"},
    {ERROR_BAD_EXE_FORMAT, "The file is not a module this system can load"},
    {ERROR_NO_MORE_ITEMS, "No more data is available"},
    {ERROR_INVALID_FLAGS, "Invalid flags"},
    {ERROR_MR_MID_NOT_FOUND, "The system cannot find message text for the message number"},
    {ERROR_RESOURCE_DATA_NOT_FOUND, "The specified image file did not contain a resource section"},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "The specified resource type cannot be found in the image file"},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "The specified resource name cannot be found in the image file"},
    {ERROR_RESOURCE_LANG_NOT_FOUND,
     "The specified resource language ID cannot be found in the image file"},
};

constexpr DWORD kSupportedFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

bool MessageText(DWORD code, std::string& text) {
  for (const OwnText& own : kOwnTexts) {
    if (own.code == code) {
      text = own.text;
      return true;
    }
  }
  return PlatformErrorText(code, text);
}

}  // namespace

static DWORD FormatMessageUnguarded(DWORD flags, DWORD messageId, DWORD languageId, LPSTR buffer,
                                    DWORD size) {
  const DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  const DWORD kinds = flags & ~FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if (!(kinds & FORMAT_MESSAGE_FROM_SYSTEM) || (kinds & ~kSupportedFlags) ||
      (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // A language identifier keeps its primary language in the low ten bits.
  if ((languageId & 0x3FF) != LANG_NEUTRAL || languageId > 0xFFFF) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return 0;
  }
  std::string text;
  if (!MessageText(messageId, text)) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  if (width == 0) text += "\r\n";
  if (text.size() >= size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

// The Win32 contract never throws: working memory that runs out fails the
// call with ERROR_NOT_ENOUGH_MEMORY (pal/internal/no_memory.h).
DWORD FormatMessageA(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* /*arguments*/) {
  return FailOnNoMemory<DWORD>(
      0, [&] { return FormatMessageUnguarded(flags, messageId, languageId, buffer, size); });
}

}  // namespace zrpal

#include "pal/user/posix/message.inc"
