// Fuzzes the string and formatting API under the double-byte code pages
// 932, 936, 949 and 950, with texts made of lead bytes, trail bytes that
// look like ASCII ('\\' is a trail byte in 932), broken pairs and lead bytes
// at the end. There is no simple model of a double-byte page, so the API is
// checked against itself along different paths:
//  - characters: GetAt of each character, appended one by one, rebuilds
//    the string; a code above 0xFF has a lead byte as its high byte;
//    GetSize(n) grows by one character's bytes at a time; FindRev and Find
//    of a character find a character with that code;
//  - edits: Insert, Delete and Replace give what Extract's pieces and
//    concatenation give; Upper and Lower keep every double-byte character
//    and the size, and CompareI of the two cases is 0;
//  - paths: the file name starts at a character, never after a trail byte;
//  - formatting: "%s" prints the text and "%.*s" its first bytes (a
//    precision of the same width counts units and may split a character,
//    as the Windows run-time does); "%.*S" of the text's UTF-16 form is the
//    longest whole-character prefix of its conversion (CopyFit's); "%S" and
//    "%C" convert as the string classes do; widths pad to the same size;
//  - conversion to UTF-16 and back and to UTF-16 again gives the same
//    characters when the bytes are valid in the ANSI page.
// The multibyte page of the 8-bit class is chosen per input (_setmbcp); the
// formatter and the conversions use the ANSI page, which is the process's
// (ZR_ACP, read when the library starts: without a setting the target runs
// itself again under 932; scripts/fuzz's CODEPAGE picks the others). The
// formatting properties are checked when the two pages agree.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "fuzz/check.h"
#include "pal/codepage.h"
#include "pal/mbcs.h"
#include "zr/xstring.h"

namespace {

// Bytes that matter in the double-byte pages: lead bytes of all four,
// trail bytes in ASCII's range, path delimiters, spaces and letters.
std::string TextFrom(FuzzedDataProvider& in) {
  static constexpr unsigned char kBytes[] = {0x81, 0x82, 0x83, 0x9F, 0xA1, 0xB0, 0xE0, 0xFE, 0x5C, 0x40,
                                             0x7E, 0x5B, 0x7C, 0x2E, 0x3A, 0x2F, 0x20, 0x61, 0x41, 0x7A};
  std::string text;
  const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 16);
  for (std::size_t i = 0; i < n && in.remaining_bytes(); ++i) {
    const unsigned char b = in.ConsumeIntegral<unsigned char>();
    const char c = static_cast<char>(b >= 0xC0 ? b : kBytes[b % sizeof kBytes]);
    if (c) text.push_back(c);
  }
  return text;
}

bool IsLead(unsigned char c) { return zrpal::_ismbblead(c) != 0; }

// Characters: GetAt, GetSize(n), the single-character forms.
void CheckCharacters(const CXString& s) {
  const int length = s.GetLength();
  const int size = s.GetSize();
  Check(length <= size && s.GetSize(static_cast<unsigned>(length)) == size, "length and size");
  CXString rebuilt;
  for (int i = 0; i < length; ++i) {
    const WCHAR code = s.GetAt(static_cast<unsigned>(i));
    const int width = s.GetSize(static_cast<unsigned>(i) + 1) - s.GetSize(static_cast<unsigned>(i));
    Check(width == (code > 0xFF ? 2 : 1), "character width");
    if (code > 0xFF) Check(IsLead(static_cast<unsigned char>(code >> 8)), "double-byte code");
    Check(code != 0, "no zero character inside");
    rebuilt += code;
    const int found = s.Find(code);
    Check(found >= 0 && found <= i && s.GetAt(static_cast<unsigned>(found)) == code, "Find(ch)");
    const int last = s.FindRev(code);
    Check(last >= i && s.GetAt(static_cast<unsigned>(last)) == code, "FindRev(ch)");
  }
  Check(s.GetAt(static_cast<unsigned>(length)) == 0, "GetAt at the end");
  Check(rebuilt.Compare(s) == 0, "characters rebuild the string");
}

CXString Piece(const CXString& s, int from, int count) {
  CXString out;
  s.Extract(from, count, out);
  return out;
}

// Edits against the pieces they are made of.
void CheckEdits(const CXString& s, const CXString& text, int at, int count) {
  const int length = s.GetLength();
  const int i = at < 0 || at > length ? length : at;
  CXString inserted(s);
  inserted.Insert(at, text);
  Check(inserted.Compare(Piece(s, 0, i) + text + Piece(s, i, length - i)) == 0, "Insert");
  // Delete and Replace over [first, last) of the range rule.
  const int index = at < 0 || at >= length ? length : at;
  const long long a = index, b = static_cast<long long>(index) + count;
  const int first = static_cast<int>(std::max(0LL, std::min(a, b)));
  const int last = static_cast<int>(std::min(std::max(a, b), static_cast<long long>(length)));
  CXString deleted(s);
  deleted.Delete(at, count);
  const CXString head = Piece(s, 0, first);
  const CXString tail = first < last ? Piece(s, last, length - last) : Piece(s, first, length - first);
  if (first < last) {
    Check(deleted.Compare(head + tail) == 0, "Delete");
    CXString replaced(s);
    replaced.Replace(at, count, text);
    Check(replaced.Compare(text.GetSize() ? head + text + tail : s) == 0, "Replace");
  } else {
    Check(deleted.Compare(s) == 0, "empty Delete");
  }

  // Case changes keep the double-byte characters and the size.
  CXString upper(s), lower(s);
  upper.Upper();
  lower.Lower();
  Check(upper.GetSize() == s.GetSize() && upper.GetLength() == length, "Upper size");
  Check(upper.CompareI(lower) == 0 && upper.CompareI(s) == 0, "CompareI of the cases");
  for (int k = 0; k < length; ++k)
    if (s.GetAt(static_cast<unsigned>(k)) > 0xFF)
      Check(upper.GetAt(static_cast<unsigned>(k)) == s.GetAt(static_cast<unsigned>(k)), "Upper keeps double bytes");
  const int c = s.Compare(text), r = text.Compare(s);
  Check(c == -r && (c == 0) == (std::strcmp(s, text) == 0), "Compare");
}

