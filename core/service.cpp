// core/service.cpp - the service container, its factory and the
// registration of its class.
#include "core/service.h"

#include <new>

#include "base/heldref.h"
#include "base/module_state.h"
#include "zr/registry.h"

namespace zr {

namespace {

// The class name of the container, and the name of its exported factory.
constexpr char kServiceContainerClass[] = "CLSID_OFSERVICECONTAINER";

static_assert(std::is_same_v<decltype(&CLSID_OFSERVICECONTAINER), PFNZRCLASSFACTORY>,
              "the factory has the class factory shape");

// The sink interface of `service`, with a reference, or null.
IZRServiceSink* SinkOf(IZRUnknown* service) {
  void* sink = nullptr;
  if (!service->QueryInterface(typeid(IZRServiceSink), &sink)) return nullptr;
  return static_cast<IZRServiceSink*>(sink);
}

// Stands in for the outer while a container is destroyed. The outer's count
// is 0 by then, yet sinks told of their removal may query the site (to reach
// a sibling) and release what they got: through the real outer that would
// count up from 0 and destroy it a second time. This one answers the
// container's interfaces and counts nothing.
class CClosingOuter final : public IZRUnknown {
 public:
  explicit CClosingOuter(CZRServiceContainer* container) : m_pContainer(container) {}
  ULONG Release() override { return 0; }
  ULONG AddRef() override { return 0; }
  int QueryInterface(const std::type_info& type, void** out) override {
    if (type == typeid(IZRUnknown)) {
      if (out) *out = static_cast<IZRUnknown*>(this);
      return 1;
    }
    return m_pContainer->InternalQueryInterface(type, out);
  }

 private:
  CZRServiceContainer* m_pContainer;
};

}  // namespace

CZRServiceContainer::CZRServiceContainer()
    : m_services(kServiceBuckets), m_site(static_cast<IZRServiceContainer*>(this)) {
  // Take the buckets now, so that lookups and removals never allocate (and
  // never throw) later.
  m_services.Find("");
}

CZRServiceContainer::~CZRServiceContainer() {
  CClosingOuter closing(this);
  SetOuter(&closing);
  try {
    RemoveAllServices();
  } catch (...) {
    // A sink's exception cannot leave a destructor. The sinks after it are
    // not told; the map still releases every service below.
  }
  SetOuter(nullptr);
}

int CZRServiceContainer::InternalQueryInterface(const std::type_info& type, void** out) {
  if (type != typeid(IZRServiceContainer)) {
    if (out) *out = nullptr;
    return 0;
  }
  if (out) {
    auto* self = static_cast<IZRServiceContainer*>(this);
    *out = self;
    self->AddRef();  // reaches the outer
  }
  return 1;
}

int CZRServiceContainer::EnumServices(const std::type_info& type, CTEnum<IZRUnknown*>** out) {
  if (out) *out = new (std::nothrow) CServiceEnum(&m_services, type);
  return 1;
}

int CZRServiceContainer::EnumServiceNames(CTEnum<const char*>** out) {
  if (out) *out = new (std::nothrow) CServiceNameEnum(&m_services);
  return 1;
}

int CZRServiceContainer::GetService(const char* name, IZRUnknown** out) {
  if (out) *out = nullptr;
  if (!name) return 0;
  IZRUnknown* service = nullptr;
  if (!m_services.Lookup(name, service)) return 0;
  if (out) {
    service->AddRef();
    *out = service;
  }
  return 1;
}

int CZRServiceContainer::AddService(const char* name, IZRUnknown* service) {
  if (!name || !service || m_bNotifying) return 0;
  if (GetService(name, nullptr)) return 0;
  if (!m_services.Set(name, service)) return 0;  // the map adds its reference
  if (IZRServiceSink* sink = SinkOf(service)) {
    CHeldRef held(sink);
    sink->OnServiceAdded(&m_site);
  }
  return 1;
}

int CZRServiceContainer::RemoveService(const char* name) {
  if (!name || m_bNotifying) return 0;
  IZRUnknown* service = nullptr;
  if (!m_services.Lookup(name, service)) return 0;
  // The map's reference goes with the entry; this one keeps the service
  // alive until its sink has been told.
  service->AddRef();
  CHeldRef held(service);
  m_services.Remove(name);
  NotifyRemoved(service);
  return 1;
}

void CZRServiceContainer::RemoveAllServices() {
  if (m_bNotifying) return;
  m_bNotifying = true;
  try {
    CServiceMap::CWalk walk;
    // The walk ends at the map's end, or when the map is closed meanwhile.
    while (!m_services.IsClosed()) {
      const CServiceMap::CAssoc* e = walk.MoveNext(m_services);
      if (!e) break;
      NotifyRemoved(e->value);
    }
  } catch (...) {
    m_bNotifying = false;
    throw;
  }
  m_bNotifying = false;
  m_services.RemoveAll();
}

void CZRServiceContainer::NotifyRemoved(IZRUnknown* service) {
  if (IZRServiceSink* sink = SinkOf(service)) {
    CHeldRef held(sink);
    sink->OnServiceRemoved(&m_site);
  }
}

void ServiceContainerClassStartup() { RegisterObject(kServiceContainerClass, LibraryModule()); }

void ServiceContainerClassShutdown() { UnregisterObject(kServiceContainerClass); }

}  // namespace zr

extern "C" int CLSID_OFSERVICECONTAINER(IZRUnknown* outer, const std::type_info& type, void** out) {
  try {
    return ZRCreateAggregate<zr::CZRServiceContainer>(outer, type, out);
  } catch (const std::bad_alloc&) {
    if (out) *out = nullptr;
    return 0;
  }
}
