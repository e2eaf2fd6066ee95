// variant.h - the tagged value of the library: the plain record tagZRVARIANT,
// its free functions, and the class CZRVariant.
//
// A variant carries one value of a closed set of types, named by a 16-bit
// type code. Parameter trees keep their values as variants, streams write
// them in a fixed binary form, and summary properties are exchanged as
// variants, so the record layout and the type codes are fixed: the type at
// offset 0, then a value union of 32 bytes (its largest member is four
// doubles) at offset 8; 40 bytes in all.
//
// Ownership. A variant of type ZRVT_STR, ZRVT_WSTR or ZRVT_BLOB owns its
// buffer, an array allocation freed with delete[]; ZRVT_UNKNOWN owns one
// reference to its object. Everything that puts a string, a blob or an object
// into a variant copies it into a fresh buffer or adds a reference, except
// CZRVariant::Attach (takes the record over), ZRVariantBindFromValue for
// blobs (takes the buffer over) and ZRVariantChangeType to
// ZRVT_UNKNOWN_BORROWED (holds the pointer without a reference; the result
// must not outlive the object's owner). The pointer conversions of
// CZRVariant hand out the variant's own pointer, valid until it changes.
//
// Allocation failure throws CXMemException; the variant being set keeps its
// old value. No other operation reports an error through an exception:
// conversions and bindings answer 1 for success and 0 for failure.
//
// A variant is a plain value: callers serialise access to a shared one.
#pragma once

#include <cstddef>

#include "zr/blob.h"
#include "zr/geometry.h"
#include "zr/unknown.h"
#include "zr/xstring.h"

// Type codes. Codes 0 to ZRVT_LASTORDINARY are the ordinary range; every
// switch over type codes treats a code above it as unknown.
enum : unsigned short {
  ZRVT_EMPTY = 0,    // no value; the value bytes are zero
  ZRVT_BOOL = 1,     // boolVal: 32-bit int, 0 or 1 when set through the library
  ZRVT_UI1 = 2,      // bVal
  ZRVT_UI2 = 3,      // uiVal
  ZRVT_ULONG = 4,    // ulVal: unsigned 32-bit
  ZRVT_INT = 5,      // intVal
  ZRVT_UINT = 6,     // uintVal
  ZRVT_LONG = 7,     // lVal: signed 32-bit
  ZRVT_DOUBLE = 8,   // dblVal
  ZRVT_FLOAT = 9,    // fltVal
  ZRVT_STR = 10,     // pszVal: owned NUL-terminated 8-bit text; may be null
  ZRVT_SIZE = 11,    // sizeVal
  ZRVT_RSIZE = 12,   // rsizeVal
  ZRVT_POINT = 13,   // ptVal
  ZRVT_RPOINT = 14,  // rptVal
  ZRVT_RECT = 15,    // rcVal
  ZRVT_RRECT = 16,   // rrcVal
  ZRVT_BLOB = 17,    // blobVal: data owned
  ZRVT_UNKNOWN = 18, // punkVal: one reference held; may be null
  ZRVT_WSTR = 19,    // pwszVal: owned NUL-terminated UTF-16 text; may be null
  ZRVT_LASTORDINARY = ZRVT_WSTR,
  // punkVal without a reference. Produced only by ZRVariantChangeType;
  // cleared without a release, copied as a plain pointer.
  ZRVT_UNKNOWN_BORROWED = 0x4000,
};

// The plain record. Which union member is live is given by vt. A zeroed
// record is an empty variant.
struct tagZRVARIANT {
  unsigned short vt;
  union {
    int boolVal;
    BYTE bVal;
    WORD uiVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    LONG lVal;
    double dblVal;
    float fltVal;
    char* pszVal;
    tagSIZE sizeVal;
    tagRSIZE rsizeVal;
    tagPOINT ptVal;
    tagRPOINT rptVal;
    tagRECT rcVal;
    tagRRECT rrcVal;
    tagZRBLOB blobVal;
    IZRUnknown* punkVal;
    WCHAR* pwszVal;
  };
};

