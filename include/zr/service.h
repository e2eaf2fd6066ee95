// service.h - the service container: a named collection of objects that the
// modules of a program share.
//
// A module adds its objects (services) under names; others look them up by
// name or enumerate those that give a wanted interface. A service that
// implements IZRServiceSink hears when it enters and leaves a container and
// receives the container's site: a non-counting unknown whose QueryInterface
// reaches the container (ask it for IZRServiceContainer to reach the
// service's siblings, and release what it gives), while its AddRef and
// Release do nothing. The site is valid only while the container lives; it
// cannot keep the container alive, so a service that holds it creates no
// reference cycle.
//
// The container is the library's own registered class: create it with
//   CreateObject("CLSID_OFSERVICECONTAINER", outer, typeid(IZRServiceContainer), &out)
// (zr/registry.h) or by calling the exported factory CLSID_OFSERVICECONTAINER
// below. It supports aggregation: with an outer, only IZRUnknown may be asked
// for, and the caller receives the container's own (non-delegating) unknown,
// which it keeps for the outer's life; every other interface pointer of the
// container then shares the outer's count and identity.
//
// Names are 8-bit and compared through the 32-bit hash of their bytes: they
// are case-sensitive, and two names with the same hash name the same service.
// A null name names no service. The container holds one reference to each
// service from AddService until the service is removed, all services are
// removed, or the container is destroyed (its last Release removes every
// service, telling each sink). It has no lock: its users serialise access.
// No operation throws on its own account, except that running out of memory
// throws CXBadAlloc (AddService then adds nothing); exceptions
// thrown by a service's own operations pass through.
#pragma once

#include <typeinfo>

#include "zr/tenum.h"
#include "zr/unknown.h"

// The container. Its operations follow IZRUnknown's, in this table order,
// which is fixed.
class ZR_API IZRServiceContainer : public IZRUnknown {
 public:
  // Slot 3: *out = a new enumerator of the services that give `type`: each
  // item is that interface of one service, with a reference the caller
  // releases. Services are met in the container's map order (buckets in
  // ascending order, each chain newest first). Next passes over services
  // that lack the type; Skip(n) passes over services that give it until n
  // were counted, and the first one that lacks it ends the skip (it is passed
  // over too); Skip answers whether any were counted. After the last service
  // the enumerator is back at its start: stop at the first Next that
  // delivers fewer items than asked. *out is null when the enumerator cannot
  // be allocated. Always 1.
  //
  // An enumerator borrows the container's map and does not keep the
  // container alive: release it before the container, and do not remove the
  // service it stands on while enumerating.
  virtual int EnumServices(const std::type_info& type, CTEnum<IZRUnknown*>** out) = 0;

  // Slot 4: *out = a new enumerator of the service names, in map order. The
  // names are borrowed: each stays valid while its service is in the
  // container. Skip(n) passes over n names and answers whether any were
  // passed. The same lifetime rules as EnumServices; always 1.
  virtual int EnumServiceNames(CTEnum<const char*>** out) = 0;

  // Slot 5: 1 if a service of that name exists; then *out, when out is
  // non-null, receives it with one reference for the caller. With out null
  // the call only reports presence and adds no reference. *out is null when
  // there is no such service.
  virtual int GetService(const char* name, IZRUnknown** out) = 0;

  // Slot 6: adds `service` under a copy of `name` and keeps one reference to
  // it; then, if the service gives IZRServiceSink, calls its OnServiceAdded
  // with the container's site. 1 when added; 0, with nothing changed and no
  // call made, when the name is taken (the first service stays), when the
  // name or the service is null, and while RemoveAllServices is telling the
  // sinks (the container is being emptied).
  virtual int AddService(const char* name, IZRUnknown* service) = 0;

  // Slot 7: removes the service of that name; then, if it gives
  // IZRServiceSink, calls its OnServiceRemoved with the site while the
  // container still holds a reference for the call, so the service is alive
  // throughout and is destroyed afterwards if the container's reference was
  // its last. 1 when removed; 0 when absent, and while RemoveAllServices is
  // telling the sinks.
  virtual int RemoveService(const char* name) = 0;

  // Slot 8: tells every sink OnServiceRemoved, in map order, while all
  // services are still in the container (GetService finds them; AddService
  // and RemoveService answer 0 meanwhile), then removes every service,
  // releasing the container's references. The container stays usable and is
  // empty after.
  virtual void RemoveAllServices() = 0;

 protected:
  ~IZRServiceContainer() = default;
};

// Implemented by services that want to hear when they enter and leave a
// container. `site` is the container's site (see above), borrowed.
class ZR_API IZRServiceSink : public IZRUnknown {
 public:
  // Slot 3: the service was added to the container of `site`.
  virtual void OnServiceAdded(IZRUnknown* site) = 0;
  // Slot 4: the service was removed from the container of `site`.
  virtual void OnServiceRemoved(IZRUnknown* site) = 0;

 protected:
  ~IZRServiceSink() = default;
};

// The class factory of the service container, exported under this unmangled
// name so that the class registry finds it by the class name (outer, type,
// out as PFNZRCLASSFACTORY in zr/unknown.h). With an outer, any type but
// IZRUnknown gives 0 and creates nothing, leaving *out untouched. 0 with *out
// null when memory runs out.
extern "C" ZR_API int CLSID_OFSERVICECONTAINER(IZRUnknown* outer, const std::type_info& type,
                                               void** out);
