// Fuzzes the variants. Byte 0 picks the mode:
//  - text (even): the reading of value text by the variant conversions:
//    fuzzer bytes become 8-bit and wide text, converted to every type. Each
//    reading is checked against the C library's own strtod / strtof /
//    strtol in the "C" locale, the 8-bit and wide readings of ASCII text
//    must agree, and printed numbers must print the same after reading them
//    back;
//  - values (odd): a value of every source type made from the bytes
//    (numbers, geometry, texts, blobs, objects, codes above the ordinary
//    range), converted to every type with the documented rules checked
//    (integer truncation, booleans, integer text round trips, geometry
//    round trips), copied, bound to plain values and back, detached and
//    attached, assigned through the CZRVariant and ZRBlob members.
#include <locale.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/check.h"
#include "variant/numtext.h"
#include "zr/variant.h"

namespace {

locale_t CLocale() {
  static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  return c;
}

[[noreturn]] void Fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "mismatch: %s for \"%s\"\n", what, text.c_str());
  std::abort();
}

bool SameDouble(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool SameFloat(float a, float b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// The correctly rounded float of the text. glibc's strtof misrounds some
// hexadecimal subnormals (it reads "0x1.000001p-150" as 0, not 2^-149), so
// the float is taken from the double reading: every boundary between two
// floats is a double, so the text and its double round to the same float,
// except when the double is itself such a boundary; only then is strtof
// asked.
float FloatReference(const char* s, double d, char** end) {
  const float viaStrtof = strtof_l(s, end, CLocale());
  if (!std::isfinite(d)) return static_cast<float>(d);
  constexpr double kOverflow = 0x1.ffffffp127;  // halfway past FLT_MAX
  if (std::fabs(d) >= kOverflow) return viaStrtof;
  const float nearest = static_cast<float>(d);
  if (static_cast<double>(nearest) == d) return nearest;
  const float other = std::nextafter(nearest, d < nearest ? -HUGE_VALF : HUGE_VALF);
  const double boundary = (static_cast<double>(nearest) + static_cast<double>(other)) / 2;
  return d == boundary ? viaStrtof : nearest;
}

void CheckAgainstCLibrary(const std::string& text) {
  const char* s = text.c_str();
  char* end = nullptr;

  double d = 0;
  const bool dOk = zr::ScanDouble(s, &d);
  const double want = strtod_l(s, &end, CLocale());
  if (dOk != (end != s)) Fail("double accepted", text);
  if (dOk && !SameDouble(d, want)) Fail("double value", text);

  float f = 0;
  const bool fOk = zr::ScanFloat(s, &f);
  const float wantF = FloatReference(s, want, &end);
  if (fOk != (end != s)) Fail("float accepted", text);
  if (fOk && !SameFloat(f, wantF)) Fail("float value", text);

  std::uint32_t i = 0;
  const bool iOk = zr::ScanInt32(s, &i);
  errno = 0;
  const long long wantI = strtoll_l(s, &end, 10, CLocale());
  if (iOk != (end != s)) Fail("integer accepted", text);
  // Within 64 bits the reading keeps the low 32 bits of the exact value.
  if (iOk && errno == 0 && i != static_cast<std::uint32_t>(wantI)) Fail("integer value", text);
}

void CheckWidthsAgree(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return;  // white space differs between the widths there
  const std::u16string wide(text.begin(), text.end());
  double a = 0, b = 0;
  if (zr::ScanDouble(text.c_str(), &a) != zr::ScanDouble(wide.c_str(), &b) || !SameDouble(a, b))
    Fail("wide double", text);
  std::uint32_t x = 0, y = 0;
  if (zr::ScanInt32(text.c_str(), &x) != zr::ScanInt32(wide.c_str(), &y) || x != y) Fail("wide integer", text);
}

void CheckPrintRoundTrip(double d, const std::string& text) {
  char printed[zr::kNumberTextMax];
  zr::PrintGeneral(d, printed);
  if (std::isfinite(d)) {
    char want[64];
    std::snprintf(want, sizeof want, "%g", d);  // the "C" locale of this process
    if (std::strcmp(printed, want) != 0) Fail("printed double", text);
  }
  double back = 0;
  if (!zr::ScanDouble(printed, &back)) Fail("printed text unreadable", text);
  char again[zr::kNumberTextMax];
  zr::PrintGeneral(back, again);
  if (std::strcmp(printed, again) != 0 && !std::isnan(d)) Fail("print is not stable", text);
}

void ConvertToEveryType(const tagZRVARIANT& src) {
  for (unsigned t = 0; t <= ZRVT_LASTORDINARY; ++t) {
    CZRVariant dest;
    ZRVariantChangeType(&dest, &src, static_cast<unsigned short>(t));
    // A failed conversion in place leaves the variant as it was (compared
    // bit for bit where equality cannot tell: NaN, codes above the range).
    CZRVariant inPlace(src);
    if (!inPlace.ChangeType(static_cast<unsigned short>(t)) && !(inPlace == src) &&
        (inPlace.vt != src.vt || std::memcmp(&inPlace.rrcVal, &src.rrcVal, sizeof src.rrcVal) != 0))
      std::abort();
  }
}

// A counted object for ZRVT_UNKNOWN values: references must balance.
class CObject final : public CZRUnknownImpl<IZRUnknown> {};

bool IsInteger(unsigned short vt) {
  return vt == ZRVT_BOOL || vt == ZRVT_UI1 || vt == ZRVT_UI2 || vt == ZRVT_ULONG || vt == ZRVT_INT ||
         vt == ZRVT_UINT || vt == ZRVT_LONG;
}

// The value of an integer or boolean variant, as its type reads it.
std::int64_t IntegerOf(const tagZRVARIANT& v) {
  switch (v.vt) {
    case ZRVT_BOOL: return v.boolVal;
    case ZRVT_UI1: return v.bVal;
    case ZRVT_UI2: return v.uiVal;
    case ZRVT_ULONG: return v.ulVal;
    case ZRVT_INT: return v.intVal;
    case ZRVT_UINT: return v.uintVal;
    default: return v.lVal;
  }
}

int Small(FuzzedDataProvider& in) { return in.ConsumeIntegralInRange<int>(-(1 << 29), 1 << 29); }

// A variant of any source type; `object` lends its pointer to ZRVT_UNKNOWN.
CZRVariant MakeValue(FuzzedDataProvider& in, IZRUnknown* object, std::string& keep) {
  const unsigned short vt = in.ConsumeIntegralInRange<unsigned short>(0, ZRVT_LASTORDINARY + 1);
  switch (vt) {
    case ZRVT_BOOL: return CZRVariant(in.ConsumeIntegral<int>(), ZRVT_BOOL);
    case ZRVT_UI1: return CZRVariant(in.ConsumeIntegral<unsigned char>());
    case ZRVT_UI2: return CZRVariant(in.ConsumeIntegral<unsigned short>());
    case ZRVT_ULONG: return CZRVariant(in.ConsumeIntegral<unsigned int>(), ZRVT_ULONG);
    case ZRVT_INT: return CZRVariant(in.ConsumeIntegral<int>());
    case ZRVT_UINT: return CZRVariant(in.ConsumeIntegral<unsigned int>());
    case ZRVT_LONG: return CZRVariant(in.ConsumeIntegral<int>(), ZRVT_LONG);
    case ZRVT_DOUBLE: {
      double d = 0;
      const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
      std::memcpy(&d, &bits, sizeof d);
      return CZRVariant(in.ConsumeBool() ? d : static_cast<double>(Small(in)) / 4);
    }
    case ZRVT_FLOAT: {
      float f = 0;
      const std::uint32_t bits = in.ConsumeIntegral<std::uint32_t>();
      std::memcpy(&f, &bits, sizeof f);
      return CZRVariant(f);
    }
    case ZRVT_STR:
      keep = in.ConsumeRandomLengthString(32);
      return in.ConsumeBool() ? CZRVariant(keep.c_str()) : CZRVariant(static_cast<const char*>(nullptr));
    case ZRVT_SIZE: return CZRVariant(tagSIZE{Small(in), Small(in)});
    case ZRVT_RSIZE: return CZRVariant(tagRSIZE{Small(in) / 2.0, Small(in) / 2.0});
    case ZRVT_POINT: return CZRVariant(tagPOINT{Small(in), Small(in)});
    case ZRVT_RPOINT: return CZRVariant(tagRPOINT{Small(in) / 2.0, Small(in) / 2.0});
    case ZRVT_RECT: return CZRVariant(tagRECT{Small(in), Small(in), Small(in), Small(in)});
    case ZRVT_RRECT: return CZRVariant(tagRRECT{Small(in) / 2.0, Small(in) / 2.0, Small(in) / 2.0, Small(in) / 2.0});
    case ZRVT_BLOB: {
      keep = in.ConsumeRandomLengthString(32);
      const bool data = in.ConsumeBool();
      return CZRVariant(tagZRBLOB{static_cast<ULONG>(keep.size()), data ? reinterpret_cast<BYTE*>(keep.data()) : nullptr});
    }
    case ZRVT_UNKNOWN: return CZRVariant(in.ConsumeBool() ? object : nullptr);
    case ZRVT_WSTR: {
      keep = in.ConsumeRandomLengthString(32);
      std::u16string wide;
      for (std::size_t i = 0; i + 1 < keep.size(); i += 2)
        wide += static_cast<char16_t>(static_cast<unsigned char>(keep[i]) | static_cast<unsigned char>(keep[i + 1]) << 8);
      return CZRVariant(std::u16string(wide.c_str()).c_str());
    }
    case ZRVT_EMPTY: return CZRVariant();
    default: {
      tagZRVARIANT odd{};
      odd.vt = in.ConsumeBool() ? ZRVT_UNKNOWN_BORROWED : in.ConsumeIntegralInRange<unsigned short>(20, 0xFFFF);
      odd.ulVal = in.ConsumeIntegral<ULONG>();
      if (odd.vt == ZRVT_UNKNOWN_BORROWED) odd.punkVal = object;
      return CZRVariant(odd);
    }
  }
}

bool HasNaN(const tagZRVARIANT& v) {
  return (v.vt == ZRVT_DOUBLE && std::isnan(v.dblVal)) || (v.vt == ZRVT_FLOAT && std::isnan(v.fltVal));
}

void CheckConversions(const CZRVariant& v) {
  ConvertToEveryType(v);
  CZRVariant to;
  if (v.vt > ZRVT_LASTORDINARY) {
    // Codes above the ordinary range convert to the zero value.
    for (unsigned short t : {ZRVT_INT, ZRVT_DOUBLE, ZRVT_RECT}) {
      to.Clear();
      ZRVariantChangeType(&to, &v, t);
      Check(to.vt == t && to.rrcVal.left == 0 && to.rrcVal.top == 0 && to.rrcVal.right == 0, "zero value");
    }
    return;
  }
  if (IsInteger(v.vt)) {
    const std::int64_t n = IntegerOf(v);
    Check(ZRVariantChangeType(&to, &v, ZRVT_UI1) == 1 && to.bVal == static_cast<BYTE>(n), "to UI1");
    Check(ZRVariantChangeType(&to, &v, ZRVT_UI2) == 1 && to.uiVal == static_cast<WORD>(n), "to UI2");
    Check(ZRVariantChangeType(&to, &v, ZRVT_ULONG) == 1 && to.ulVal == static_cast<ULONG>(n), "to ULONG");
    Check(ZRVariantChangeType(&to, &v, ZRVT_INT) == 1 && to.intVal == static_cast<INT>(n), "to INT");
    Check(ZRVariantChangeType(&to, &v, ZRVT_BOOL) == 1 &&
              (v.vt == ZRVT_BOOL ? to.boolVal == v.boolVal : to.boolVal == (n != 0)),
          "to BOOL");
    Check(ZRVariantChangeType(&to, &v, ZRVT_DOUBLE) == 1 && to.dblVal == static_cast<double>(n), "to DOUBLE");
    // Decimal text reads back as the same 32 bits.
    if (v.vt != ZRVT_BOOL) {
      CZRVariant text, back;
      Check(ZRVariantChangeType(&text, &v, ZRVT_STR) == 1 && text.pszVal, "integer to text");
      const unsigned short as = v.vt == ZRVT_ULONG || v.vt == ZRVT_UINT ? v.vt : ZRVT_INT;
      Check(ZRVariantChangeType(&back, &text, as) == 1 && back.ulVal == static_cast<ULONG>(n), "text round trip");
      CZRVariant wide;
      Check(ZRVariantChangeType(&wide, &v, ZRVT_WSTR) == 1, "integer to wide text");
      Check(ZRVariantChangeType(&back, &wide, ZRVT_INT) == 1 && back.intVal == static_cast<INT>(n), "wide round trip");
    }
  }
  // Geometry: integer forms survive the double forms and back.
  const std::pair<unsigned short, unsigned short> shapes[] = {
      {ZRVT_SIZE, ZRVT_RSIZE}, {ZRVT_POINT, ZRVT_RPOINT}, {ZRVT_RECT, ZRVT_RRECT}};
  for (const auto& [exact, real] : shapes) {
    if (v.vt != exact) continue;
    CZRVariant there, back;
    Check(ZRVariantChangeType(&there, &v, real) == 1 && there.vt == real, "geometry to doubles");
    Check(ZRVariantChangeType(&back, &there, exact) == 1 && back.vt == exact, "geometry back");
    Check(std::memcmp(&back.rcVal, &v.rcVal, exact == ZRVT_RECT ? sizeof(tagRECT) : sizeof(tagPOINT)) == 0,
          "geometry round trip");
  }
  // Blobs and objects only from their own type.
  for (unsigned short t : {ZRVT_BLOB, ZRVT_UNKNOWN}) {
    to.Clear();
    const int ok = ZRVariantChangeType(&to, &v, t);
    Check(ok == (v.vt == t || v.vt == ZRVT_EMPTY) || ok == 0, "blob and object sources");
    if (ok && v.vt == t && !HasNaN(v)) Check(to == v, "same-type conversion is a copy");
  }
}

// Copies, bindings, Attach/Detach and the members of the class.
void CheckMembers(CZRVariant& v) {
  const bool comparable = !HasNaN(v) && v.vt <= ZRVT_LASTORDINARY;
  CZRVariant copy(v);
  if (comparable) Check(copy == v && v == v, "copy equal");
  tagZRVARIANT raw{};
  ZRVariantCopy(&raw, &v);
  ZRVariantCopy(&raw, &raw);  // onto itself: unchanged
  if (comparable) Check(v == raw, "ZRVariantCopy");
  ZRVariantClear(&raw);
  Check(raw.vt == ZRVT_EMPTY, "cleared");
  // Detach and Attach move the record without copying.
  tagZRVARIANT taken = copy.Detach();
  Check(copy.vt == ZRVT_EMPTY, "detached");
  CZRVariant attached;
  attached.Attach(taken);
  Check(taken.vt == ZRVT_EMPTY, "attached source");
  if (comparable) Check(attached == v, "attach keeps the value");
  attached.Attach(attached);
  // Plain values bound out and back in.
  const unsigned short vt = v.vt;
  if (vt == ZRVT_EMPTY || vt > ZRVT_LASTORDINARY) {
    BYTE any[32] = {};
    Check(v.BindToValue(vt, any) == 0, "no plain value");
  } else if (vt == ZRVT_STR || vt == ZRVT_WSTR) {
    void* text = nullptr;
    Check(v.BindToValue(vt, &text) == 1, "text bound out");
    CZRVariant in;
    Check(in.BindFromValue(vt, &text) == 1 && in == v, "text bound back");
    if (vt == ZRVT_STR) delete[] static_cast<char*>(text);
    else delete[] static_cast<WCHAR*>(text);
    // A text of the other type is refused and the target stays.
    int* untouched = reinterpret_cast<int*>(0x10);
    Check(v.BindToValue(vt == ZRVT_STR ? ZRVT_UNKNOWN : ZRVT_BLOB, &untouched) == 0 &&
              untouched == reinterpret_cast<int*>(0x10),
          "wrong kind refused");
  } else if (vt == ZRVT_UNKNOWN) {
    IZRUnknown* p = nullptr;
    Check(v.BindToValue(vt, &p) == 1 && p == v.punkVal, "object bound out");
    CZRVariant in;
    Check(in.BindFromValue(vt, &p) == 1 && in == v, "object bound back");
    if (p) p->Release();
  } else if (vt == ZRVT_BLOB) {
    tagZRBLOB blob{};
    Check(v.BindToValue(vt, &blob) == 1 && blob.cbSize == v.blobVal.cbSize, "blob bound out");
    const ZRBlob owned(blob);
    Check(owned == v.blobVal && owned == static_cast<tagZRBLOB>(v), "ZRBlob copy");
    // A bound-in blob is taken over: give it a fresh copy.
    tagZRBLOB fresh{owned.cbSize, owned.pBlobData ? new BYTE[owned.cbSize] : nullptr};
    if (fresh.pBlobData && fresh.cbSize) std::memcpy(fresh.pBlobData, owned.pBlobData, fresh.cbSize);
    CZRVariant in;
    Check(in.BindFromValue(vt, &fresh) == 1 && in == v, "blob bound back");
    ZRBlob assigned;
    assigned = owned;
    const ZRBlob& alias = assigned;
    assigned = alias;  // onto itself: kept
    Check(assigned == owned, "ZRBlob assignment");
  } else {
    std::uint64_t plain[4] = {};
    Check(v.BindToValue(vt, plain) == 1, "plain bound out");
    CZRVariant in;
    Check(in.BindFromValue(vt, plain) == 1 && in.vt == vt, "plain bound back");
    if (comparable) Check(in == v, "plain round trip");
  }

  // The typed readers read the union as it is.
  Check(static_cast<int>(v) == v.intVal && static_cast<unsigned char>(v) == v.bVal, "typed readers");
  if (vt == ZRVT_STR) {
    // The wide reader converts in place.
    CZRVariant converted;
    ZRVariantChangeType(&converted, &v, ZRVT_WSTR);
    CZRVariant text(v);
    const WCHAR* wide = static_cast<WCHAR*>(text);
    Check(text.vt == ZRVT_WSTR && wide && converted.pwszVal && CXStringW(wide).Compare(converted.pwszVal) == 0,
          "wide reader");
  }
  // Assignment of each kind replaces the value and frees the old one.
  CZRVariant assigned(v);
  assigned = 7;
  // A boolean stays boolean; anything else becomes an int.
  Check(vt == ZRVT_BOOL ? assigned.vt == ZRVT_BOOL && assigned.boolVal == 1
                        : assigned.vt == ZRVT_INT && assigned.intVal == 7,
        "assign int");
  assigned = v;
  if (comparable) Check(assigned == v, "assign variant");
  assigned = u"wide";
  assigned = static_cast<const tagZRVARIANT*>(nullptr);
  assigned = tagRRECT{1, 2, 3, 4};
  Check(assigned.vt == ZRVT_RRECT, "assign rectangle");
}

void Values(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  CObject* object = new CObject;
  {
    std::vector<CZRVariant> values;
    while (values.size() < 8 && in.remaining_bytes()) {
      std::string keep;
      values.push_back(MakeValue(in, object, keep));
      CheckConversions(values.back());
      CheckMembers(values.back());
    }
    // Pairs: equality is symmetric, conversions between them run.
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
      Check((values[i] == values[i + 1]) == (values[i + 1] == values[i]), "equality symmetric");
      values[i].ChangeType(values[i + 1].vt, &values[i + 1]);
    }
  }
  // Every reference taken was given back.
  Check(object->Release() == 0, "object references");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0 && (data[0] & 1)) {
    Values(data + 1, size - 1);
    return 0;
  }
  // Text ends at the first zero byte, as a C string does.
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();

  CheckAgainstCLibrary(text);
  CheckWidthsAgree(text);

  CZRVariant narrow(text.c_str());
  ConvertToEveryType(narrow);
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (!unit) break;
    wide += unit;
  }
  CZRVariant wideText(wide.c_str());
  ConvertToEveryType(wideText);
  if (size >= 8) {
    double d;
    std::memcpy(&d, data, sizeof d);
    CheckPrintRoundTrip(d, text);
  }
  return 0;
}