static_assert(sizeof(tagZRVARIANT) == 40, "type, padding, 32-byte value union");
static_assert(alignof(tagZRVARIANT) == 8);
static_assert(offsetof(tagZRVARIANT, vt) == 0);
static_assert(offsetof(tagZRVARIANT, boolVal) == 8 && offsetof(tagZRVARIANT, rrcVal) == 8 &&
              offsetof(tagZRVARIANT, pszVal) == 8 && offsetof(tagZRVARIANT, blobVal) == 8,
              "every value member starts the union");
static_assert(sizeof(tagZRVARIANT::rrcVal) == 32, "four doubles, the largest member");

// --- Free functions -----------------------------------------------------
// Null record pointers are accepted by all of them: the call does nothing
// (and the conversions and bindings answer 0).

// Zeroes the whole record (type ZRVT_EMPTY) without freeing anything: for
// raw memory only; a variant that owns something would lose it.
ZR_API void ZRVariantInit(tagZRVARIANT* var);

// Frees what the variant owns (see the type codes), then zeroes the record.
ZR_API void ZRVariantClear(tagZRVARIANT* var);

// Clears dest, then makes it an independent copy of src: strings and blob
// data get fresh buffers (a null pointer stays null), ZRVT_UNKNOWN adds a
// reference, every other type (also codes above the ordinary range, and the
// borrowed object) is copied as it is. Copying a record onto itself keeps
// its value; a null src empties dest.
ZR_API void ZRVariantCopy(tagZRVARIANT* dest, const tagZRVARIANT* src);

// Converts the value of src to the type code `type` and stores it in dest;
// dest may be src. 1 on success. On failure (an unsupported pair of types,
// an unknown target code, text that does not parse) the result is 0 and a
// separate dest is left empty, while an in-place conversion leaves the
// variant unchanged.
//
// Conversions, by target (an empty source gives 0 to every number target):
//   ZRVT_EMPTY    always succeeds.
//   ZRVT_BOOL     from integers: value != 0; from ZRVT_DOUBLE/ZRVT_FLOAT:
//                 1 when the value is above or below 0 (NaN gives 0); a
//                 boolean is copied as it is. Text is not parsed.
//   ZRVT_UI1      the low 8 bits of a boolean or integer.
//   ZRVT_UI2      the low 16 bits of a boolean or integer.
//   ZRVT_ULONG    booleans and integers (zero-extended); 8-bit text "%u"
//                 (wide text is not read).
//   ZRVT_INT, ZRVT_LONG  booleans and integers; ZRVT_DOUBLE/ZRVT_FLOAT
//                 truncated toward zero, -2147483648 when out of range or
//                 NaN; 8-bit and wide text "%d".
//   ZRVT_UINT     as ZRVT_INT, but numbers are truncated to 64 bits (0 when
//                 out of range or NaN) and the low 32 bits kept, and text is
//                 read with "%u".
//   ZRVT_DOUBLE, ZRVT_FLOAT  booleans and integers (signed or unsigned as
//                 their type), the other floating type, text "%lf" / "%f".
//                 A double beyond float's range narrows to an infinity.
//   ZRVT_STR, ZRVT_WSTR  empty: ""; boolean: "Yes"/"No"; integers in
//                 decimal; ZRVT_DOUBLE with "%lg", ZRVT_FLOAT with "%g"
//                 (six significant digits, e.g. 0.5, 1e+06, 1.5e-07; "inf",
//                 "-inf", "nan", "-nan(ind)" as the Windows run-time prints
//                 them); text of the same width is copied (null stays
//                 null), text of the other width is converted through the
//                 string classes (a null text becomes "").
//   ZRVT_SIZE/POINT/RECT and the double forms  from the integer or double
//                 form of the same shape. Doubles are rounded with d >= 0 ?
//                 trunc(d + 0.5) : trunc(d - 0.4999999) (2.5 -> 3,
//                 -2.5 -> -2), -2147483648 when out of range; a double
//                 rectangle's right and bottom are inclusive, so they gain 1
//                 toward integers and lose 1 back (32-bit arithmetic that
//                 wraps at the limits).
//   ZRVT_BLOB, ZRVT_UNKNOWN  only from the same type (deep copy, added
//                 reference).
//   ZRVT_UNKNOWN_BORROWED  from ZRVT_UNKNOWN: the pointer, no reference.
// A source code above the ordinary range (also the borrowed object)
// converts to the zero value of every target: null text, 0, zero geometry,
// empty blob, null object.
//
// Text is read with the C run-time's scanf rules, whatever the process
// locale: leading white space is skipped, trailing text is ignored ("12abc"
// is 12), text that does not start with a number fails, and so does a null
// text. Integers take an optional sign and decimal digits; a value beyond 32
// bits keeps its low 32 bits (so "%d" of "4294967295" is -1 and "%u" of
// "-1" is 4294967295). Floating-point text is decimal or hexadecimal
// ("0x1.8p1") with an optional exponent, or inf, infinity, nan, nan(...);
// an out-of-range value reads as an infinity or zero. White space is the C
// locale's for 8-bit text and the run-time's iswspace for wide text; wide
// text takes ASCII digits only. Numbers print with a decimal point, never a
// comma.
ZR_API int ZRVariantChangeType(tagZRVARIANT* dest, const tagZRVARIANT* src, unsigned short type);

