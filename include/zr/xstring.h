// xstring.h - the two string classes: CXString (8-bit characters of the
// process's multibyte code page) and CXStringW (UTF-16 code units).
//
// Both are one copy-on-write design. A string object holds one pointer, to
// the first character of a buffer that is one heap block:
//
//   [ref count: int32][data length: int32][allocated size: int32][chars...][0]
//                                                                ^ m_pchData
//   ref count       number of strings sharing the buffer; -1 = locked by
//                   GetBuffer (and permanently for the shared empty buffer)
//   data length     the length stored by operations that assign or grow the
//                   buffer; nothing reads it (a string's length is always the
//                   position of its first zero unit)
//   allocated size  bytes of the character area (CXStringW: 2 x code units)
//
// An empty string points at its class's shared empty buffer {-1, 0, 0, 0},
// which is never counted, written or freed. Every change allocates exactly
// the capacity it needs (no growth factor). Reference counts are plain
// integers: strings that share a buffer are used by one thread at a time.
//
// Units: CXString sizes and capacities count bytes, its indices and lengths
// count characters (a double-byte character of the multibyte code page counts
// once). CXStringW counts everything in 16-bit code units. A single-character
// argument is a WCHAR in both classes; in CXString it holds a multibyte
// character code: lead byte x 256 + trail byte for a double-byte character,
// else the single byte (when the high byte is no lead byte of the current
// code page, only the low byte counts, in searches as in edits). GetAt
// returns characters in the same form.
//
// Indices are ints in characters; a search that finds nothing returns -1.
//
// Null text arguments are accepted by both classes: comparisons then return
// 1, searches -1, FindReplace 0, and Copy, CopyFit, ConcatCopy and
// ConcatCopyTo do nothing (Copy and CopyFit return 0). A size that the 32-bit
// allocated-size field cannot hold, like a failed allocation, throws
// CXBadAlloc (zr/exception.h: both a CXMemException and a std::bad_alloc;
// buffers come from the global operator new).
#pragma once

#include <climits>
#include <cstdarg>
#include <string_view>

#include "zr/zrtypes.h"

class ZR_API CXString {
 public:
  CXString();
  // Shares the buffer of `other`, or copies it when it is locked.
  CXString(const CXString& other);
  // A null or empty text gives the empty string.
  CXString(const char* text);
  // Converted with WideCharToMultiByte in the system ANSI code page (no
  // flags, no default character); null, empty or unconvertible text gives the
  // empty string.
  CXString(const WCHAR* text);
  virtual ~CXString();

  CXString& operator=(const CXString& other);
  // Copies the text (AssignCopy: an empty text, too, gets a buffer of its
  // own); null gives the empty string.
  CXString& operator=(const char* text) {
    if (text)
      AssignCopy(text, TextUnits(text));
    else
      Release();
    return *this;
  }
  CXString& operator=(const WCHAR* text);
  // Makes the string that one character (a zero character: the empty string).
  CXString& operator=(WCHAR ch);

  CXString& operator+=(const CXString& other) {
    ConcatCopy(other.m_pchData, TextUnits(other.m_pchData));
    return *this;
  }
  CXString& operator+=(const char* text) {
    if (text) ConcatCopy(text, TextUnits(text));
    return *this;
  }
  // Appends one character (a zero character appends nothing).
  CXString& operator+=(WCHAR ch);

  // The characters, for reading; never null.
  operator const char*() const { return m_pchData; }

  // Do nothing.
  void CharToOemA();
  void OemToCharA();
  void FreeExtra();

  // --- Access -----------------------------------------------------------
  int GetLength() const;                                 // characters
  int GetSize() const;                                   // bytes, no terminator
  int GetSize(unsigned n) const;                         // bytes of the first n characters
  int GetSize(unsigned start, unsigned n) const;         // bytes of n characters from start
  WCHAR GetAt(unsigned index) const;                     // 0 at or beyond the end
  const char* GetData(unsigned index) const;             // clamped to the terminator
  // Makes the buffer writable with room for n bytes and a terminator
  // (a negative n counts as 0) and locks it (count -1) until ReleaseBuffer;
  // the argument of ReleaseBuffer is not used (the length is found from the
  // terminator). ReleaseBuffer on a string that is not locked does nothing.
  // A copy of a locked string gets a buffer of its own. The content stays,
  // except that a shared or too small buffer is replaced by one that keeps
  // only the first n bytes.
  char* GetBuffer(int n);
  void ReleaseBuffer(int unused = -1);
  int Copy(char* dest) const;                            // whole string + terminator
  int Copy(char* dest, unsigned n) const;                // first n characters + terminator
  // The longest whole-character prefix that fits `size` bytes with its
  // terminator; size 0 writes nothing and returns 0.
  int CopyFit(char* dest, unsigned size) const;
  // Loads string resource `id` of `module` in attempts of 255, 511, ...
  // bytes until the text fits; 1 on success, 0 when there is no such
  // resource or it is empty (the string is then empty).
  int Load(void* module, unsigned id);

