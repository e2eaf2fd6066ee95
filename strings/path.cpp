// strings/path.cpp - path members of CXString and CXStringW.
//
// They treat the string as a Windows path and never touch the file system.
// Delimiters are found with the reverse scan (the last character of the
// string that belongs to a set), which steps over double-byte characters in
// CXString so that a trail byte 0x5C is never taken for a backslash.
#include "strings/xbuffer.h"
#include "strings/xtext.h"
#include "zr/xstring.h"

namespace {

namespace xt = zr::xtext;

// Where the file name begins: after the last of these.
template <class Unit>
constexpr Unit kPathDelims[] = {':', '\\', '/', 0};
// The name has an extension exactly when the last of these is a period.
template <class Unit>
constexpr Unit kExtDelims[] = {':', '\\', '/', '.', 0};
// What ReducePathString puts in place of the directories it removes.
template <class Unit>
constexpr Unit kEllipsis[] = {'.', '.', '.', '\\', 0};

constexpr int kEllipsisLength = 4;

// The period that starts the extension, or null.
template <class Unit>
const Unit* ExtensionDot(const Unit* p) {
  const Unit* last = xt::FindLastOf(p, xt::Units(p), kExtDelims<Unit>);
  return last && *last == '.' ? last : nullptr;
}

template <class Unit>
const Unit* LastPathDelim(const Unit* p) {
  return xt::FindLastOf(p, xt::Units(p), kPathDelims<Unit>);
}

template <class Unit>
const Unit* NameStart(const Unit* p) {
  const Unit* last = LastPathDelim(p);
  return last ? last + 1 : p;
}

// The end of the directory part (a colon delimiter stays in it), or null
// when there is no path delimiter.
template <class Unit>
const Unit* PathEnd(const Unit* p) {
  const Unit* last = LastPathDelim(p);
  if (!last) return nullptr;
  return *last == ':' ? last + 1 : last;
}

// Copies [first, last) and a terminator to a non-null dest; the length.
template <class Unit>
int CopyRange(const Unit* first, const Unit* last, Unit* dest) {
  const std::size_t n = static_cast<std::size_t>(last - first);
  if (dest) {
    for (std::size_t i = 0; i < n; ++i) dest[i] = first[i];
    dest[n] = 0;
  }
  return static_cast<int>(n);
}

template <class Unit>
int GetFileExt(const Unit* p, Unit* dest) {
  const Unit* dot = ExtensionDot(p);
  const Unit* first = dot ? dot + 1 : p + xt::Units(p);
  return CopyRange(first, p + xt::Units(p), dest);
}

template <class Unit>
int GetFileName(const Unit* p, Unit* dest) {
  const Unit* dot = ExtensionDot(p);
  return CopyRange(NameStart(p), dot ? dot : p + xt::Units(p), dest);
}

template <class Unit>
int GetFilePath(const Unit* p, Unit* dest) {
  const Unit* end = PathEnd(p);
  return end ? CopyRange(p, end, dest) : 0;
}

// Whether the string's last character is one of two single-unit characters.
template <class Unit>
bool EndsWith(const Unit* p, Unit a, Unit b) {
  const Unit* end = p + xt::Units(p);
  const Unit* last = xt::PrevChar(p, end);
  return last && end - last == 1 && (*last == a || *last == b);
}

template <class Unit>
void AppendUnless(Unit*& p, Unit delim, Unit alsoAccepted) {
  if (EndsWith<Unit>(p, delim, alsoAccepted)) return;
  const std::size_t length = xt::Units(p);
  zr::XBuffer<Unit>::Splice(p, length, length, &delim, 1);
}

// `ext` does not point into the string (the caller copies it first).
template <class Unit>
void ChangeFileExt(Unit*& p, const Unit* ext) {
  if (*ext == '.') ++ext;
  const std::size_t length = xt::Units(p);
  if (const Unit* dot = ExtensionDot(p)) {
    const std::size_t at = static_cast<std::size_t>(dot + 1 - p);
    zr::XBuffer<Unit>::Splice(p, at, length, ext, xt::Units(ext));
    return;
  }
  AppendUnless<Unit>(p, '.', '.');
  const std::size_t withDot = xt::Units(p);
  zr::XBuffer<Unit>::Splice(p, withDot, withDot, ext, xt::Units(ext));
}

// Shortens a rooted path by replacing directories after the first one with
// the ellipsis. Works in characters through the public members, on a copy.
template <class String, class Unit>
int ReducePathString(String& s, int maxLength) {
  String w(s);
  const int n = w.GetLength();
  if (maxLength >= n) return 1;

  // The separator that ends the root: C:\ or \\server\.
  int root = -1;
  if (w.GetAt(1) == ':' && w.GetAt(2) == '\\')
    root = 2;
  else if (w.GetAt(0) == '\\' && w.GetAt(1) == '\\')
    root = w.Find(Unit('\\'), 2);  // the backslash that ends the server name
  if (root < 0) return 0;

  const int last = w.FindRev(Unit('\\'));
  if (last < 0 || last <= root) return 1;
  const int tail = n - last;  // the last backslash and the name after it

  // The first directory after the root stays when there are at least two.
  const int first = w.Find(Unit('\\'), root + 1);
  const int keep = first < last ? first : root;

  int target = maxLength;
  if (tail + 1 + kEllipsisLength > maxLength) target = tail + 5 + kEllipsisLength;

  // Each round removes one backslash and the directory name after it. The
  // walk is bounded by the string's length: every round deletes characters.
  for (;;) {
    const int d = w.Find(Unit('\\'), keep + 1);
    if (d < 0) break;
    w.Delete(keep, d - keep);
    if (!(w.GetLength() + kEllipsisLength > target && d < last)) break;
  }
  w.Insert(keep + 1, kEllipsis<Unit>);
  s = w;
  return 1;
}

}  // namespace

