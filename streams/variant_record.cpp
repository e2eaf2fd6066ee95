// streams/variant_record.cpp - the variant stream record: ReadVariant and
// WriteVariant of every stream (the format is described in zr/xstream.h).
#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>

#include "base/heldref.h"
#include "streams/byteorder.h"
#include "streams/typedops.h"
#include "streams/xstream_impl.h"
#include "variant/buffers.h"
#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/variant.h"
#include "zr/xstream.h"

namespace {

constexpr ULONG kTypeBytes = 2;
constexpr ULONG kCountBytes = 4;
constexpr ULONG kHeaderBytes = kTypeBytes + kCountBytes;

// Bytes of the value of each ordinary type with a value of fixed size; 0 for
// the types whose value carries a count (text, blob) or is a nested record
// (object).
constexpr BYTE kFixedValueBytes[ZRVT_LASTORDINARY + 1] = {
    4,   // ZRVT_EMPTY: four zero bytes
    4,   // ZRVT_BOOL
    1,   // ZRVT_UI1
    2,   // ZRVT_UI2
    4,   // ZRVT_ULONG
    4,   // ZRVT_INT
    4,   // ZRVT_UINT
    4,   // ZRVT_LONG
    8,   // ZRVT_DOUBLE
    4,   // ZRVT_FLOAT
    0,   // ZRVT_STR
    8,   // ZRVT_SIZE
    16,  // ZRVT_RSIZE
    8,   // ZRVT_POINT
    16,  // ZRVT_RPOINT
    16,  // ZRVT_RECT
    32,  // ZRVT_RRECT
    0,   // ZRVT_BLOB
    0,   // ZRVT_UNKNOWN
    0,   // ZRVT_WSTR
};
constexpr ULONG kMaxFixedValueBytes = 32;

// Texts and blobs up to this many bytes go out with their header in one
// Write (one call through the stream instead of two).
constexpr ULONG kShortData = 64;

// Zero bytes written for a blob that has a size but no data.
constexpr ULONG kZeroChunk = 4096;
constexpr BYTE kZeros[kZeroChunk] = {};

void StoreLongs(BYTE* p, std::initializer_list<LONG> values) {
  for (LONG v : values) {
    zr::StoreLE32(p, static_cast<std::uint32_t>(v));
    p += 4;
  }
}

void StoreDoubles(BYTE* p, std::initializer_list<double> values) {
  for (double v : values) {
    zr::StoreLEDouble(p, v);
    p += 8;
  }
}

// The value bytes of a fixed-size type.
void EncodeFixed(const tagZRVARIANT& v, BYTE* p) {
  switch (v.vt) {
    case ZRVT_EMPTY:
      zr::StoreLE32(p, 0);
      break;
    case ZRVT_BOOL:
      zr::StoreLE32(p, static_cast<std::uint32_t>(v.boolVal));
      break;
    case ZRVT_UI1:
      p[0] = v.bVal;
      break;
    case ZRVT_UI2:
      zr::StoreLE16(p, v.uiVal);
      break;
    case ZRVT_ULONG:
      zr::StoreLE32(p, v.ulVal);
      break;
    case ZRVT_INT:
      zr::StoreLE32(p, static_cast<std::uint32_t>(v.intVal));
      break;
    case ZRVT_UINT:
      zr::StoreLE32(p, v.uintVal);
      break;
    case ZRVT_LONG:
      zr::StoreLE32(p, static_cast<std::uint32_t>(v.lVal));
      break;
    case ZRVT_DOUBLE:
      zr::StoreLEDouble(p, v.dblVal);
      break;
    case ZRVT_FLOAT:
      zr::StoreLEFloat(p, v.fltVal);
      break;
    case ZRVT_SIZE:
      StoreLongs(p, {v.sizeVal.cx, v.sizeVal.cy});
      break;
    case ZRVT_RSIZE:
      StoreDoubles(p, {v.rsizeVal.cx, v.rsizeVal.cy});
      break;
    case ZRVT_POINT:
      StoreLongs(p, {v.ptVal.x, v.ptVal.y});
      break;
    case ZRVT_RPOINT:
      StoreDoubles(p, {v.rptVal.x, v.rptVal.y});
      break;
    case ZRVT_RECT:
      StoreLongs(p, {v.rcVal.left, v.rcVal.top, v.rcVal.right, v.rcVal.bottom});
      break;
    case ZRVT_RRECT:
      StoreDoubles(p, {v.rrcVal.left, v.rrcVal.top, v.rrcVal.right, v.rrcVal.bottom});
      break;
    default:
      break;
  }
}

LONG LongAt(const BYTE* p, int i) { return zr::LoadLEInt32(p + 4 * i); }
double DoubleAt(const BYTE* p, int i) { return zr::LoadLEDouble(p + 8 * i); }

// Fills the value of a fixed-size type from its bytes; v is zeroed.
void DecodeFixed(const BYTE* p, tagZRVARIANT& v) {
  switch (v.vt) {
    case ZRVT_EMPTY:
      break;  // the value bytes of an empty variant stay zero
    case ZRVT_BOOL:
      v.boolVal = zr::LoadLEInt32(p);
      break;
    case ZRVT_UI1:
      v.bVal = p[0];
      break;
    case ZRVT_UI2:
      v.uiVal = zr::LoadLE16(p);
      break;
    case ZRVT_ULONG:
      v.ulVal = zr::LoadLE32(p);
      break;
    case ZRVT_INT:
      v.intVal = zr::LoadLEInt32(p);
      break;
    case ZRVT_UINT:
      v.uintVal = zr::LoadLE32(p);
      break;
    case ZRVT_LONG:
      v.lVal = zr::LoadLEInt32(p);
      break;
    case ZRVT_DOUBLE:
      v.dblVal = zr::LoadLEDouble(p);
      break;
    case ZRVT_FLOAT:
      v.fltVal = zr::LoadLEFloat(p);
      break;
    case ZRVT_SIZE:
      v.sizeVal = {LongAt(p, 0), LongAt(p, 1)};
      break;
    case ZRVT_RSIZE:
      v.rsizeVal = {DoubleAt(p, 0), DoubleAt(p, 1)};
      break;
    case ZRVT_POINT:
      v.ptVal = {LongAt(p, 0), LongAt(p, 1)};
      break;
    case ZRVT_RPOINT:
      v.rptVal = {DoubleAt(p, 0), DoubleAt(p, 1)};
      break;
    case ZRVT_RECT:
      v.rcVal = {LongAt(p, 0), LongAt(p, 1), LongAt(p, 2), LongAt(p, 3)};
      break;
    case ZRVT_RRECT:
      v.rrcVal = {DoubleAt(p, 0), DoubleAt(p, 1), DoubleAt(p, 2), DoubleAt(p, 3)};
      break;
    default:
      break;
  }
}

// The byte count of a text of `units` units of `unitBytes` bytes plus its
// terminator, which must fit the record's 32-bit count.
ULONG TextRecordBytes(std::size_t units, ULONG unitBytes) {
  constexpr std::size_t kMaxCount = 0xFFFFFFFFu;
  if (units >= kMaxCount / unitBytes) throw CXException(ZRCAUSE_INVALIDARG);
  return static_cast<ULONG>((units + 1) * unitBytes);
}

}  // namespace