  // --- Comparison (results as the run-time's routines give them) ----------
  int Compare(const char* text) const;                   // -1, 0 or 1 (the sign of _mbscmp)
  int CompareI(const char* text) const;
  // n characters; a negative n is read as unsigned (the whole texts).
  int CompareN(const char* text, int n) const;
  int CompareIN(const char* text, int n) const;

  // --- Searching ----------------------------------------------------------
  // The search starts after the first min(start, length) characters, start
  // read as unsigned (a negative start finds nothing but an empty text).
  // Searching for the zero character finds the terminator (the length).
  int Find(const char* text, int start = 0) const;
  int Find(WCHAR ch, int start = 0) const;
  int FindOnOf(const char* chars, int start = 0) const;
  int FindRev(WCHAR ch) const;
  int FindRevOnOf(const char* chars) const;

  // --- Editing (each makes the buffer writable with the exact room needed) -
  // An index beyond the end, or a negative one, inserts at the end.
  CXString& Insert(int index, const char* text);
  CXString& Insert(int index, WCHAR ch);
  // Range rule shared by Delete, Replace and Extract: an index that is
  // negative or not less than the length is the length; the range runs from
  // min(index, index + count), not below 0, to max(index, index + count), not
  // beyond the length. A negative count reaches back from the index.
  CXString& Delete(int index, int count = 1);
  // Does nothing for an empty range or an empty text (it never inserts).
  CXString& Replace(int index, int count, const char* text);
  // The bytes extracted; an empty range leaves `out` the empty string.
  int Extract(int index, int count, CXString& out) const;
  int Extract(int index, int count);
  // Replaces the first occurrence; 1 if one was replaced, else 0. An empty
  // `what` text matches at the start; a zero `what` character never occurs;
  // a zero `with` character or an empty `with` text deletes the occurrence.
  int FindReplace(const char* what, const char* with);
  int FindReplace(const char* what, WCHAR with);
  int FindReplace(WCHAR what, WCHAR with);
  int FindReplace(WCHAR what, const char* with);
  CXString& TrimLeft();
  CXString& TrimRight();
  // Make the buffer writable with room for twice the length plus 2 bytes.
  CXString& Upper();
  CXString& Lower();

  // --- Formatting ---------------------------------------------------------
  // Replaces the content with printf-style formatted text (Windows meaning of
  // the conversions: in CXString %s takes const char*, %S const WCHAR*; the
  // formatter of pal/format.h, independent of the locale). FormatV first
  // estimates the length E; the buffer is made writable with room for E + 1
  // bytes, locked, printed into once and unlocked. Where the estimate falls
  // short (a negative '*' width, a long %f, 64-bit sizes, text that grows in
  // conversion) the buffer is enlarged and the text printed again: nothing
  // is ever written past the buffer. The format and the arguments may point
  // into this string: the text is then printed into a fresh buffer, and the
  // old one released afterwards. A null text prints "(null)"; a null format
  // gives an empty string. An estimate beyond what a buffer can hold
  // (2^31 - 1 bytes) is replaced by the exact length; a text longer than
  // that throws CXBadAlloc. The string is then unchanged when the estimate
  // was beyond the limit too; when the estimate fell short, the first print
  // has already filled the buffer, and the string holds part of the text
  // (as after running out of memory). Running out of memory while printing
  // also throws CXBadAlloc; the string is then valid and unlocked but holds
  // only part of the text.
  void Format(const char* format, ...);

