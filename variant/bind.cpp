// variant/bind.cpp - ZRVariantBindFromValue and ZRVariantBindToValue:
// moving values between variants and plain typed storage.
#include <cstring>

#include "variant/buffers.h"
#include "variant/record.h"

namespace {

// Bytes of the plain value bound to each ordinary type code; 0 for the
// types whose plain value is a pointer or record handled on its own.
constexpr std::size_t kPlainSize[ZRVT_LASTORDINARY + 1] = {
    0,                  // ZRVT_EMPTY: no plain value
    sizeof(int),        // ZRVT_BOOL
    sizeof(BYTE),       // ZRVT_UI1
    sizeof(WORD),       // ZRVT_UI2
    sizeof(ULONG),      // ZRVT_ULONG
    sizeof(INT),        // ZRVT_INT
    sizeof(UINT),       // ZRVT_UINT
    sizeof(LONG),       // ZRVT_LONG
    sizeof(double),     // ZRVT_DOUBLE
    sizeof(float),      // ZRVT_FLOAT
    0,                  // ZRVT_STR: char*
    sizeof(tagSIZE),    // ZRVT_SIZE
    sizeof(tagRSIZE),   // ZRVT_RSIZE
    sizeof(tagPOINT),   // ZRVT_POINT
    sizeof(tagRPOINT),  // ZRVT_RPOINT
    sizeof(tagRECT),    // ZRVT_RECT
    sizeof(tagRRECT),   // ZRVT_RRECT
    0,                  // ZRVT_BLOB: tagZRBLOB, taken over
    0,                  // ZRVT_UNKNOWN: IZRUnknown*, counted
    0,                  // ZRVT_WSTR: WCHAR*
};

bool HasPlainValue(unsigned short type) { return type != ZRVT_EMPTY && zr::IsOrdinaryType(type); }

}  // namespace

int ZRVariantBindFromValue(unsigned short type, void* source, tagZRVARIANT* var) {
  if (!var) return 0;
  if (!HasPlainValue(type)) {
    ZRVariantClear(var);
    var->vt = type;
    return 0;
  }
  if (!source) {
    ZRVariantClear(var);
    return 0;
  }
  // Built aside and moved in, so that a source inside var (its own text,
  // object or blob) is read before var is cleared.
  tagZRVARIANT result = zr::EmptyRecord();
  switch (type) {
    case ZRVT_STR:
      result.pszVal = zr::NewTextCopy(*static_cast<char* const*>(source));
      break;
    case ZRVT_WSTR:
      result.pwszVal = zr::NewTextCopy(*static_cast<WCHAR* const*>(source));
      break;
    case ZRVT_UNKNOWN:
      result.punkVal = *static_cast<IZRUnknown* const*>(source);
      if (result.punkVal) result.punkVal->AddRef();
      break;
    case ZRVT_BLOB: {
      const tagZRBLOB& blob = *static_cast<const tagZRBLOB*>(source);
      result.blobVal.cbSize = blob.cbSize;
      result.blobVal.pBlobData = blob.pBlobData;
      // Binding var's own blob back into it: var keeps the buffer, which
      // must not be freed by the clear below.
      if (var->vt == ZRVT_BLOB && var->blobVal.pBlobData == blob.pBlobData) var->vt = ZRVT_EMPTY;
      break;
    }
    default:
      std::memcpy(&result.dblVal, source, kPlainSize[type]);
      break;
  }
  result.vt = type;
  zr::MoveRecord(var, result);
  return 1;
}

int ZRVariantBindToValue(unsigned short type, void* target, tagZRVARIANT* var) {
  if (!var || !target || !HasPlainValue(type)) return 0;
  // An empty variant has no value, but its union need not be zero: Detach
  // and Attach reset only the type code and leave the pointer that now
  // belongs to someone else. So an empty variant binds as a null pointer
  // (an empty blob) and its union is never read as one.
  const bool empty = var->vt == ZRVT_EMPTY;
  switch (type) {
    case ZRVT_STR: {
      if (var->vt != ZRVT_STR && var->vt != ZRVT_EMPTY) return 0;
      char*& slot = *static_cast<char**>(target);
      // Copied before the old text goes: target may be var's own member.
      char* copy = zr::NewTextCopy(empty ? nullptr : var->pszVal);
      delete[] slot;
      slot = copy;
      return 1;
    }
    case ZRVT_WSTR: {
      if (var->vt != ZRVT_WSTR && var->vt != ZRVT_EMPTY) return 0;
      WCHAR*& slot = *static_cast<WCHAR**>(target);
      WCHAR* copy = zr::NewTextCopy(empty ? nullptr : var->pwszVal);
      delete[] slot;
      slot = copy;
      return 1;
    }
    case ZRVT_UNKNOWN: {
      if (var->vt != ZRVT_UNKNOWN && var->vt != ZRVT_UNKNOWN_BORROWED && var->vt != ZRVT_EMPTY) return 0;
      IZRUnknown*& slot = *static_cast<IZRUnknown**>(target);
      // Referenced before the old pointer is released: they may be the same
      // object, held only by target.
      IZRUnknown* object = empty ? nullptr : var->punkVal;
      if (object) object->AddRef();
      if (slot) slot->Release();
      slot = object;
      return 1;
    }
    case ZRVT_BLOB: {
      if (var->vt != ZRVT_BLOB && var->vt != ZRVT_EMPTY) return 0;
      tagZRBLOB& slot = *static_cast<tagZRBLOB*>(target);
      slot.cbSize = empty ? 0 : var->blobVal.cbSize;
      slot.pBlobData = empty ? nullptr : var->blobVal.pBlobData;
      return 1;
    }
    default:
      std::memcpy(target, &var->dblVal, kPlainSize[type]);
      return 1;
  }
}
