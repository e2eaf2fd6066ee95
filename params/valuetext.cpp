// params/valuetext.cpp - the value text table: tags, parse and format rules.
//
// Design: one row per type with its parse and format functions; the two
// lookups scan the rows in order, as the table is defined. Every number is
// read with the Windows run-time's strtol / strtoul / strtod rules and
// written with its "%d" / "%u" / _gcvt(14) texts through the locale-free
// routines of variant/numtext.h, so the process locale never matters and no
// locale is switched.
//
// Rules (the text is what follows the tag):
//   integers   not empty; base 16 when the text holds an "x" or "X"
//              anywhere, else 10; at least one character converted; the
//              rest ignored ("w" also refuses 65536 and above)
//   lists      (z p t, Z P T) the first component as above; then the text
//              from where a conversion stopped is scanned to the next ",",
//              the next component starts after it (its base is chosen by
//              searching from its own start to the end of the text)
//   reals      not empty; strtod, at least one character converted
//   boolean    a first decimal digit: atoi of the text, 1 true, 0 false;
//              else a first Y/y true, N/n false; anything else refused
//   byte       two hexadecimal digits at the start
//   blob       (length + 1) / 2 zero bytes, then each character that is a
//              hexadecimal digit (either case) gives the next nibble, high
//              nibble first; other characters are skipped
//   string     the whole text
#include "params/valuetext.h"

#include <cstring>
#include <memory>

#include "variant/numtext.h"
#include "zr/blob.h"
#include "zr/tenum.h"