  // --- Paths (the text is a path; the file system is never touched) --------
  // Path delimiters are ':', '\\' and '/'; the name has an extension when
  // the last of ':', '\\', '/', '.' in the string is a period. Lengths are
  // in bytes.
  CXString FileExt() const;
  const char* GetFileExt() const;                        // null without an extension
  int GetFileExt(char* dest) const;
  CXString FileName() const;
  const char* GetFileName() const;
  int GetFileName(char* dest) const;                     // the name without its extension
  CXString FilePath() const;                             // a colon delimiter stays
  int GetFilePath(char* dest) const;                     // 0, dest untouched, without a path
  CXString& AddDirDelim();
  CXString& AddFileExtDelim();
  // One leading period of `ext` is dropped; a null `ext` does nothing.
  void ChangeFileExt(const char* ext);
  // Shortens a drive path (C:\...) or network path (\\server\...) towards
  // maxLength characters by replacing directories after the first with
  // "...\"; 0 (unchanged) for other paths, else 1.
  int ReducePathString(int maxLength);

 protected:
  // Capacities n count bytes. AllocBuffer(0) leaves the string empty.
  void AllocBuffer(unsigned n);
  // Sole owner (or locked) and n <= capacity: the buffer stays. Otherwise a
  // fresh buffer of exactly n bytes keeps the first min(n - 1, length)
  // bytes, so it stays terminated.
  void ReallocBuffer(unsigned n);
  // A fresh buffer of n + 1 bytes (also for n == 0); nothing when `text` is
  // this string's own pointer; a null text gives the empty string. `text`
  // may point into the string.
  void AssignCopy(const char* text, unsigned n);
  // Appends n bytes (room for length + n + 1). `text` may point into the
  // string.
  void ConcatCopy(const char* text, unsigned n);
  // Cuts the string at byte `position` (when it is inside) and appends.
  void ConcatCopyTo(unsigned position, const char* text, unsigned n);
  void Init();
  void Release();
  int GetAllocSize() const;                              // bytes of the character area
  // The estimate E of Format, by the library's fixed size rules (see
  // strings/format.cpp); it may be negative or too small, never read past a
  // null text. Reads a copy of `args`. A text argument is only read where
  // the formatter reads a text of that width, so a size the rules do not know
  // (%I64d, %lld) never makes it read an integer as a text.
  int FormatV(const char* format, va_list args);

  char* m_pchData;

 private:
  static unsigned TextUnits(const char* text) {
    const std::size_t n = std::char_traits<char>::length(text);
    return n < UINT_MAX ? static_cast<unsigned>(n) : UINT_MAX;
  }
};

class ZR_API CXStringW {
 public:
  CXStringW();
  CXStringW(const CXStringW& other);
  // A null or empty text gives the empty string.
  CXStringW(const WCHAR* text);
  // Converted by hostMultiByteToUnicode (the translation language's ANSI code
  // page); null, empty or unconvertible text gives the empty string.
  CXStringW(const char* text);
  virtual ~CXStringW();

  CXStringW& operator=(const CXStringW& other);
  CXStringW& operator=(const WCHAR* text) {
    if (text)
      AssignCopy(text, TextUnits(text));
    else
      Release();
    return *this;
  }
  CXStringW& operator=(WCHAR ch);

  CXStringW& operator+=(const CXStringW& other) {
    ConcatCopy(other.m_pchData, TextUnits(other.m_pchData));
    return *this;
  }
  CXStringW& operator+=(const WCHAR* text) {
    ConcatCopy(text, text ? TextUnits(text) : 0);
    return *this;
  }
  CXStringW& operator+=(WCHAR ch);

  operator const WCHAR*() const { return m_pchData; }

  void CharToOemA();
  void OemToCharA();
  void FreeExtra();

  // Everything counts UTF-16 code units.
  int GetLength() const;
  int GetSize() const;
  int GetSize(unsigned n) const;
  int GetSize(unsigned start, unsigned n) const;
  WCHAR GetAt(unsigned index) const;
  const WCHAR* GetData(unsigned index) const;
  WCHAR* GetBuffer(int n);
  void ReleaseBuffer(int unused = -1);
  int Copy(WCHAR* dest) const;
  int Copy(WCHAR* dest, unsigned n) const;
  int CopyFit(WCHAR* dest, unsigned size) const;
  int Load(void* module, unsigned id);

  int Compare(const WCHAR* text) const;                  // exactly -1, 0 or 1
  int CompareI(const WCHAR* text) const;
  int CompareN(const WCHAR* text, int n) const;
  int CompareIN(const WCHAR* text, int n) const;

  int Find(const WCHAR* text, int start = 0) const;
  int Find(WCHAR ch, int start = 0) const;
  int FindOnOf(const WCHAR* chars, int start = 0) const;
  int FindRev(WCHAR ch) const;
  int FindRevOnOf(const WCHAR* chars) const;
  int FindI(const WCHAR* text) const;                    // case-insensitive Find from 0

