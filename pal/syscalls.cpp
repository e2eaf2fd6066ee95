// pal/syscalls.cpp - the OS seam (see posix/syscalls.h).
#include "pal/posix/syscalls.inc"