// Paths: the name begins at a character.
void CheckPaths(const CXString& s) {
  const CXString name = s.FileName();
  const int size = s.GetSize();
  const int start = size - name.GetSize();
  Check(start >= 0 && std::strcmp(static_cast<const char*>(s) + start, name) == 0, "FileName is the end");
  int chars = 0;
  while (s.GetSize(static_cast<unsigned>(chars)) < start) ++chars;
  Check(s.GetSize(static_cast<unsigned>(chars)) == start, "FileName starts at a character");
  const char* ext = s.GetFileExt();
  if (ext) Check(ext >= static_cast<const char*>(s) && ext <= static_cast<const char*>(s) + size, "GetFileExt");
}

// Formatting through the ANSI page, when the string class uses that page.
void CheckFormat(const CXString& s, int precision, int width) {
  CXString printed;
  printed.Format("%s", static_cast<const char*>(s));
  Check(printed.Compare(s) == 0, "%s");
  printed.Format("%.*s", precision, static_cast<const char*>(s));
  const std::string text(s);
  Check(std::string(printed) == (precision < 0 ? text : text.substr(0, static_cast<std::size_t>(precision))),
        "%.*s is the first bytes");
  printed.Format("%*s", width, static_cast<const char*>(s));
  Check(printed.GetSize() == std::max(std::abs(width), s.GetSize()), "width pads bytes");
  // The other width: "%S" and construction convert alike.
  const CXStringW wide(s);
  const CXString whole(static_cast<const WCHAR*>(wide));
  printed.Format("%.*S", precision, static_cast<const WCHAR*>(wide));
  if (precision >= 0) {
    std::string fit(static_cast<std::size_t>(precision) + 1, '\0');
    whole.CopyFit(fit.data(), static_cast<unsigned>(precision) + 1);
    Check(std::strcmp(printed, fit.c_str()) == 0, "%.*S is CopyFit of the conversion");
  } else {
    Check(printed.Compare(whole) == 0, "%.*S without precision");
  }
  CXStringW wideFormatted;
  wideFormatted.Format(u"%S", static_cast<const char*>(s));
  Check(wideFormatted.Compare(wide) == 0, "%S to UTF-16");
  CXString back;
  back.Format("%S", static_cast<const WCHAR*>(wide));
  Check(back.Compare(whole) == 0, "%S to 8-bit");
  // Valid text decodes to characters that encode back to bytes decoding to
  // the same characters (the bytes themselves may differ: 932 has several
  // codes for some characters, as on Windows).
  const int units = zrpal::MultiByteToWideChar(zrpal::CP_ACP, zrpal::MB_ERR_INVALID_CHARS, s, -1, nullptr, 0);
  if (units > 0) Check(CXStringW(whole).Compare(wide) == 0, "valid text round trip");
  // A character of the string printed with %C is that character.
  if (s.GetLength() > 0) {
    const WCHAR first = wide.GetAt(0);
    CXString one;
    one.Format("%C", first);
    CXStringW character;
    character += first;
    const CXString fromWide(static_cast<const WCHAR*>(character));
    Check(one.Compare(fromWide) == 0, "%C");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
  // A double-byte ANSI page unless the run names one. The library has read
  // the setting when it started, before this runs: run again with it.
  if (!std::getenv("ZR_ACP")) {
    setenv("ZR_ACP", "932", 1);
    execv("/proc/self/exe", *argv);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  constexpr int kPages[] = {932, 936, 949, 950, zrpal::_MB_CP_ANSI};
  const int page = in.PickValueInArray(kPages);
  Check(zrpal::_setmbcp(page) == 0, "_setmbcp");
  const bool sameAsAnsi = static_cast<UINT>(zrpal::_getmbcp()) == zrpal::GetACP();
  for (int step = 0; step < 8 && in.remaining_bytes(); ++step) {
    const CXString s(TextFrom(in).c_str());
    const CXString text(TextFrom(in).c_str());
    CheckCharacters(s);
    CheckEdits(s, text, in.ConsumeIntegralInRange<int>(-2, 18), in.ConsumeIntegralInRange<int>(-18, 18));
    CheckPaths(s);
    if (sameAsAnsi) CheckFormat(s, in.ConsumeIntegralInRange<int>(-1, 20), in.ConsumeIntegralInRange<int>(-24, 24));
  }
  zrpal::_setmbcp(0);
  return 0;
}
