// base/hostcp.cpp - the host code page cell (see hostcp.h).
#include "base/hostcp.h"

namespace zr {

namespace {
// Plain, like the translation table that sets it: each process-wide table of
// the library is used by one thread at a time.
constinit UINT g_hostCodePage = 0;
}  // namespace

UINT HostCodePage() { return g_hostCodePage; }
void SetHostCodePage(UINT codePage) { g_hostCodePage = codePage; }

}  // namespace zr
