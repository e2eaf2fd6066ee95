// pal/files/url.h - the shell's test for URLs.
#pragma once

#include "pal/types.h"

namespace zrpal {

// TRUE when `path` begins with a scheme of at least two characters (letters,
// digits, "+", "-", ".") followed by ":": "ftp://h/x", "http:x",
// "file:///c:/x", "x-y.z+w:q". "C:\\x" (a one-letter drive), "a:b", "ab",
// "", "://x", "\\\\server\\share" and a null path are not URLs.
BOOL PathIsURLW(LPCWSTR path);

}  // namespace zrpal