void zr::CXStreamImpl::WriteVariant(const tagZRVARIANT* var) {
  if (!var) throw CXException(ZRCAUSE_INVALIDARG);
  BYTE record[kHeaderBytes + kShortData];
  static_assert(sizeof record >= kTypeBytes + kMaxFixedValueBytes);
  const unsigned short vt = var->vt;
  zr::StoreLE16(record, vt);
  if (vt > ZRVT_LASTORDINARY) {
    Write(record, kTypeBytes);  // unknown codes carry no value
    return;
  }
  if (const ULONG n = kFixedValueBytes[vt]) {
    EncodeFixed(*var, record + kTypeBytes);
    Write(record, static_cast<int>(kTypeBytes + n));
    return;
  }
  // Header (type and count) and data; short data joins the header.
  auto writeCounted = [&](const void* data, ULONG n) {
    zr::StoreLE32(record + kTypeBytes, n);
    if (n <= kShortData && data) {
      std::memcpy(record + kHeaderBytes, data, n);
      Write(record, static_cast<int>(kHeaderBytes + n));
      return;
    }
    Write(record, kHeaderBytes);
    if (data) {
      WriteAll(data, n);
    } else {
      for (ULONG left = n; left > 0;) {
        const ULONG chunk = left < kZeroChunk ? left : kZeroChunk;
        Write(kZeros, static_cast<int>(chunk));
        left -= chunk;
      }
    }
  };
  switch (vt) {
    case ZRVT_STR: {
      const char* text = var->pszVal ? var->pszVal : "";
      writeCounted(text, TextRecordBytes(std::char_traits<char>::length(text), 1));
      break;
    }
    case ZRVT_WSTR: {
      const WCHAR* text = var->pwszVal ? var->pwszVal : u"";
      const ULONG n = TextRecordBytes(std::char_traits<WCHAR>::length(text), 2);
      if constexpr (std::endian::native == std::endian::little) {
        writeCounted(text, n);
      } else {
        zr::StoreLE32(record + kTypeBytes, n);
        Write(record, kHeaderBytes);
        WriteStringW(text);  // the units and the terminator, little-endian
      }
      break;
    }
    case ZRVT_BLOB:
      writeCounted(var->blobVal.pBlobData, var->blobVal.cbSize);
      break;
    case ZRVT_UNKNOWN: {
      Write(record, kTypeBytes);
      void* persist = nullptr;
      if (var->punkVal) var->punkVal->QueryInterface(typeid(IPersistXStream), &persist);
      const zr::CHeldRef guard(static_cast<IPersistXStream*>(persist));
      WriteObjectToXStream(this, static_cast<IPersistXStream*>(persist));
      break;
    }
    default:
      break;
  }
}

