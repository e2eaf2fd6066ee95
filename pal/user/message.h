// pal/user/message.h - the system's message texts for error codes.
#pragma once

#include <cstdarg>

#include "pal/types.h"

namespace zrpal {

inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
inline constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// Stores the system's message text for the Windows error code `messageId`
// in `buffer` (room for `size` characters, terminator included) and returns
// its length without the terminator.
//
// Only FORMAT_MESSAGE_FROM_SYSTEM is supported, alone or with
// FORMAT_MESSAGE_IGNORE_INSERTS (no system text here has inserts, so
// `arguments` is never read) and with a line width of 0 or
// FORMAT_MESSAGE_MAX_WIDTH_MASK. The texts are the C library's error texts,
// in the process's message language, for the errno values that correspond to
// the code (pal/error.h), and texts of the platform layer's own for the codes
// that have none (the module loader's, for example). As on Windows the text
// ends with "\r\n", except with FORMAT_MESSAGE_MAX_WIDTH_MASK, which leaves
// the line unbroken.
//
// 0 with the last error set on failure: ERROR_INVALID_PARAMETER for any other
// flag (FORMAT_MESSAGE_ALLOCATE_BUFFER, FROM_STRING, FROM_HMODULE,
// ARGUMENT_ARRAY), another line width, or a null buffer;
// ERROR_RESOURCE_LANG_NOT_FOUND for a language other than a neutral one (0 or
// a LANG_NEUTRAL language); ERROR_MR_MID_NOT_FOUND for a code without a text;
// ERROR_INSUFFICIENT_BUFFER when the text and its terminator do not fit.
// Deviations: Windows wraps lines at other widths, formats with messages of
// modules and strings, allocates the buffer on request and knows a text in
// several languages for every code it defines; the library needs the system
// texts of the errors it meets, in one language, only.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list* arguments);

}  // namespace zrpal
