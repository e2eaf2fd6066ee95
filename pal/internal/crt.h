// pal/internal/crt.h - what the run-time routines of pal/mbcs.h and pal/wstr.h share.
#pragma once

namespace zrpal {

// What the Windows run-time's comparison routines return for invalid (null)
// arguments.
inline constexpr int _NLSCMPERROR = 2147483647;

}  // namespace zrpal
