// params/memparam.cpp - the memory back-end of the parameter trees.
//
// Design: a node is two hash maps (children, values) keyed by the lowered
// h * 257 name hash, and two name lists that keep the insertion order the
// enumerators deliver. Paths are resolved one component at a time: a path
// given to CreateParam / OpenParam is split at its first backslash and the
// rest handed to the child; GetValue / SetValue split at the last backslash
// and open the head as a path. Paths of any length are accepted (no fixed
// working buffer).
//
// Enumerators keep their name list alive by reference. Removing single names
// unlinks list nodes in place (an enumerator stands on the node after the
// one it delivered last, so deleting each delivered name is safe); emptying
// a list that an enumerator still walks replaces the list instead.
#include "params/memparam.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "base/heldref.h"
#include "params/treewalk.h"
#include "zr/exception.h"

template class CZRUnknownImpl<IParam>;

namespace zr {

namespace {

constexpr char kBackslash = '\\';
constexpr const char* kDefaultValueName = "@";

const char* ValueNameOf(const char* name) { return name && *name ? name : kDefaultValueName; }

const ULONG* KeyOf(const char* name) { return reinterpret_cast<const ULONG*>(name); }

// A path cut at its last backslash: the head (the node's path) and the tail
// (the name within it). Short paths stay on the stack.
class CSplitPath {
 public:
  CSplitPath(const char* path, const char* lastBackslash) {
    const std::size_t headLength = static_cast<std::size_t>(lastBackslash - path);
    if (headLength < sizeof m_buffer) {
      std::memcpy(m_buffer, path, headLength);
      m_buffer[headLength] = 0;
      m_head = m_buffer;
    } else {
      m_long.assign(path, headLength);
      m_head = m_long.c_str();
    }
    m_tail = lastBackslash + 1;
  }
  const char* Head() const { return m_head; }
  const char* Tail() const { return m_tail; }

 private:
  char m_buffer[256];
  std::string m_long;
  const char* m_head;
  const char* m_tail;
};

}  // namespace

}  // namespace zr

using zr::CParamNameList;

CMemParam::CMemParam(const char* name)
    : m_name(name ? name : ""),
      m_pParamNames(nullptr),
      m_pValueNames(nullptr),
      m_children(127),
      m_values(127) {
  try {
    m_pParamNames = zr::Allocating([] { return new CParamNameList(); });
    m_pValueNames = zr::Allocating([] { return new CParamNameList(); });
    m_registry.RegisterInterface(static_cast<IRegisterIface*>(this), typeid(IRegisterIface), 0);
  } catch (...) {
    if (m_pParamNames) m_pParamNames->Release();
    if (m_pValueNames) m_pValueNames->Release();
    throw;
  }

  // The fields in their documented order.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  static_assert(offsetof(CMemParam, m_cRef) < offsetof(CMemParam, m_registry));
  static_assert(offsetof(CMemParam, m_registry) < offsetof(CMemParam, m_name));
  static_assert(offsetof(CMemParam, m_name) < offsetof(CMemParam, m_pParamNames));
  static_assert(offsetof(CMemParam, m_pParamNames) + sizeof(void*) ==
                offsetof(CMemParam, m_pValueNames));
  static_assert(offsetof(CMemParam, m_pValueNames) < offsetof(CMemParam, m_children));
  static_assert(offsetof(CMemParam, m_children) + sizeof(ChildMap) ==
                offsetof(CMemParam, m_values));
#pragma GCC diagnostic pop
}

CMemParam::~CMemParam() {
  // The maps release the children and clear the variants as they go; the
  // registry (a weak record only) frees itself. The name lists go with
  // their last reference: at once, or with the last enumerator that walks
  // them, whose names stay valid until then.
  m_children.RemoveAll();
  m_values.RemoveAll();
  m_pParamNames->Release();
  m_pValueNames->Release();
}

IParam* CMemParam::FindChild(const char* name) {
  ChildMap::CAssoc* e = m_children.Find(zr::KeyOf(name));
  return e ? e->value : nullptr;
}

CMemParam* CMemParam::AddChild(const char* name) {
  auto* child = zr::Allocating([name] { return new CMemParam(name); });
  try {
    m_pParamNames->AddTail(name);
    m_children.Set(zr::KeyOf(name), child);  // the map takes its own reference
  } catch (...) {
    RemoveName(m_pParamNames, name);
    child->Release();
    throw;
  }
  return child;
}

IParam* CMemParam::CreateParam(const char* name) {
  if (!name) name = "";
  if (const char* slash = std::strchr(name, zr::kBackslash)) {
    const std::string first(name, static_cast<std::size_t>(slash - name));
    if (IParam* child = FindChild(first.c_str())) return child->CreateParam(slash + 1);
    CMemParam* child = AddChild(first.c_str());
    const zr::CHeldRef hold(static_cast<IParam*>(child));
    return child->CreateParam(slash + 1);
  }
  if (IParam* child = FindChild(name)) {
    child->AddRef();
    child->Purge();
    return child;
  }
  return AddChild(name);
}

