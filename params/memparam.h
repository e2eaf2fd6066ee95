// params/memparam.h - CMemParam, the memory back-end of the parameter trees
// (library internal; callers make one with new_MemParam).
#pragma once

#include <typeinfo>

#include "zr/ifacereg.h"
#include "zr/param.h"
#include "zr/tlist.h"
#include "zr/tmap.h"
#include "zr/variant.h"

namespace zr {

// The list of names a node enumerates: owned copies in insertion order, in
// a reference-counted list that its enumerators keep alive.
using CParamNameList = CTListEnum<const char*, const char*>;

}  // namespace zr

// A node kept in memory. Children and values live in two maps keyed by the
// lowered name hash (CTMapKeyTraits<const ULONG*>: two names with one hash
// are one name); two name lists keep the insertion order for enumeration.
//
// Invariants: a name is in m_pParamNames exactly when m_children has an
// entry of that hash (likewise values), except where two different names
// share a hash: the map then answers for both and the list keeps the first.
// The name lists always exist (they are made with the node). Every child is
// a CMemParam made by this node; the map holds one reference to it. Nothing
// links a child to its parent.
class CMemParam final : public CZRUnknownImpl<IParam>, public IRegisterIface {
 public:
  using ChildMap = CTMap<const ULONG*, IParam*>;
  using ValueMap = CTMap<const ULONG*, CZRVariant>;

  // A node named `name` (null: empty) with count 1, registering its
  // IRegisterIface sub-object (without a reference).
  explicit CMemParam(const char* name);
  ~CMemParam() override;

  CMemParam(const CMemParam&) = delete;
  CMemParam& operator=(const CMemParam&) = delete;

  // One count and one identity for both bases.
  ULONG Release() override { return CZRUnknownImpl<IParam>::Release(); }
  int QueryInterface(const std::type_info& type, void** out) override {
    return CZRUnknownImpl<IParam>::QueryInterface(type, out);
  }
  ULONG AddRef() override { return CZRUnknownImpl<IParam>::AddRef(); }
  // Only the interface registry answers: not IParam, not IZRUnknown.
  int InternalQueryInterface(const std::type_info& type, void** out) override {
    return m_registry.QueryInterface(type, out);
  }

  int RegisterInterface(IZRUnknown* object, const std::type_info& type, ULONG strong) override {
    return m_registry.RegisterInterface(object, type, strong);
  }

  IParam* CreateParam(const char* name) override;
  IParam* OpenParam(const char* name, int create) override;
  void DeleteParam(const char* name) override;
  void DeleteAllParams() override;
  CTEnum<const char*>* EnumParams() override;
  int GetValue(const char* name, tagZRVARIANT* out) override;
  void SetValue(const char* name, const tagZRVARIANT* value) override;
  void DeleteValue(const char* name) override;
  void DeleteAllValues() override;
  CTEnum<const char*>* EnumValues() override;
  void Purge() override;

  const CXString& GetName() const { return m_name; }

  // SetValue(name, &value) that takes the content of `value` over instead
  // of copying it when `node` is a memory node (`value` is then empty): the
  // readers' path into a memory tree. Other back-ends get SetValue.
  static void SetValueTaking(IParam* node, const char* name, tagZRVARIANT& value);

 private:
  // A new child named `name` (no backslash), entered in the list and the
  // map; the caller receives one reference.
  CMemParam* AddChild(const char* name);
  // The entry of value `name` (no path; "@" already applied), made empty
  // when there was none.
  ValueMap::CAssoc* FindOrAddValue(const char* name);
  // The child of hash-equal name, borrowed, or null.
  IParam* FindChild(const char* name);
  static CTEnum<const char*>* EnumOf(zr::CParamNameList* list);
  // Removes the first entry equal to `name` (case-insensitively).
  static void RemoveName(zr::CParamNameList* list, const char* name);
  // Empties a name list for Purge. A list that enumerators still walk is
  // replaced by a fresh one instead, so that they keep valid names (the old
  // list goes with its last enumerator).
  static void EmptyList(zr::CParamNameList*& list);

  CZRInterfaceRegistry m_registry;
  CXString m_name;
  zr::CParamNameList* m_pParamNames;
  zr::CParamNameList* m_pValueNames;
  ChildMap m_children;
  ValueMap m_values;
};
