// base/exception.cpp - the exception family and the file-name slots.
#include "zr/exception.h"

#include <cstddef>

#include "base/module_state.h"

namespace {

// The records other modules read: table pointer, cause, module, then the
// file name and operation code, or the interface. They are not
// standard-layout, where offsetof is conditionally supported; GCC and clang
// give the Itanium ABI's offsets. The checks sit in derived classes, where
// the protected fields can be named.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct FileExceptionLayout : CXFileException {
  static void Check() {
    static_assert(offsetof(FileExceptionLayout, m_cause) == 8);
    static_assert(offsetof(FileExceptionLayout, m_hModule) == 16);
    static_assert(offsetof(FileExceptionLayout, m_pFileName) == 24);
    static_assert(offsetof(FileExceptionLayout, m_operation) == 32);
    static_assert(sizeof(CXException) == 24 && sizeof(CXFileException) == 40);
  }
};
struct IFaceExceptionLayout : CXIFaceException {
  static void Check() {
    static_assert(offsetof(IFaceExceptionLayout, m_pIface) == 24);
    static_assert(sizeof(CXIFaceException) == 32);
    static_assert(sizeof(CXMemException) == 24 && sizeof(CXEofException) == 24);
  }
};
// The allocation failure: the CXMemException record first, at offset 0 (so a
// handler of CXMemException reads the same fields), then std::bad_alloc's
// table pointer.
struct BadAllocLayout : CXBadAlloc {
  static void Check() {
    static_assert(offsetof(BadAllocLayout, m_cause) == 8);
    static_assert(offsetof(BadAllocLayout, m_hModule) == 16);
    static_assert(sizeof(CXBadAlloc) == 32);
  }
};
#pragma GCC diagnostic pop

// Shared by every CXFileException; a slot is free when its first unit is 0.
constinit WCHAR g_fileNameSlots[CXFileException::kNameSlots][CXFileException::kNameSlotChars];

WCHAR* TakeFileNameSlot() {
  for (WCHAR* slot : g_fileNameSlots)
    if (slot[0] == 0) return slot;
  return g_fileNameSlots[0];
}
}  // namespace

CXException::CXException(DWORD cause) : m_cause(cause), m_hModule(zr::LibraryModule()) {}
CXException::~CXException() = default;
DWORD CXException::GetCause() const { return m_cause; }
void CXException::Reserved() {}

CXMemException::CXMemException() : CXException(ZRCAUSE_NOMEMORY) {}
void CXMemException::Reserved() {}

CXBadAlloc::CXBadAlloc() = default;
const char* CXBadAlloc::what() const noexcept { return "out of memory"; }

CXFileException::CXFileException(DWORD cause, const WCHAR* fileName, DWORD operation)
    : CXException(cause), m_pFileName(nullptr), m_operation(operation) {
  WCHAR* slot = TakeFileNameSlot();
  if (fileName) {
    unsigned i = 0;
    for (; i + 1 < kNameSlotChars && fileName[i]; ++i) slot[i] = fileName[i];
    // A cut name does not end in half a surrogate pair.
    if (fileName[i] && i > 0 && slot[i - 1] >= 0xD800 && slot[i - 1] <= 0xDBFF) --i;
    slot[i] = 0;
  }
  m_pFileName = slot;
}

CXFileException::~CXFileException() {
  // The slot pointer is shared with copies; the first one destroyed frees it.
  const_cast<WCHAR*>(m_pFileName)[0] = 0;
}

void CXFileException::Reserved() {}

CXEofException::CXEofException() : CXException(ZRCAUSE_EOF) {}

CXIFaceException::CXIFaceException(DWORD cause, const std::type_info* iface)
    : CXException(cause), m_pIface(iface) {}
void CXIFaceException::Reserved() {}