// Plain values bound to each type code by the two binding functions (the
// pointer passed is the address of a value of this type):
//   ZRVT_BOOL, ZRVT_INT, ZRVT_LONG  int32      ZRVT_ULONG, ZRVT_UINT  uint32
//   ZRVT_UI1  BYTE    ZRVT_UI2  WORD    ZRVT_DOUBLE  double   ZRVT_FLOAT  float
//   ZRVT_STR  char*   ZRVT_WSTR  WCHAR*  ZRVT_UNKNOWN  IZRUnknown*
//   ZRVT_BLOB  tagZRBLOB   geometry types  their record
// Codes 0 and above the ordinary range have none.

// Loads var from the plain value at source: clears var and sets its type to
// `type`; plain values and geometry are copied bit for bit; text is copied
// from the string the pointer at source points to (null stays null); an
// object gets an added reference; a blob record is taken over as it is (its
// data must be an array allocation, which var frees when cleared). For
// type 0 or a code above the ordinary range the result is 0 and var keeps
// that code with a zero value. A null source gives 0 and an empty var.
ZR_API int ZRVariantBindFromValue(unsigned short type, void* source, tagZRVARIANT* var);

// Stores var's value, read as the plain value of `type`, at target. For
// plain values and geometry var's own type is not checked (the caller
// passes the type var holds). Text: the pointer already at target is freed
// with delete[] (it must be null or an array allocation) and target receives
// a fresh copy owned by the caller. Object: the pointer at target is
// released when not null and target receives var's pointer with a reference
// added. Blob: target receives the size and var's own data pointer, valid
// while var keeps the blob. For these four, reading the union as a pointer
// of the wrong kind would be unsafe, so var must hold that type (or be
// empty; ZRVT_UNKNOWN also accepts the borrowed object); otherwise the
// result is 0 and target is untouched. An empty variant gives a null text or
// object and a blob of size 0 without data, whatever its union holds (after
// Detach only the type code is reset). Type 0, a code above the ordinary
// range and a null target give 0.
ZR_API int ZRVariantBindToValue(unsigned short type, void* target, tagZRVARIANT* var);

