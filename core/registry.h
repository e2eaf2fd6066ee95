// core/registry.h - the class registry's start-up and shutdown steps
// (library internal; the exported functions are in zr/registry.h).
#pragma once

#include <type_traits>

#include "zr/zrtypes.h"

namespace zr {

// The number of buckets of the registry's map, fixed for its life.
inline constexpr unsigned kRegistryBuckets = 1397;

// Builds the registry's map in its static storage (its buckets come with the
// first registration).
void RegistryStartup();

// Destroys the map with every entry and closes the registry: from then on
// every registry function answers 0. Loaded modules stay loaded.
void RegistryShutdown();

// One registered class as the registry holds it.
struct RegisteredClass {
  const char* name;        // the registry's own copy of the class name
  const char* modulePath;  // the module file found at registration; "" when registered by handle
  HMODULE module;          // null until the module is loaded
};

// Calls `visit(entry, context)` for every registered class, in the map's
// order (buckets ascending, the newest entry of a bucket first). `visit`
// must not register or remove classes. Visits nothing before start-up or
// after shutdown.
void ForEachRegisteredClass(void (*visit)(const RegisteredClass& entry, void* context),
                            void* context);

// The same with a callable taking the entry.
template <class F>
void ForEachRegisteredClass(F&& visit) {
  using Visitor = std::remove_reference_t<F>;
  ForEachRegisteredClass(
      [](const RegisteredClass& entry, void* context) { (*static_cast<Visitor*>(context))(entry); },
      &visit);
}

}  // namespace zr
