// translation/hostcp.cpp - the translation language's ANSI code page.
//
// The translation table records the code page (base/hostcp.h) when a
// dictionary with a language identifier is loaded; until then it is 0, the
// system ANSI code page.
#include "base/hostcp.h"
#include "zr/xstring.h"

UINT Supp_GetACP() { return zr::HostCodePage(); }
