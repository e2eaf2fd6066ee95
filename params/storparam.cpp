// params/storparam.cpp - CIXStorParam, the parameter tree kept in a storage
// (zr/storparam.h).
//
// Design: a node is its storage; it keeps no copy of names or values, so
// every operation is one or a few storage calls. Invariants:
//   - m_pStorage holds one reference until Purge drops it (then null, and
//     every operation but Release does nothing);
//   - m_pParent (CZRUnknownImplParent) holds the parent node, so a sub-node
//     keeps the chain of its ancestors, and their storages, alive;
//   - the interface registry answers IXStorage with m_pStorage and
//     IRegisterIface with the node, both weakly (the node owns them).
// Paths: the text before the first backslash addresses a sub-node for the
// node operations, the text before the last one for values; both recurse
// one level per backslash, so the walk is bounded by the path's length.
#include "zr/storparam.h"

#include <string>

#include "base/heldref.h"
#include "zr/ifacereg.h"
#include "zr/variant.h"

namespace zr {

namespace {

constexpr char kBackslash = '\\';
constexpr char kDefaultName[] = "@";
constexpr char kRootName[] = "Root";

// Runs `action`; a library exception from the storage gives `failed`.
template <class R, class F>
R Guarded(R failed, F action) {
  try {
    return action();
  } catch (const CXException&) {
    return failed;
  }
}

template <class F>
void Guarded(F action) {
  try {
    action();
  } catch (const CXException&) {
  }
}

class CIXStorParam final : public CZRUnknownImplParent<IParam, IParam>, public IRegisterIface {
  using Base = CZRUnknownImplParent<IParam, IParam>;

 public:
  // Holds `storage` and `parent`.
  CIXStorParam(const char* name, IXStorage* storage, IParam* parent)
      : m_name(name), m_pStorage(storage) {
    m_pStorage->AddRef();
    SetParent(parent);
    m_registry.RegisterInterface(m_pStorage, typeid(IXStorage), 0);
    m_registry.RegisterInterface(static_cast<IRegisterIface*>(this), typeid(IRegisterIface), 0);
  }
  CIXStorParam(const CIXStorParam&) = delete;
  CIXStorParam& operator=(const CIXStorParam&) = delete;

  // One count for both bases. The last release commits the node's storage
  // and its parent storage before letting them go.
  ULONG Release() override {
    if (--m_cOwnRef != 0) return m_cOwnRef;
    Guarded([&] {
      if (m_pStorage) m_pStorage->Commit();
    });
    if (m_pParent) m_pParent->Release();
    m_pParent = nullptr;
    if (m_pStorage) {
      Guarded([&] {
        m_pStorage->Commit();
        IXStorage* parent = m_pStorage->GetParentStorage();
        if (parent) {
          const CHeldRef hold(parent);
          parent->Commit();
        }
      });
      DropStorage();
    }
    delete this;
    return 0;
  }
  int QueryInterface(const std::type_info& type, void** out) override {
    return m_registry.QueryInterface(type, out);
  }
  ULONG AddRef() override { return Base::AddRef(); }
  int InternalQueryInterface(const std::type_info& type, void** out) override {
    return m_registry.QueryInterface(type, out);
  }
  int RegisterInterface(IZRUnknown* object, const std::type_info& type, ULONG strong) override {
    return m_registry.RegisterInterface(object, type, strong);
  }

  IParam* CreateParam(const char* name) override {
    if (!m_pStorage) return nullptr;
    const std::string path(name ? name : "");
    const std::size_t cut = path.find(kBackslash);
    if (cut != std::string::npos)
      return Through(path.substr(0, cut),
                     [&](IParam* node) { return node->CreateParam(path.c_str() + cut + 1); });
    return Guarded<IParam*>(
        nullptr, [&] { return Child(path.c_str(), m_pStorage->CreateStorage(path.c_str())); });
  }

  IParam* OpenParam(const char* name, int create) override {
    if (!m_pStorage) return nullptr;
    const std::string path(name ? name : "");
    const std::size_t cut = path.find(kBackslash);
    if (cut != std::string::npos)
      return Through(path.substr(0, cut),
                     [&](IParam* node) { return node->OpenParam(path.c_str() + cut + 1, create); });
    IXStorage* sub =
        Guarded<IXStorage*>(nullptr, [&] { return m_pStorage->OpenStorage(path.c_str()); });
    if (!sub && create)
      sub = Guarded<IXStorage*>(nullptr, [&] { return m_pStorage->CreateStorage(path.c_str()); });
    return sub ? Child(path.c_str(), sub) : nullptr;
  }

  void DeleteParam(const char* name) override {
    IParam* node = OpenParam(name, 0);
    if (!node) return;
    node->Purge();
    node->Release();
  }

