// pal/ole/property_storage.h - IPropertyStorage over one section of a
// property set stream, and the IPropertySetStorage of a storage.
//
// A PropertyStorage holds its stream open (STGM_SHARE_EXCLUSIVE, so a set
// is open once at a time, and the summary set and the user-defined set,
// which share "\005DocumentSummaryInformation", not together) and the whole
// stream parsed: its own section decoded into code page, dictionary and
// property bytes, every other section kept as it was read. Changes stay in
// memory until Commit, which writes the whole stream again (the other
// section unchanged, every property not written byte for byte as it was);
// a set opened without STGM_TRANSACTED is also written on its last
// Release, as on Windows, and its Revert does nothing. A set opened
// transacted drops unwritten changes on Release and Revert reads the stream
// again.
//
// Invariants: m_props holds no identifier 0 or 1 (the dictionary and the
// code page live in m_names and m_codePage); every value in m_props has a
// type ClassOf accepts; m_stream.sections[m_index] is stale between Load
// and Commit and is rebuilt from the three by Commit.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "pal/ole/propset_format.h"

namespace zrpal::ole {

// The order of property identifiers. A type of this component, so that
// the map instances it keys are not exported with the standard library's
// default visibility.
struct IdOrder : std::less<PROPID> {};

class PropertyStorage final : public IPropertyStorage {
 public:
  // The set `fmtid` of `stream` (opened for `mode`), named `name` in
  // `parent`. `create`: a new set with `flags` replaces that section (or the
  // stream's content); else the section is read.
  static HRESULT Make(IStorage* parent, IStream* stream, std::u16string name, REFFMTID fmtid,
                      DWORD mode, bool create, const CLSID* clsid, DWORD flags,
                      IPropertyStorage** out);

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(this, riid, object, IID_IPropertyStorage);
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override;

  HRESULT ReadMultiple(ULONG count, const PROPSPEC* specs, PROPVARIANT* values) override;
  HRESULT WriteMultiple(ULONG count, const PROPSPEC* specs, const PROPVARIANT* values,
                        PROPID firstNewId) override;
  HRESULT DeleteMultiple(ULONG count, const PROPSPEC* specs) override;
  HRESULT ReadPropertyNames(ULONG count, const PROPID* ids, LPOLESTR* names) override;
  HRESULT WritePropertyNames(ULONG count, const PROPID* ids, const LPOLESTR* names) override;
  HRESULT DeletePropertyNames(ULONG count, const PROPID* ids) override;
  HRESULT Commit(DWORD commitFlags) override;
  HRESULT Revert() override;
  HRESULT Enum(IEnumSTATPROPSTG** items) override;
  HRESULT SetTimes(const FILETIME* created, const FILETIME* accessed,
                   const FILETIME* modified) override;
  HRESULT SetClass(REFCLSID clsid) override;
  HRESULT Stat(STATPROPSETSTG* stat) override;

 private:
  PropertyStorage(IStorage* parent, IStream* stream, std::u16string name, REFFMTID fmtid, DWORD mode);
  ~PropertyStorage();
  HRESULT Load();
  void Reset(const CLSID* clsid, DWORD flags);
  HRESULT Resolve(const PROPSPEC& spec, PROPID* id) const;  // PID_ILLEGAL when absent
  PROPID NameToId(std::u16string_view name) const;
  bool CanWrite() const { return (m_mode & 0x3) != STGM_READ; }
  bool CaseSensitive() const;

  ULONG m_refs = 1;
  IStorage* m_parent;  // one reference
  IStream* m_stream;   // one reference
  std::u16string m_name;
  FMTID m_fmtid;
  DWORD m_mode;
  ps::SetStream m_set;
  int m_index = 0;
  WORD m_codePage = CP_WINUNICODE;
  // Whether the set has a code page property. A set read without one (some
  // writers leave it out) is taken to be in the ANSI code page and is
  // written back without one, so that it changes only where it was written.
  bool m_codePageStored = true;
  std::map<PROPID, std::u16string, IdOrder> m_names;
  std::map<PROPID, ps::Bytes, IdOrder> m_props;
  bool m_dirty = false;
};

// The IPropertySetStorage of a storage (holds one reference on it).
HRESULT NewPropertySetStorage(IStorage* storage, IPropertySetStorage** out);

}  // namespace zrpal::ole