namespace zr {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The base of the integer rules: 16 when the text holds an x anywhere.
int BaseOf(const char* text) { return std::strpbrk(text, "xX") ? 16 : 10; }

// Sets `out` to a plain value of `type`, replacing what it held.
template <class Set>
int Store(tagZRVARIANT* out, unsigned short type, Set set) {
  ZRVariantClear(out);
  out->vt = type;
  set(*out);
  return 1;
}

// --- Readers of one component; each answers the end of what it converted,
// or null when it converted nothing.

const char* ReadSigned(const char* text, std::int32_t* value) {
  const char* end;
  *value = StrToL32(text, &end, BaseOf(text));
  return end != text ? end : nullptr;
}

const char* ReadUnsigned(const char* text, std::uint32_t* value) {
  const char* end;
  *value = StrToUL32(text, &end, BaseOf(text));
  return end != text ? end : nullptr;
}

const char* ReadReal(const char* text, double* value) {
  const char* end;
  *value = StrToD(text, &end);
  return end != text ? end : nullptr;
}

// The comma rule: n components, each read by `read` from its own start.
template <class T, class Read>
bool ReadList(const char* text, T* values, int n, Read read) {
  if (!*text) return false;
  const char* p = text;
  for (int i = 0; i < n; ++i) {
    if (i > 0) {
      p = std::strchr(p, ',');
      if (!p) return false;
      ++p;
    }
    p = read(p, &values[i]);
    if (!p) return false;
  }
  return true;
}

// --- Parse functions, one per row.

int ParseEmpty(const char*, tagZRVARIANT* out) {
  ZRVariantClear(out);
  return 1;
}

int ParseBool(const char* text, tagZRVARIANT* out) {
  int value;
  if (text[0] >= '0' && text[0] <= '9') {
    const std::int32_t n = StrToL32(text, nullptr, 10);  // atoi
    if (n != 0 && n != 1) return 0;
    value = n;
  } else if (text[0] == 'Y' || text[0] == 'y') {
    value = 1;
  } else if (text[0] == 'N' || text[0] == 'n') {
    value = 0;
  } else {
    return 0;
  }
  return Store(out, ZRVT_BOOL, [&](tagZRVARIANT& v) { v.boolVal = value; });
}

int ParseByte(const char* text, tagZRVARIANT* out) {
  const int high = HexValue(text[0]);
  const int low = high < 0 ? -1 : HexValue(text[1]);
  if (low < 0) return 0;
  return Store(out, ZRVT_UI1,
               [&](tagZRVARIANT& v) { v.bVal = static_cast<BYTE>(high * 16 + low); });
}

template <unsigned short kType>
int ParseUnsigned(const char* text, tagZRVARIANT* out) {
  std::uint32_t value;
  if (!*text || !ReadUnsigned(text, &value)) return 0;
  if (kType == ZRVT_UI2 && value >= 65536) return 0;
  return Store(out, kType, [&](tagZRVARIANT& v) {
    if (kType == ZRVT_UI2)
      v.uiVal = static_cast<WORD>(value);
    else
      v.ulVal = value;  // ULONG and UINT share the union's first 4 bytes
  });
}

template <unsigned short kType>
int ParseSigned(const char* text, tagZRVARIANT* out) {
  std::int32_t value;
  if (!*text || !ReadSigned(text, &value)) return 0;
  return Store(out, kType, [&](tagZRVARIANT& v) { v.intVal = value; });
}

int ParseDouble(const char* text, tagZRVARIANT* out) {
  double value;
  if (!ReadList(text, &value, 1, ReadReal)) return 0;
  return Store(out, ZRVT_DOUBLE, [&](tagZRVARIANT& v) { v.dblVal = value; });
}

int ParseFloat(const char* text, tagZRVARIANT* out) {
  double value;
  if (!ReadList(text, &value, 1, ReadReal)) return 0;
  return Store(out, ZRVT_FLOAT, [&](tagZRVARIANT& v) { v.fltVal = NarrowToFloat(value); });
}

int ParseString(const char* text, tagZRVARIANT* out) {
  char* copy = CopyText(text);  // before `out` changes: a failure leaves it alone
  return Store(out, ZRVT_STR, [&](tagZRVARIANT& v) { v.pszVal = copy; });
}

// Geometry records field by field, in their order (left, top, right,
// bottom; x, y; cx, cy).
void SetFields(tagZRVARIANT& v, unsigned short type, const std::int32_t* f) {
  switch (type) {
    case ZRVT_SIZE:
      v.sizeVal = {f[0], f[1]};
      break;
    case ZRVT_POINT:
      v.ptVal = {f[0], f[1]};
      break;
    default:
      v.rcVal = {f[0], f[1], f[2], f[3]};
      break;
  }
}

void SetFields(tagZRVARIANT& v, unsigned short type, const double* f) {
  switch (type) {
    case ZRVT_RSIZE:
      v.rsizeVal = {f[0], f[1]};
      break;
    case ZRVT_RPOINT:
      v.rptVal = {f[0], f[1]};
      break;
    default:
      v.rrcVal = {f[0], f[1], f[2], f[3]};
      break;
  }
}

template <unsigned short kType, int kCount>
int ParseIntegers(const char* text, tagZRVARIANT* out) {
  std::int32_t values[4];
  if (!ReadList(text, values, kCount, ReadSigned)) return 0;
  return Store(out, kType, [&](tagZRVARIANT& v) { SetFields(v, kType, values); });
}

template <unsigned short kType, int kCount>
int ParseReals(const char* text, tagZRVARIANT* out) {
  double values[4];
  if (!ReadList(text, values, kCount, ReadReal)) return 0;
  return Store(out, kType, [&](tagZRVARIANT& v) { SetFields(v, kType, values); });
}

int ParseBlob(const char* text, tagZRVARIANT* out) {
  const std::size_t length = std::strlen(text);
  const auto size = static_cast<ULONG>((length + 1) / 2);
  std::unique_ptr<BYTE[]> data(size ? new BYTE[size]() : nullptr);
  std::size_t nibble = 0;  // nibbles supplied so far; never more than 2 x size
  for (const char* p = text; *p; ++p) {
    const int value = HexValue(*p);
    if (value < 0) continue;
    BYTE& b = data[nibble / 2];
    b = static_cast<BYTE>(nibble % 2 ? b | value : value << 4);
    ++nibble;
  }
  return Store(out, ZRVT_BLOB, [&](tagZRVARIANT& v) {
    v.blobVal.cbSize = size;
    v.blobVal.pBlobData = data.release();
  });
}

// --- Format functions.

void AppendSigned(std::int32_t value, std::string& out) {
  char text[kNumberTextMax];
  out.append(text, static_cast<std::size_t>(PrintSigned(value, text)));
}

void AppendUnsigned(std::uint32_t value, std::string& out) {
  char text[kNumberTextMax];
  out.append(text, static_cast<std::size_t>(PrintUnsigned(value, text)));
}

void AppendReal(double value, std::string& out) {
  char text[kGcvtTextMax];
  out.append(text, static_cast<std::size_t>(PrintGcvt(value, text)));
}

void AppendHexByte(BYTE b, std::string& out) {
  out += kHexDigits[b >> 4];
  out += kHexDigits[b & 15];
}

void FormatEmpty(const tagZRVARIANT&, std::string&) {}
void FormatBool(const tagZRVARIANT& v, std::string& out) { out += v.boolVal == 1 ? '1' : '0'; }
void FormatByte(const tagZRVARIANT& v, std::string& out) { AppendHexByte(v.bVal, out); }
void FormatUI2(const tagZRVARIANT& v, std::string& out) { AppendUnsigned(v.uiVal, out); }
void FormatUnsigned(const tagZRVARIANT& v, std::string& out) { AppendUnsigned(v.ulVal, out); }
void FormatSigned(const tagZRVARIANT& v, std::string& out) { AppendSigned(v.intVal, out); }
void FormatDouble(const tagZRVARIANT& v, std::string& out) { AppendReal(v.dblVal, out); }
void FormatFloat(const tagZRVARIANT& v, std::string& out) { AppendReal(v.fltVal, out); }

// "%s": a null text prints as the run-time's "(null)".
void FormatString(const tagZRVARIANT& v, std::string& out) {
  out += v.pszVal ? v.pszVal : "(null)";
}

void FormatIntegers(const std::int32_t* fields, int count, std::string& out) {
  for (int i = 0; i < count; ++i) {
    if (i) out += ',';
    AppendSigned(fields[i], out);
  }
}

void FormatReals(const double* fields, int count, std::string& out) {
  for (int i = 0; i < count; ++i) {
    if (i) out += ',';
    AppendReal(fields[i], out);
  }
}

void FormatSize(const tagZRVARIANT& v, std::string& out) {
  const std::int32_t f[] = {v.sizeVal.cx, v.sizeVal.cy};
  FormatIntegers(f, 2, out);
}
void FormatPoint(const tagZRVARIANT& v, std::string& out) {
  const std::int32_t f[] = {v.ptVal.x, v.ptVal.y};
  FormatIntegers(f, 2, out);
}
void FormatRect(const tagZRVARIANT& v, std::string& out) {
  const tagRECT& r = v.rcVal;
  const std::int32_t f[] = {r.left, r.top, r.right, r.bottom};
  FormatIntegers(f, 4, out);
}
void FormatRSize(const tagZRVARIANT& v, std::string& out) {
  const double f[] = {v.rsizeVal.cx, v.rsizeVal.cy};
  FormatReals(f, 2, out);
}
void FormatRPoint(const tagZRVARIANT& v, std::string& out) {
  const double f[] = {v.rptVal.x, v.rptVal.y};
  FormatReals(f, 2, out);
}
void FormatRRect(const tagZRVARIANT& v, std::string& out) {
  const tagRRECT& r = v.rrcVal;
  const double f[] = {r.left, r.top, r.right, r.bottom};
  FormatReals(f, 4, out);
}

// Blobs whose text would not fit 65536 bytes are written empty. A size
// without data is written as that many zero bytes, as the stream record
// writes it.
void FormatBlob(const tagZRVARIANT& v, std::string& out) {
  const tagZRBLOB& blob = v.blobVal;
  if (2 * static_cast<std::size_t>(blob.cbSize) >= kMaxBlobTextBytes) return;
  out.reserve(out.size() + 2 * blob.cbSize);
  for (ULONG i = 0; i < blob.cbSize; ++i)
    AppendHexByte(blob.pBlobData ? blob.pBlobData[i] : 0, out);
}

}  // namespace

