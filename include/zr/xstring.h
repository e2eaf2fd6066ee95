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
// else the single byte. GetAt returns characters in the same form.
//
// Indices are ints in characters; a search that finds nothing returns -1.
#pragma once

#include <cstdarg>

#include "zr/zrtypes.h"

class ZR_API CXString {
 public:
  CXString();
  CXString(const CXString& other);
  // A null or empty text gives the empty string.
  CXString(const char* text);
  // Converted with WideCharToMultiByte in the system ANSI code page (no
  // flags, no default character); null gives the empty string.
  CXString(const WCHAR* text);
  virtual ~CXString();

  CXString& operator=(const CXString& other);
  // Copies the text (AssignCopy); null gives the empty string.
  CXString& operator=(const char* text);
  CXString& operator=(const WCHAR* text);
  // Makes the string that one character.
  CXString& operator=(WCHAR ch);

  CXString& operator+=(const CXString& other);
  CXString& operator+=(const char* text);
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
  // Makes the buffer writable with room for n characters and a terminator
  // and locks it (count -1) until ReleaseBuffer; the argument of
  // ReleaseBuffer is not used (the length is found from the terminator).
  char* GetBuffer(int n);
  void ReleaseBuffer(int unused = -1);
  int Copy(char* dest) const;                            // whole string + terminator
  int Copy(char* dest, unsigned n) const;                // first n characters + terminator
  int CopyFit(char* dest, unsigned size) const;          // longest whole-character prefix that fits
  // Loads string resource `id` of `module`; 1 on success, 0 when there is no
  // such resource or it is empty.
  int Load(void* module, unsigned id);

  // --- Comparison (results as the run-time's routines give them) ----------
  // The text must not be null.
  int Compare(const char* text) const;                   // sign of _mbscmp
  int CompareI(const char* text) const;
  int CompareN(const char* text, int n) const;
  int CompareIN(const char* text, int n) const;

  // --- Searching ----------------------------------------------------------
  int Find(const char* text, int start = 0) const;
  int Find(WCHAR ch, int start = 0) const;
  int FindOnOf(const char* chars, int start = 0) const;
  int FindRev(WCHAR ch) const;
  int FindRevOnOf(const char* chars) const;

  // --- Editing (each makes the buffer writable with the exact room needed) -
  CXString& Insert(int index, const char* text);
  CXString& Insert(int index, WCHAR ch);
  // Range rule shared by Delete, Replace and Extract: an index that is
  // negative or not less than the length is the length; the range runs from
  // min(index, index + count), not below 0, to max(index, index + count), not
  // beyond the length. A negative count reaches back from the index.
  CXString& Delete(int index, int count = 1);
  CXString& Replace(int index, int count, const char* text);
  int Extract(int index, int count, CXString& out) const;   // bytes extracted
  int Extract(int index, int count);
  int FindReplace(const char* what, const char* with);
  int FindReplace(const char* what, WCHAR with);
  int FindReplace(WCHAR what, WCHAR with);
  int FindReplace(WCHAR what, const char* with);
  CXString& TrimLeft();
  CXString& TrimRight();
  CXString& Upper();
  CXString& Lower();

  // --- Formatting ---------------------------------------------------------
  // Replaces the content with printf-style formatted text (Windows meaning of
  // the conversions: in CXString %s takes const char*, %S const WCHAR*).
  void Format(const char* format, ...);

  // --- Paths (the text is a path; the file system is never touched) --------
  CXString FileExt() const;
  const char* GetFileExt() const;
  int GetFileExt(char* dest) const;
  CXString FileName() const;
  const char* GetFileName() const;
  int GetFileName(char* dest) const;
  CXString FilePath() const;
  int GetFilePath(char* dest) const;
  CXString& AddDirDelim();
  CXString& AddFileExtDelim();
  void ChangeFileExt(const char* ext);
  int ReducePathString(int maxLength);

 protected:
  void AllocBuffer(unsigned n);
  void ReallocBuffer(unsigned n);
  void AssignCopy(const char* text, unsigned n);
  void ConcatCopy(const char* text, unsigned n);
  void ConcatCopyTo(unsigned position, const char* text, unsigned n);
  void Init();
  void Release();
  int GetAllocSize() const;
  int FormatV(const char* format, va_list args);

  char* m_pchData;
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
  CXStringW& operator=(const WCHAR* text);
  CXStringW& operator=(WCHAR ch);

  CXStringW& operator+=(const CXStringW& other);
  CXStringW& operator+=(const WCHAR* text);
  CXStringW& operator+=(WCHAR ch);

  operator const WCHAR*() const { return m_pchData; }

  void CharToOemA();
  void OemToCharA();
  void FreeExtra();

  int GetLength() const;
  int GetSize() const;
  int GetSize(unsigned n) const;
  int GetSize(unsigned start, unsigned n) const;
  WCHAR GetAt(unsigned index) const;
  const WCHAR* GetData(unsigned index) const;
  WCHAR* GetBuffer(int n);
  void ReleaseBuffer(int unused = -1);
  // Null destinations are accepted: nothing is copied and the result is 0.
  int Copy(WCHAR* dest) const;
  int Copy(WCHAR* dest, unsigned n) const;
  int CopyFit(WCHAR* dest, unsigned size) const;
  int Load(void* module, unsigned id);

  // Null texts are accepted: comparisons return 1, searches -1.
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
  // A null `what` text gives 0.
  int FindReplace(const WCHAR* what, const WCHAR* with);
  int FindReplace(const WCHAR* what, WCHAR with);
  int FindReplace(WCHAR what, WCHAR with);
  int FindReplace(WCHAR what, const WCHAR* with);
  CXStringW& TrimLeft();
  CXStringW& TrimRight();
  CXStringW& Upper();
  CXStringW& Lower();

  // In CXStringW %s takes const WCHAR* and %S const char*.
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
  void AllocBuffer(unsigned n);
  void ReallocBuffer(unsigned n);
  void AssignCopy(const WCHAR* text, unsigned n);
  void ConcatCopy(const WCHAR* text, unsigned n);
  void ConcatCopyTo(unsigned position, const WCHAR* text, unsigned n);
  void Init();
  void Release();
  int GetAllocSize() const;
  int FormatV(const WCHAR* format, va_list args);

  WCHAR* m_pchData;
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