// --- The class ----------------------------------------------------------
// A tagZRVARIANT with construction, assignment, conversion and equality. It
// adds no field and no virtual function, so a CZRVariant* can be passed
// wherever a tagZRVARIANT* is expected. Its destructor is ZRVariantClear.
//
// Integer widths. ZRVT_LONG and ZRVT_ULONG hold 32 bits, as long does on
// Windows; on Linux long is 64-bit. The long and unsigned long overloads
// stay, so that CZRVariant(5L) still makes ZRVT_LONG, and they store the
// low 32 bits of the argument; operator long sign-extends the 32-bit value
// and operator unsigned long zero-extends it. LONG and ULONG of
// zr/zrtypes.h are int and unsigned int here, so they select the ZRVT_INT and
// ZRVT_UINT overloads: pass long / unsigned long to make ZRVT_LONG /
// ZRVT_ULONG.
class ZR_API CZRVariant : public tagZRVARIANT {
 public:
  // An empty variant.
  CZRVariant();

  // The second argument selects only between boolean (ZRVT_BOOL, storing
  // v != 0) and the argument's natural type; any value other than
  // ZRVT_BOOL gives the natural type, never another width.
  CZRVariant(unsigned char v, unsigned short type = ZRVT_UI1);
  CZRVariant(unsigned short v, unsigned short type = ZRVT_UI2);
  CZRVariant(int v, unsigned short type = ZRVT_INT);
  CZRVariant(unsigned int v, unsigned short type = ZRVT_UINT);
  CZRVariant(long v, unsigned short type = ZRVT_LONG);
  CZRVariant(unsigned long v, unsigned short type = ZRVT_ULONG);
  CZRVariant(float v);
  CZRVariant(double v);
  // ZRVT_STR / ZRVT_WSTR with a copy; null gives a null string member.
  CZRVariant(const char* text);
  CZRVariant(const WCHAR* text);
  // ZRVT_STR / ZRVT_WSTR with a copy of the string's characters.
  CZRVariant(const CXString& text);
  CZRVariant(const CXStringW& text);
  // ZRVT_UNKNOWN; adds a reference when not null.
  CZRVariant(IZRUnknown* object);
  CZRVariant(const tagPOINT& v);
  CZRVariant(const tagSIZE& v);
  CZRVariant(const tagRECT& v);
  CZRVariant(const tagRPOINT& v);
  CZRVariant(const tagRSIZE& v);
  CZRVariant(const tagRRECT& v);
  // ZRVT_BLOB: the size, and a copy of the data when there is data.
  CZRVariant(const tagZRBLOB& blob);
  // ZRVariantCopy into an empty variant; a null pointer gives an empty one.
  CZRVariant(const tagZRVARIANT& src);
  CZRVariant(const tagZRVARIANT* src);
  CZRVariant(const CZRVariant& src);
  ~CZRVariant();

  // Assignments. Each returns the variant; each first frees what the
  // variant owned, unless it keeps its type and the type owns nothing.
  // - unsigned char: stays ZRVT_UI1 or becomes it (also from ZRVT_BOOL).
  // - the wider integers: store in the natural type; a ZRVT_BOOL variant
  //   stays boolean and stores v != 0; any other type becomes the natural
  //   type.
  // - float, double, geometry: store, becoming that type.
  // - text, CXString, CXStringW, blob: a fresh copy (null text gives a null
  //   string member).
  // - IZRUnknown*: releases what the variant held, holds a new reference.
  // - variants: ZRVariantCopy; assigning a variant to itself keeps its
  //   value.
  // Values are copied (or referenced) before the old value is freed, so an
  // argument that points into the variant's own buffer or object is safe.
  CZRVariant& operator=(unsigned char v);
  CZRVariant& operator=(unsigned short v);
  CZRVariant& operator=(int v);
  CZRVariant& operator=(unsigned int v);
  CZRVariant& operator=(long v);
  CZRVariant& operator=(unsigned long v);
  CZRVariant& operator=(float v);
  CZRVariant& operator=(double v);
  CZRVariant& operator=(const tagPOINT& v);
  CZRVariant& operator=(const tagSIZE& v);
  CZRVariant& operator=(const tagRECT& v);
  CZRVariant& operator=(const tagRPOINT& v);
  CZRVariant& operator=(const tagRSIZE& v);
  CZRVariant& operator=(const tagRRECT& v);
  CZRVariant& operator=(const tagZRBLOB& blob);
  CZRVariant& operator=(const char* text);
  CZRVariant& operator=(const WCHAR* text);
  CZRVariant& operator=(const CXString& text);
  CZRVariant& operator=(const CXStringW& text);
  CZRVariant& operator=(IZRUnknown* object);
  CZRVariant& operator=(const tagZRVARIANT& src);
  CZRVariant& operator=(const tagZRVARIANT* src);
  CZRVariant& operator=(const CZRVariant& src);

