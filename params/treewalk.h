// params/treewalk.h - held references and name walks over any IParam
// (library internal), shared by the text writer, the parameter stream and
// the utilities.
#pragma once

#include <typeinfo>

#include "zr/exception.h"
#include "zr/param.h"

namespace zr {

// Names compare as the C run-time's _stricmp does in the "C" locale: ASCII
// letters without regard to case, other bytes exactly.
inline bool EqualNoCase(const char* a, const char* b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (;; ++a, ++b) {
    if (lower(*a) != lower(*b)) return false;
    if (!*a) return true;
  }
}

// Holds one reference of a node (may be null) for a scope.
class CParamRef {
 public:
  explicit CParamRef(IParam* node = nullptr) : m_p(node) {}
  ~CParamRef() {
    if (m_p) m_p->Release();
  }
  CParamRef(const CParamRef&) = delete;
  CParamRef& operator=(const CParamRef&) = delete;

  // Takes over `node`'s reference, releasing the one held before.
  void Reset(IParam* node) {
    IParam* old = m_p;
    m_p = node;
    if (old) old->Release();
  }
  IParam* Get() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  IParam* operator->() const { return m_p; }

 private:
  IParam* m_p;
};

// Walks the names of an enumerator it holds (one reference).
class CNameWalk {
 public:
  explicit CNameWalk(CTEnum<const char*>* names) : m_names(names) {}
  ~CNameWalk() {
    if (m_names) m_names->Release();
  }
  CNameWalk(const CNameWalk&) = delete;
  CNameWalk& operator=(const CNameWalk&) = delete;

  // Whether there was an enumerator to walk.
  explicit operator bool() const { return m_names != nullptr; }

  // The next name, or null at the end (or without an enumerator).
  const char* Next() {
    const char* name = nullptr;
    ULONG fetched = 0;
    if (!m_names || !m_names->Next(1, &name, &fetched) || fetched != 1) return nullptr;
    return name ? name : "";
  }

 private:
  CTEnum<const char*>* m_names;
};

// The walk of EnumParams / EnumValues where a missing enumerator is an
// error: CXIFaceException (cause 10, the name enumerator's type).
inline CTEnum<const char*>* RequireNames(CTEnum<const char*>* names) {
  if (!names) throw CXIFaceException(ZRCAUSE_INVALIDARG, &typeid(CTEnum<const char*>));
  return names;
}

}  // namespace zr
