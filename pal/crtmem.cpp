// pal/crtmem.cpp - the run-time's heap functions (pal/crtmem.h); nothing
// here is OS-independent: the calls are in posix/crtmem.inc.
#include "pal/crtmem.h"

#include "pal/posix/crtmem.inc"