const CValueTextRow kValueTextRows[] = {
    {'e', ZRVT_EMPTY, ParseEmpty, FormatEmpty},
    {'f', ZRVT_BOOL, ParseBool, FormatBool},
    {'b', ZRVT_UI1, ParseByte, FormatByte},
    {'w', ZRVT_UI2, ParseUnsigned<ZRVT_UI2>, FormatUI2},
    {'W', ZRVT_ULONG, ParseUnsigned<ZRVT_ULONG>, FormatUnsigned},
    {'i', ZRVT_INT, ParseSigned<ZRVT_INT>, FormatSigned},
    {'u', ZRVT_UINT, ParseUnsigned<ZRVT_UINT>, FormatUnsigned},
    {'l', ZRVT_LONG, ParseSigned<ZRVT_LONG>, FormatSigned},
    {'R', ZRVT_DOUBLE, ParseDouble, FormatDouble},
    {'r', ZRVT_FLOAT, ParseFloat, FormatFloat},
    {'s', ZRVT_STR, ParseString, FormatString},
    {'z', ZRVT_SIZE, ParseIntegers<ZRVT_SIZE, 2>, FormatSize},
    {'Z', ZRVT_RSIZE, ParseReals<ZRVT_RSIZE, 2>, FormatRSize},
    {'p', ZRVT_POINT, ParseIntegers<ZRVT_POINT, 2>, FormatPoint},
    {'P', ZRVT_RPOINT, ParseReals<ZRVT_RPOINT, 2>, FormatRPoint},
    {'t', ZRVT_RECT, ParseIntegers<ZRVT_RECT, 4>, FormatRect},
    {'T', ZRVT_RRECT, ParseReals<ZRVT_RRECT, 4>, FormatRRect},
    {'x', ZRVT_BLOB, ParseBlob, FormatBlob},
    {0, ZRVT_UNKNOWN, nullptr, nullptr},
};

const CValueTextRow* FindValueTextByTag(char tag) {
  for (const CValueTextRow* row = kValueTextRows; row->tag != 0; ++row)
    if (row->tag == tag) return row;
  return nullptr;
}

const CValueTextRow* FindValueTextByType(unsigned short type) {
  for (const CValueTextRow* row = kValueTextRows; row->type != ZRVT_UNKNOWN; ++row)
    if (row->type == type) return row;
  return nullptr;
}

int ParseValueText(const char* valueText, tagZRVARIANT* out) {
  const CValueTextRow* row = FindValueTextByTag(valueText[0]);
  return row ? row->parse(valueText + 1, out) : 0;
}

}  // namespace zr
