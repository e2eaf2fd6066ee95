// storage/summary_info.h - CIZRSummaryInfo, the IZRProperty object of a
// compound-file storage, and its one factory.
//
// The object keeps the storage's property-set storage (one reference; null
// when the storage offers none, and then every operation answers 0) and
// the name table. Property sets are opened per call and released at its
// end: GetProperty opens the set read-only and never creates it;
// SetProperty opens it read-write and, when that fails, creates it with
// PROPSETFLAG_ANSI (8-bit strings in the process's ANSI code page), writes
// the one property and commits the set at once.
//
// Invariant: m_pNames is never null; its closed flag is the table's lock,
// under which insertion, removal and enumeration refuse.
#pragma once

#include "pal/ole/propidl.h"
#include "zr/property.h"
#include "zr/tmap.h"

namespace zr {

using SummaryNameMap = CTMapEnum<const char*, int, const char*, int>;

class CIZRSummaryInfo final : public CZRUnknownImpl<IZRProperty> {
 public:
  explicit CIZRSummaryInfo(zrpal::IPropertySetStorage* sets);  // takes one reference of its own
  ~CIZRSummaryInfo() override;

  int GetProperty(const char* name, tagZRPROPERTYVALUE* value) override;
  int SetProperty(const char* name, const tagZRVARIANT* value) override;
  CTEnum<const char*>* EnumPropertyNames() override;
  void Unused6() override {}
  void Unused7() override {}
  int RemovePropertyName(const char* name) override;
  void RemoveAllPropertyNames() override;

 private:
  // The set of identifier `id` (one reference), or null.
  zrpal::IPropertyStorage* OpenSet(int id, int create);

  zrpal::IPropertySetStorage* m_pPropSetStg;
  SummaryNameMap* m_pNames;
  int m_bCreate = 0;
};

// The summary information of a compound-file storage: queries
// `platformStorage` for its property-set storage (none: an object with no
// set storage and an empty name table). One reference for the caller.
IZRProperty* NewSummaryInfo(zrpal::IStorage* platformStorage);

}  // namespace zr
