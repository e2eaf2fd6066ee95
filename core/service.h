// core/service.h - the service container's classes and its start-up steps
// (library internal; the interfaces and the factory are in zr/service.h).
#pragma once

#include <typeinfo>

#include "zr/service.h"
#include "zr/tenum.h"
#include "zr/tmap.h"
#include "zr/unknown.h"

namespace zr {

// The container's map: a copy of each name, one reference to each service.
using CServiceMap = CTMap<const char*, IZRUnknown*>;

// The number of buckets of a container's map.
inline constexpr ULONG kServiceBuckets = 127;

// The container. It always lives inside a CZRAggObject<CZRServiceContainer>
// (what the factory creates); its IZRUnknown operations, those of both its
// bases, go to the outer: the aggregate itself, or the object it is
// aggregated into.
class CZRServiceContainer : public CZRContainedObject<CZRServiceContainer>, public IZRServiceContainer {
 public:
  CZRServiceContainer();
  // Removes every service (every sink hears OnServiceRemoved), then the map
  // goes.
  ~CZRServiceContainer() override;

  CZRServiceContainer(const CZRServiceContainer&) = delete;
  CZRServiceContainer& operator=(const CZRServiceContainer&) = delete;

  ZR_CONTAINED_UNKNOWN(CZRServiceContainer)

  // The aggregate's lookup of the container's own interfaces: only
  // IZRServiceContainer (the aggregate answers IZRUnknown).
  int InternalQueryInterface(const std::type_info& type, void** out);

  int EnumServices(const std::type_info& type, CTEnum<IZRUnknown*>** out) override;
  int EnumServiceNames(CTEnum<const char*>** out) override;
  int GetService(const char* name, IZRUnknown** out) override;
  int AddService(const char* name, IZRUnknown* service) override;
  int RemoveService(const char* name) override;
  void RemoveAllServices() override;

 private:
  // Calls OnServiceRemoved of `service` if it is a sink.
  void NotifyRemoved(IZRUnknown* service);

  CServiceMap m_services;
  // What sinks receive: queries reach this container, counting does nothing.
  CUnknownInternal m_site;
  // Set while RemoveAllServices tells the sinks: the map's walk must not
  // change under it, so adding and removing are refused meanwhile.
  bool m_bNotifying = false;
};

// Enumerates the services of a container's map that give one interface
// type. Borrows the map: the container must outlive it.
class CServiceEnum : public CZRUnknownImpl<CTEnum<IZRUnknown*>> {
 public:
  CServiceEnum(CServiceMap* map, const std::type_info& type) : m_pMap(map), m_pType(&type) {}

  int Next(ULONG count, IZRUnknown** items, ULONG* fetched) override;
  int Skip(ULONG count) override;
  void Reset() override;

 private:
  CServiceMap* m_pMap;
  const std::type_info* m_pType;
  CServiceMap::CWalk m_walk;
};

// Enumerates the names of a container's map. Borrows the map: the container
// must outlive it.
class CServiceNameEnum : public CZRUnknownImpl<CTEnum<const char*>> {
 public:
  explicit CServiceNameEnum(CServiceMap* map) : m_pMap(map) {}

  int Next(ULONG count, const char** items, ULONG* fetched) override;
  int Skip(ULONG count) override;
  void Reset() override;

 private:
  CServiceMap* m_pMap;
  CServiceMap::CWalk m_walk;
};

// Start-up steps: register the container's class name against the library's
// own module (its factory is found by name among the library's exports), and
// remove it again at shutdown.
void ServiceContainerClassStartup();
void ServiceContainerClassShutdown();

}  // namespace zr
