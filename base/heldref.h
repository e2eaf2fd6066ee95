// base/heldref.h - one reference held for a scope (library internal).
//
// The exported interfaces count references by hand; inside the library a
// reference that must go on every way out of a scope, exceptions included,
// is held by this.
#pragma once

#include "zr/unknown.h"

namespace zr {

class CHeldRef {
 public:
  // Takes over one reference of `object` (may be null).
  explicit CHeldRef(IZRUnknown* object) : m_p(object) {}
  ~CHeldRef() {
    if (m_p) m_p->Release();
  }
  CHeldRef(const CHeldRef&) = delete;
  CHeldRef& operator=(const CHeldRef&) = delete;

 private:
  IZRUnknown* m_p;
};

}  // namespace zr
