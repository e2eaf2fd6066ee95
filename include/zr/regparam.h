// regparam.h - parameter trees kept in the registry: the back-end
// CRegistryParam, the name enumerator it hands out, and the two factories.
//
// Each node is an open registry key: sub-parameters are sub-keys, values
// are registry values. Names go to the registry's 8-bit functions, which
// compare them without regard to case and convert them through the ANSI
// code page; a backslash in a sub-parameter name is a path the registry
// resolves, while a value name is always one name (a backslash is part of
// it). An empty or null value name is the key's default value ("@" is an
// ordinary name here).
//
// Values: ZRVT_STR is stored as REG_SZ (the bytes and the terminator),
// ZRVT_WSTR as REG_SZ through the wide function (the UTF-16 units and the
// terminator); both read back as ZRVT_STR. Every other type with a row in
// the payload table is REG_BINARY data: the 32-bit type code, little-endian,
// then the value as it lies in the variant (ZRVT_INT 7 is 05 00 00 00 07 00
// 00 00; a blob is its 32-bit length, then its bytes). ZRVT_UNKNOWN is
// never stored. Binary data whose code has no row, or that is shorter than
// its code's payload (for a blob: than its length says), reads as not
// found.
//
// Registry errors are reported only as null (open, create), 0 (GetValue) or
// silence (set, delete): this back-end throws nothing of its own; memory
// exhaustion surfaces as the run-time's exception, as in the memory
// back-end. Nodes do not reference their parents: a node stays usable
// after its parent is released, for as long as its key exists (a deleted
// key answers nothing).
#pragma once

#include "zr/ifacereg.h"
#include "zr/param.h"
#include "zr/xstring.h"

// The enumerator of names a registry node hands out: a snapshot taken when
// it was made (later changes to the key do not show). Next delivers up to
// `count` names and answers 1 while names remained before the call, 0 when
// the index was already at the end; Skip moves the index (saturating) and
// answers 1; Reset goes back to the first name.
class ZR_API _CTValEnum final : public CZRUnknownImpl<CTEnum<const char*>> {
 public:
  // Takes over `names`, an array of `count` names made with new[] (null
  // when count is 0).
  _CTValEnum(CXString* names, ULONG count);
  ~_CTValEnum() override;
  _CTValEnum(const _CTValEnum&) = delete;
  _CTValEnum& operator=(const _CTValEnum&) = delete;

  int Next(ULONG count, const char** items, ULONG* fetched) override;
  int Skip(ULONG count) override;
  void Reset() override;

 private:
  CXString* m_pNames;
  ULONG m_nCount;
  ULONG m_nIndex;
};

// A node over an open registry key (HKEY, zr/zrtypes.h), opened with full
// access. QueryInterface answers IParam and IRegisterIface (both this node).
class ZR_API CRegistryParam final : public CZRUnknownImpl<IParam>, public IRegisterIface {
 public:
  // Takes over `key`, closed with the node's last Release; count 1.
  explicit CRegistryParam(HKEY key);
  ~CRegistryParam() override;
  CRegistryParam(const CRegistryParam&) = delete;
  CRegistryParam& operator=(const CRegistryParam&) = delete;

  // One count and one identity for both bases.
  ULONG Release() override { return CZRUnknownImpl<IParam>::Release(); }
  int QueryInterface(const std::type_info& type, void** out) override {
    return CZRUnknownImpl<IParam>::QueryInterface(type, out);
  }
  ULONG AddRef() override { return CZRUnknownImpl<IParam>::AddRef(); }
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
  // Empties every sub-key (they stay, empty) and deletes every value.
  void Purge() override;

 private:
  // DeleteParam and Purge below a depth: subtrees deeper than the registry
  // allows (512 levels) are left alone rather than walked.
  void DeleteParamAt(const char* name, unsigned depth);
  void PurgeAt(unsigned depth);
  _CTValEnum* EnumNames(bool keys);

  HKEY m_hKey;
  CZRInterfaceRegistry m_registry;
};

// The existing key `subKey` below HKEY_CURRENT_USER / HKEY_LOCAL_MACHINE,
// opened with full access, as the root of a tree; null when it cannot be
// opened (the key is not created) or memory runs out.
ZR_API IParam* new_IParamCUReg(const WCHAR* subKey);
ZR_API IParam* new_IParamLMReg(const WCHAR* subKey);