  CXStringW& Insert(int index, const WCHAR* text);
  CXStringW& Insert(int index, WCHAR ch);
  CXStringW& Delete(int index, int count = 1);
  CXStringW& Replace(int index, int count, const WCHAR* text);
  int Extract(int index, int count, CXStringW& out) const;
  int Extract(int index, int count);
  int FindReplace(const WCHAR* what, const WCHAR* with);
  int FindReplace(const WCHAR* what, WCHAR with);
  int FindReplace(WCHAR what, WCHAR with);
  int FindReplace(WCHAR what, const WCHAR* with);
  CXStringW& TrimLeft();
  CXStringW& TrimRight();
  CXStringW& Upper();
  CXStringW& Lower();

  // As CXString::Format, in code units: %s takes const WCHAR* and %S const
  // char* (converted through the ANSI code page).
  void Format(const WCHAR* format, ...);

  CXStringW FileExt() const;
  const WCHAR* GetFileExt() const;
  int GetFileExt(WCHAR* dest) const;
  CXStringW FileName() const;
  const WCHAR* GetFileName() const;
  int GetFileName(WCHAR* dest) const;
  CXStringW FilePath() const;
  int GetFilePath(WCHAR* dest) const;
  CXStringW& AddDirDelim();
  CXStringW& AddFileExtDelim();
  void ChangeFileExt(const WCHAR* ext);
  int ReducePathString(int maxLength);

 protected:
  // Capacities n count code units (the header stores 2n bytes).
  void AllocBuffer(unsigned n);
  void ReallocBuffer(unsigned n);
  // A fresh buffer of n + 2 code units; otherwise as in CXString.
  void AssignCopy(const WCHAR* text, unsigned n);
  void ConcatCopy(const WCHAR* text, unsigned n);
  void ConcatCopyTo(unsigned position, const WCHAR* text, unsigned n);
  void Init();
  void Release();
  int GetAllocSize() const;
  int FormatV(const WCHAR* format, va_list args);

  WCHAR* m_pchData;

 private:
  static unsigned TextUnits(const WCHAR* text) {
    const std::size_t n = std::char_traits<WCHAR>::length(text);
    return n < UINT_MAX ? static_cast<unsigned>(n) : UINT_MAX;
  }
};

// The result holds the left operand followed by the right one, in a buffer
// allocated once for both. A null text counts as empty.
ZR_API CXString operator+(const CXString& left, const CXString& right);
ZR_API CXString operator+(const CXString& left, const char* right);
ZR_API CXString operator+(const CXString& left, WCHAR right);
ZR_API CXString operator+(const char* left, const CXString& right);
ZR_API CXString operator+(WCHAR left, const CXString& right);

ZR_API CXStringW operator+(const CXStringW& left, const CXStringW& right);
ZR_API CXStringW operator+(const CXStringW& left, const WCHAR* right);
ZR_API CXStringW operator+(const CXStringW& left, WCHAR right);
ZR_API CXStringW operator+(const WCHAR* left, const CXStringW& right);
ZR_API CXStringW operator+(WCHAR left, const CXStringW& right);

// A scoped lock of a string's buffer: GetBuffer(n) at construction,
// ReleaseBuffer(-1) at destruction.
template <class String, class Pointer>
class __CXBuff {
 public:
  __CXBuff(String& s, int n) : m_p(s.GetBuffer(n)), m_pString(&s) {}
  virtual ~__CXBuff() { m_pString->ReleaseBuffer(-1); }
  __CXBuff(const __CXBuff&) = delete;
  __CXBuff& operator=(const __CXBuff&) = delete;

  operator Pointer() const { return m_p; }

  Pointer m_p;
  String* m_pString;
};

extern template class ZR_API __CXBuff<CXString, char*>;
extern template class ZR_API __CXBuff<CXStringW, WCHAR*>;

// --- Conversion of 8-bit text to CXStringW --------------------------------
// The translation subsystem completes both functions: once a dictionary with
// a language identifier is loaded, the code page becomes that language's
// ANSI code page. Until then it is 0, the system ANSI code page.

// Converts `text` with MultiByteToWideChar in the code page Supp_GetACP
// gives. 1 on success; 0 (and `out` empty) for null or empty text or text
// the code page cannot convert.
ZR_API int hostMultiByteToUnicode(const char* text, CXStringW& out);
// The ANSI code page of the active translation language; 0 before one is
// chosen.
ZR_API UINT Supp_GetACP();
