// exception.h - the exception family of the library and its cause codes.
//
// Every failure of real work is thrown by value as one of these classes and
// caught by reference (to the class, or to CXException). Each carries a cause
// code from the one table below and the library's module handle. Allocation
// failure is thrown as CXBadAlloc, which is both a CXMemException and a
// std::bad_alloc (docs/DEVELOPING.md, "Errors", has the whole policy).
#pragma once

#include <new>
#include <typeinfo>

#include "zr/zrtypes.h"

// Cause codes: the vocabulary shared by the whole library.
enum : DWORD {
  ZRCAUSE_CANCELLED = 1,       // a progress object asked to cancel
  ZRCAUSE_NOMEMORY = 2,        // out of memory or resources
  ZRCAUSE_VOLUMEFULL = 3,      // volume full
  ZRCAUSE_EOF = 4,             // end of file or data
  ZRCAUSE_BADSEEK = 5,         // bad seek
  ZRCAUSE_FILENOTFOUND = 6,    // file not found
  ZRCAUSE_BADPATH = 7,         // bad path or name
  ZRCAUSE_SHARING = 8,         // sharing or lock violation
  ZRCAUSE_ACCESSDENIED = 9,    // access denied or not writable
  ZRCAUSE_INVALIDARG = 10,     // invalid argument or state
  ZRCAUSE_OSERROR = 11,        // other operating-system error
  ZRCAUSE_DEVICE = 12,         // device or media error
  ZRCAUSE_NETWORK = 13,        // network error
  ZRCAUSE_TOOMANYFILES = 14,   // too many open files
  ZRCAUSE_BADFORMAT = 15,      // bad format
  ZRCAUSE_RECORDTOOLONG = 16,  // persisted record longer than the rest of the stream
  ZRCAUSE_BADPARAMTEXT = 34,   // bad parameter text
};

class ZR_API CXException {
 public:
  explicit CXException(DWORD cause);
  virtual ~CXException();
  virtual DWORD GetCause() const;
  // Never called by the library; empty in every class of the family.
  virtual void Reserved();

  HMODULE GetModule() const { return m_hModule; }

 protected:
  DWORD m_cause;
  HMODULE m_hModule;
};

// Allocation failure, after the low-memory sink (if any) gave up. Cause 2.
// The library throws it as CXBadAlloc (below), never as this class alone.
class ZR_API CXMemException : public CXException {
 public:
  CXMemException();
  void Reserved() override;
};

// The one allocation failure the library reports, whichever allocator failed
// (a heap of zr/heap.h, the global operator new behind the strings and
// containers, the run-time's malloc behind the memory stream). It is a
// CXMemException first (the same record at the same address: table pointer,
// cause 2, module) and a std::bad_alloc second, so that a handler of either
// catches it: modules written against the cause codes and code written
// against the standard library both see an allocation failure.
class ZR_API CXBadAlloc : public CXMemException, public std::bad_alloc {
 public:
  CXBadAlloc();
  // "out of memory": the text std::bad_alloc handlers print.
  const char* what() const noexcept override;
};

namespace zr {

// Runs `allocate`, an expression that allocates with the global operator new
// (a new-expression, a container insert), and reports its failure the
// library's way: std::bad_alloc (or std::bad_array_new_length) becomes
// CXBadAlloc; a CXBadAlloc and every other exception pass unchanged. The
// templates of the public headers allocate through it, so that a failure is
// the same whichever module instantiated them.
template <class F>
decltype(auto) Allocating(F&& allocate) {
  try {
    return allocate();
  } catch (const CXBadAlloc&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw CXBadAlloc();
  }
}

}  // namespace zr

// A file failure: a cause from the table of Windows errors to causes (or set
// by the thrower), the file's name and the file operation code.
//
// File names live in four static slots of 512 wide characters shared by all
// CXFileException objects: a new exception takes the first free slot (first
// character 0), or slot 0 when all four are taken, and its destructor frees
// the slot. Copies share the slot; the first copy destroyed frees it.
// Names longer than 511 characters are cut to their first 511 (510 when
// the 511th would be the first half of a surrogate pair).
// The slots are not guarded: exceptions of several threads can overwrite
// each other's names.
class ZR_API CXFileException : public CXException {
 public:
  CXFileException(DWORD cause, const WCHAR* fileName, DWORD operation);
  ~CXFileException() override;
  void Reserved() override;

  const WCHAR* GetFileName() const { return m_pFileName; }
  DWORD GetOperation() const { return m_operation; }

  static constexpr unsigned kNameSlots = 4;
  static constexpr unsigned kNameSlotChars = 512;

 protected:
  const WCHAR* m_pFileName;
  DWORD m_operation;
};

// End of file or data. Cause 4.
class ZR_API CXEofException : public CXException {
 public:
  CXEofException();
};

// A needed interface is missing (cause 10 at every throw site).
class ZR_API CXIFaceException : public CXException {
 public:
  CXIFaceException(DWORD cause, const std::type_info* iface);
  void Reserved() override;

  const std::type_info* GetInterface() const { return m_pIface; }

 protected:
  const std::type_info* m_pIface;
};