  void DeleteAllParams() override {
    ForEachName(EnumParams(), [&](const char* name) { DeleteParam(name); });
  }

  CTEnum<const char*>* EnumParams() override {
    if (!m_pStorage) return nullptr;
    return Guarded<CTEnum<const char*>*>(nullptr, [&] { return m_pStorage->EnumStorages(); });
  }

  int GetValue(const char* name, tagZRVARIANT* out) override {
    if (!m_pStorage) return 0;
    const std::string path(name ? name : "");
    const std::size_t cut = path.rfind(kBackslash);
    if (cut != std::string::npos) {
      IParam* node = OpenParam(path.substr(0, cut).c_str(), 0);
      if (!node) return 0;
      const CHeldRef hold(node);
      return node->GetValue(path.c_str() + cut + 1, out);
    }
    return Guarded(0, [&] {
      IXStream* stream = m_pStorage->OpenStream(path.empty() ? kDefaultName : path.c_str());
      if (!stream) {
        ZRVariantClear(out);
        return 0;
      }
      const CHeldRef hold(stream);
      return stream->ReadVariant(out) ? 1 : 0;
    });
  }

  void SetValue(const char* name, const tagZRVARIANT* value) override {
    if (!m_pStorage) return;
    const std::string path(name ? name : "");
    const std::size_t cut = path.rfind(kBackslash);
    if (cut != std::string::npos) {
      IParam* node = OpenParam(path.substr(0, cut).c_str(), 1);
      if (!node) return;
      const CHeldRef hold(node);
      node->SetValue(path.c_str() + cut + 1, value);
      return;
    }
    Guarded([&] {
      const char* element = path.empty() ? kDefaultName : path.c_str();
      IXStream* stream = m_pStorage->OpenStream(element);
      if (!stream) stream = m_pStorage->CreateStream(element);
      if (!stream) return;
      const CHeldRef hold(stream);
      stream->WriteVariant(value);
    });
  }

  void DeleteValue(const char* name) override {
    if (!m_pStorage) return;
    Guarded([&] { m_pStorage->DestroyStream(name ? name : kDefaultName); });
  }

  void DeleteAllValues() override {
    ForEachName(EnumValues(), [&](const char* name) { DeleteValue(name); });
  }

  CTEnum<const char*>* EnumValues() override {
    if (!m_pStorage) return nullptr;
    return Guarded<CTEnum<const char*>*>(nullptr, [&] { return m_pStorage->EnumStreams(); });
  }

  // Empties the storage, then removes it from its parent storage.
  void Purge() override {
    if (!m_pStorage) return;
    ForEachName(EnumParams(),
                [&](const char* name) { Guarded([&] { m_pStorage->DestroyStorage(name); }); });
    ForEachName(EnumValues(),
                [&](const char* name) { Guarded([&] { m_pStorage->DestroyStream(name); }); });
    Guarded([&] { m_pStorage->Commit(); });
    IXStorage* parent =
        Guarded<IXStorage*>(nullptr, [&] { return m_pStorage->GetParentStorage(); });
    DropStorage();
    if (!parent) return;
    const CHeldRef hold(parent);
    Guarded([&] {
      parent->DestroyStorage(m_name);
      parent->Commit();
    });
  }

 private:
  ~CIXStorParam() override = default;

  // A new node over `storage` (whose reference it takes over), child of
  // this node.
  IParam* Child(const char* name, IXStorage* storage) {
    const CHeldRef hold(storage);
    return Allocating([&] { return new CIXStorParam(name, storage, this); });
  }

  // `step` on the sub-node `first` (made when missing), released after.
  template <class F>
  IParam* Through(const std::string& first, F step) {
    IParam* node = OpenParam(first.c_str(), 1);
    if (!node) return nullptr;
    const CHeldRef hold(node);
    return step(node);
  }

  template <class F>
  static void ForEachName(CTEnum<const char*>* names, F action) {
    if (!names) return;
    const CHeldRef hold(names);
    const char* name = nullptr;
    ULONG fetched = 0;
    while (names->Next(1, &name, &fetched) && fetched == 1) action(name);
  }

  void DropStorage() {
    m_registry.RegisterInterface(nullptr, typeid(IXStorage), 0);
    IXStorage* storage = m_pStorage;
    m_pStorage = nullptr;
    storage->Release();
  }

  CZRInterfaceRegistry m_registry;
  CXString m_name;
  IXStorage* m_pStorage;
};

}  // namespace

}  // namespace zr

IParam* new_IXStorParam(IXStorage* storage) {
  try {
    return new zr::CIXStorParam(zr::kRootName, storage, nullptr);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