// --- CXString -----------------------------------------------------------------

CXString CXString::FileExt() const {
  const char* dot = ExtensionDot(m_pchData);
  return CXString(dot ? dot + 1 : "");
}

const char* CXString::GetFileExt() const {
  const char* dot = ExtensionDot(m_pchData);
  return dot ? dot + 1 : nullptr;
}

int CXString::GetFileExt(char* dest) const { return ::GetFileExt(m_pchData, dest); }

CXString CXString::FileName() const { return CXString(NameStart(m_pchData)); }

const char* CXString::GetFileName() const { return NameStart(m_pchData); }

int CXString::GetFileName(char* dest) const { return ::GetFileName(m_pchData, dest); }

CXString CXString::FilePath() const {
  CXString path;
  if (const char* end = PathEnd(m_pchData))
    path.AssignCopy(m_pchData, static_cast<unsigned>(end - m_pchData));
  return path;
}

int CXString::GetFilePath(char* dest) const { return ::GetFilePath(m_pchData, dest); }

CXString& CXString::AddDirDelim() {
  AppendUnless<char>(m_pchData, '\\', '/');
  return *this;
}

CXString& CXString::AddFileExtDelim() {
  AppendUnless<char>(m_pchData, '.', '.');
  return *this;
}

void CXString::ChangeFileExt(const char* ext) {
  if (!ext) return;
  const CXString copy(ext);  // `ext` may point into this string
  ::ChangeFileExt(m_pchData, copy.m_pchData);
}

int CXString::ReducePathString(int maxLength) {
  return ::ReducePathString<CXString, char>(*this, maxLength);
}

// --- CXStringW ----------------------------------------------------------------

CXStringW CXStringW::FileExt() const {
  const WCHAR* dot = ExtensionDot(m_pchData);
  return CXStringW(dot ? dot + 1 : nullptr);
}

const WCHAR* CXStringW::GetFileExt() const {
  const WCHAR* dot = ExtensionDot(m_pchData);
  return dot ? dot + 1 : nullptr;
}

int CXStringW::GetFileExt(WCHAR* dest) const { return ::GetFileExt(m_pchData, dest); }

CXStringW CXStringW::FileName() const { return CXStringW(NameStart(m_pchData)); }

const WCHAR* CXStringW::GetFileName() const { return NameStart(m_pchData); }

int CXStringW::GetFileName(WCHAR* dest) const { return ::GetFileName(m_pchData, dest); }

CXStringW CXStringW::FilePath() const {
  CXStringW path;
  if (const WCHAR* end = PathEnd(m_pchData))
    path.AssignCopy(m_pchData, static_cast<unsigned>(end - m_pchData));
  return path;
}

int CXStringW::GetFilePath(WCHAR* dest) const { return ::GetFilePath(m_pchData, dest); }

CXStringW& CXStringW::AddDirDelim() {
  AppendUnless<WCHAR>(m_pchData, '\\', '/');
  return *this;
}

CXStringW& CXStringW::AddFileExtDelim() {
  AppendUnless<WCHAR>(m_pchData, '.', '.');
  return *this;
}

void CXStringW::ChangeFileExt(const WCHAR* ext) {
  if (!ext) return;
  const CXStringW copy(ext);  // `ext` may point into this string
  ::ChangeFileExt(m_pchData, copy.m_pchData);
}

int CXStringW::ReducePathString(int maxLength) {
  return ::ReducePathString<CXStringW, WCHAR>(*this, maxLength);
}
