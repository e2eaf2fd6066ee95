// property.h - IZRProperty, the document summary properties of a compound
// file under plain names ("Title", "Company", ...).
//
// A compound-file storage answers a query for IZRProperty with a new
// summary-information object over its property sets: the summary
// information set and the document summary information set. Values travel
// as variants and are stored as 8-bit strings. Every operation answers 0 (or
// a null enumerator) on failure; nothing is thrown except on memory
// exhaustion (CXMemException).
//
// The name table maps each name to a 32-bit identifier: below 0x10000 a
// property number of the summary information set; 0x10000 or more selects
// the document summary information set with property number id >> 16. Names
// are matched by the library's 8-bit text hash (tmap.h): names with equal
// hashes are the same name. The table filled at creation:
//   "Title" 2, "Subject" 3, "Author" 4, "Keywords" 5, "Comments" 6,
//   "Last Author" 8, "App name" 18, "Category" 0x20000, "Company" 0xF0000.
#pragma once

#include "zr/tenum.h"
#include "zr/unknown.h"
#include "zr/variant.h"

// The record GetProperty fills: the value, then a word GetProperty sets to 0.
struct tagZRPROPERTYVALUE {
  CZRVariant var;
  unsigned int dwReserved;
};
static_assert(sizeof(tagZRPROPERTYVALUE) == sizeof(tagZRVARIANT) + 8, "the variant, a word, padding");

class ZR_API IZRProperty : public IZRUnknown {
 public:
  // Slot 3: the 8-bit string property `name` into value->var (ZRVT_STR),
  // value->dwReserved set to 0; 1 when a value was read. An unknown name, a
  // missing set or property, or a property that is not a non-null 8-bit
  // string gives 0 and leaves `value` unchanged.
  virtual int GetProperty(const char* name, tagZRPROPERTYVALUE* value) = 0;
  // Slot 4: writes `value` (ZRVT_STR, or ZRVT_WSTR converted to the
  // process's ANSI code page; not null, not empty) as the 8-bit string
  // property `name`, creating its set when missing, and commits the set; 1
  // when the value was written. The file receives the change when its
  // storage is committed.
  virtual int SetProperty(const char* name, const tagZRVARIANT* value) = 0;
  // Slot 5: an enumerator of the known names, or null while the name table
  // is locked.
  virtual CTEnum<const char*>* EnumPropertyNames() = 0;
  // Slots 6 and 7: do nothing.
  virtual void Unused6() = 0;
  virtual void Unused7() = 0;
  // Slot 8: removes `name` from the table; 1 when it was there, 0 when it
  // was not or the table is locked.
  virtual int RemovePropertyName(const char* name) = 0;
  // Slot 9: empties the name table and unlocks it.
  virtual void RemoveAllPropertyNames() = 0;

 protected:
  ~IZRProperty() = default;
};

extern template class ZR_API CZRUnknownImpl<IZRProperty>;