int zr::CXStreamImpl::ReadVariant(tagZRVARIANT* var) {
  if (!var) throw CXException(ZRCAUSE_INVALIDARG);
  ZRVariantClear(var);
  BYTE value[kMaxFixedValueBytes];
  // The end of the data before a record is the one end that is not an error.
  const ULONG got = Read(value, kTypeBytes);
  if (got == 0) return 0;
  if (got == 1) ReadExact(value + 1, 1);
  var->vt = zr::LoadLE16(value);
  if (var->vt > ZRVT_LASTORDINARY) ThrowStreamError(ZRCAUSE_BADFORMAT, ZRSTREAMOP_READ);
  if (const ULONG n = kFixedValueBytes[var->vt]) {
    ReadExact(value, n);
    DecodeFixed(value, *var);
    return 1;
  }
  // A count is checked against the rest of the stream before anything is
  // allocated, so a damaged count cannot ask for gigabytes.
  auto readCount = [&] {
    const ULONG n = zr::ReadDwordOf(*this);
    if (n > Remaining()) throw CXEofException();
    return n;
  };
  switch (var->vt) {
    case ZRVT_STR: {
      const ULONG n = readCount();
      std::unique_ptr<char[]> text(zr::NewArray<char>(std::size_t{n} + 1));
      ReadExact(text.get(), n);
      text[n] = '\0';
      var->pszVal = text.release();
      return 1;
    }
    case ZRVT_WSTR: {
      const ULONG n = readCount();
      // n / 2 units and the terminator: an odd last byte is read and dropped
      // (the terminator overwrites it).
      const std::size_t units = n / 2;
      std::unique_ptr<WCHAR[]> text(zr::NewArray<WCHAR>(units + 1));
      ReadExact(text.get(), n);
      zr::UnitsFromLE(text.get(), units);
      text[units] = u'\0';
      var->pwszVal = text.release();
      return 1;
    }
    case ZRVT_BLOB: {
      const ULONG n = readCount();
      if (n > 0) {
        std::unique_ptr<BYTE[]> data(zr::NewArray<BYTE>(n));
        ReadExact(data.get(), n);
        var->blobVal.pBlobData = data.release();
        var->blobVal.cbSize = n;
      }
      return 1;  // a blob of size 0 is whole: no data, a null pointer
    }
    case ZRVT_UNKNOWN:
      return ReadObjectFromXStream(this, &var->punkVal);
    default:
      return 1;
  }
}