  // Conversions. None checks the type: each reads the value union as the
  // requested type (ChangeType is the checked path). The pointer
  // conversions hand out the variant's own pointer, no copy and no added
  // reference, valid until the variant changes.
  operator unsigned char() const;
  operator unsigned short() const;
  operator int() const;
  operator unsigned int() const;
  operator long() const;
  operator unsigned long() const;
  operator float() const;
  operator double() const;
  operator char*() const;
  operator IZRUnknown*() const;
  operator tagPOINT() const;
  operator tagSIZE() const;
  operator tagRECT() const;
  operator tagRPOINT() const;
  operator tagRSIZE() const;
  operator tagRRECT() const;
  // The size and the variant's own data pointer.
  operator tagZRBLOB() const;
  // The wide text. A ZRVT_STR variant is first converted in place: the
  // 8-bit text is converted through CXStringW's construction from 8-bit
  // text (null becomes ""), the 8-bit buffer freed and the variant becomes
  // ZRVT_WSTR. Because it may change the variant, this conversion is not
  // const. Any other type returns the pointer member as it is.
  operator WCHAR*();

  // Frees what this variant owns and takes src's record as it is (no copy,
  // no added reference); src's type becomes ZRVT_EMPTY, its other bytes
  // are left as they were. Attaching a variant to itself changes nothing.
  void Attach(tagZRVARIANT& src);
  // Returns the record and sets this variant's type to ZRVT_EMPTY:
  // ownership of buffers and references passes to the caller.
  tagZRVARIANT Detach();
  // ZRVariantClear.
  void Clear();

  // With src null or this variant: 1 at once if the type already is
  // `type`, else converts in place. With another src: converts src into
  // this variant. 1 on success, 0 on failure (see ZRVariantChangeType).
  int ChangeType(unsigned short type, tagZRVARIANT* src = nullptr);
  // ZRVariantBindToValue(type, target, this) and
  // ZRVariantBindFromValue(type, source, this).
  int BindToValue(unsigned short type, void* target);
  int BindFromValue(unsigned short type, void* source);

  // 1 when equal, else 0. A record is equal to itself; different type codes
  // are unequal, and so is a code above the ordinary range to any other
  // record. By type: integers and booleans compare their values, doubles
  // and floats exactly (no tolerance); text by length and content (case
  // sensitive; a null text equals another null text and no non-null one);
  // integer points and sizes member by member; double points and sizes
  // within 0.001 per member (unequal when a - 0.001 > b or b > a + 0.001);
  // rectangles member by member (double ones within 0.001) or when both are
  // empty, whatever their coordinates; blobs as ZRBlob; objects by identity.
  // A null pointer is unequal to every variant.
  int operator==(const tagZRVARIANT& other) const;
  int operator==(const tagZRVARIANT* other) const;
  int operator!=(const tagZRVARIANT& other) const { return !(*this == other); }
  // Two CZRVariant operands: an exact match, so that C++20's reversed
  // candidates do not make the comparison ambiguous.
  int operator==(const CZRVariant& other) const { return *this == static_cast<const tagZRVARIANT&>(other); }
  int operator!=(const CZRVariant& other) const { return !(*this == other); }
};

static_assert(sizeof(CZRVariant) == sizeof(tagZRVARIANT), "no field of its own");
