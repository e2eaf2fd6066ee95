// core/registry.h - the class registry's start-up and shutdown steps
// (library internal; the exported functions are in zr/registry.h).
#pragma once

namespace zr {

// The number of buckets of the registry's map, fixed for its life.
inline constexpr unsigned kRegistryBuckets = 1397;

// Builds the registry's map in its static storage (its buckets come with the
// first registration).
void RegistryStartup();

// Destroys the map with every entry and closes the registry: from then on
// every registry function answers 0. Loaded modules stay loaded.
void RegistryShutdown();

}  // namespace zr