IParam* CMemParam::OpenParam(const char* name, int create) {
  if (!name) name = "";
  if (const char* slash = std::strchr(name, zr::kBackslash)) {
    const std::string first(name, static_cast<std::size_t>(slash - name));
    if (IParam* child = FindChild(first.c_str())) return child->OpenParam(slash + 1, create);
    return create ? CreateParam(name) : nullptr;
  }
  if (IParam* child = FindChild(name)) {
    child->AddRef();
    return child;
  }
  return create ? CreateParam(name) : nullptr;
}

void CMemParam::DeleteParam(const char* name) {
  if (!name) name = "";
  if (IParam* node = OpenParam(name, 0)) {
    node->Purge();
    node->Release();
  }
  // The map first: `name` may be the list's own copy, freed with its node.
  m_children.Remove(zr::KeyOf(name));
  RemoveName(m_pParamNames, name);
}

void CMemParam::DeleteAllParams() {
  for (auto* node = m_pParamNames->GetHead(); node;) {
    auto* next = m_pParamNames->GetNext(node);
    DeleteParam(node->value);
    node = next;
  }
  m_pParamNames->RemoveAll();
  m_children.RemoveAll();
}

CTEnum<const char*>* CMemParam::EnumOf(CParamNameList* list) {
  if (list->IsClosed()) return nullptr;  // being emptied
  return zr::Allocating([list] { return new _CListEnum<const char*, const char*>(list); });
}

CTEnum<const char*>* CMemParam::EnumParams() { return EnumOf(m_pParamNames); }
CTEnum<const char*>* CMemParam::EnumValues() { return EnumOf(m_pValueNames); }

int CMemParam::GetValue(const char* name, tagZRVARIANT* out) {
  if (!name) name = "";
  if (const char* slash = std::strrchr(name, zr::kBackslash)) {
    const zr::CSplitPath path(name, slash);
    IParam* node = OpenParam(path.Head(), 0);
    if (!node) return 0;
    const zr::CHeldRef hold(node);
    return node->GetValue(path.Tail(), out);
  }
  ValueMap::CAssoc* e = m_values.Find(zr::KeyOf(zr::ValueNameOf(name)));
  if (!e) return 0;
  ZRVariantCopy(out, &e->value);  // clears `out` first
  return 1;
}

void CMemParam::SetValue(const char* name, const tagZRVARIANT* value) {
  if (!name) name = "";
  if (const char* slash = std::strrchr(name, zr::kBackslash)) {
    const zr::CSplitPath path(name, slash);
    IParam* node = OpenParam(path.Head(), 1);
    if (!node) return;
    const zr::CHeldRef hold(node);
    node->SetValue(path.Tail(), value);
    return;
  }
  ZRVariantCopy(&FindOrAddValue(zr::ValueNameOf(name))->value, value);
}

CMemParam::ValueMap::CAssoc* CMemParam::FindOrAddValue(const char* name) {
  const ULONG* key = zr::KeyOf(name);
  if (ValueMap::CAssoc* e = m_values.Find(key)) return e;
  // An empty entry first, then the value in place: it is copied once, and
  // a failed copy leaves an empty value under the new name.
  m_pValueNames->AddTail(name);
  try {
    m_values.Set(key, CZRVariant());
  } catch (...) {
    RemoveName(m_pValueNames, name);
    throw;
  }
  return m_values.Find(key);
}

void CMemParam::SetValueTaking(IParam* node, const char* name, tagZRVARIANT& value) {
  if (typeid(*node) != typeid(CMemParam) || !name || std::strchr(name, zr::kBackslash)) {
    node->SetValue(name, &value);
    return;
  }
  auto* memory = static_cast<CMemParam*>(node);
  static_cast<CZRVariant&>(memory->FindOrAddValue(zr::ValueNameOf(name))->value).Attach(value);
}

void CMemParam::DeleteValue(const char* name) {
  name = zr::ValueNameOf(name);
  if (!m_values.Remove(zr::KeyOf(name))) return;
  RemoveName(m_pValueNames, name);
}

void CMemParam::DeleteAllValues() {
  for (auto* node = m_pValueNames->GetHead(); node;) {
    auto* next = m_pValueNames->GetNext(node);
    DeleteValue(node->value);
    node = next;
  }
}

void CMemParam::Purge() {
  EmptyList(m_pParamNames);
  EmptyList(m_pValueNames);
  m_children.RemoveAll();
  m_values.RemoveAll();
}

void CMemParam::RemoveName(CParamNameList* list, const char* name) {
  for (auto* node = list->GetHead(); node; node = list->GetNext(node)) {
    if (zr::EqualNoCase(node->value, name)) {
      list->RemoveNode(node);
      return;
    }
  }
}

void CMemParam::EmptyList(CParamNameList*& list) {
  // The count as it stands: one reference is the node's own.
  list->AddRef();
  const ULONG count = list->Release();
  if (count <= 1) {
    list->RemoveAll();
    return;
  }
  auto* fresh = zr::Allocating([] { return new CParamNameList(); });
  list->Release();
  list = fresh;
}

IParam* new_MemParam() {
  try {
    return new CMemParam(nullptr);
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const CXMemException&) {
    return nullptr;
  }
}
