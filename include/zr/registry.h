// registry.h - the class registry: objects created by class name.
//
// A class name is the name of a class factory function (see PFNZRCLASSFACTORY
// in zr/unknown.h) exported, unmangled (extern "C", default visibility), by
// some module - on this platform a shared object. A module registers its
// classes either by handle, when it is already loaded, or by naming its
// file, which the library loads on the first CreateObject. Names are 8-bit
// and case-sensitive; two names with the same 32-bit hash are one entry. A
// null or empty name is never a class: every function answers 0 for it.
//
// The library registers its own class "CLSID_OFSERVICECONTAINER" (the service
// container, zr/service.h) when it starts and removes it when it shuts down.
// After shutdown the registry is closed: every function answers 0.
//
// No function here throws on its own account: a module file that cannot be
// found, a module that cannot be loaded, a missing export and running out of
// memory while registering all give 0. Exceptions thrown by a factory pass
// through CreateObject unchanged. Modules loaded by the registry are never
// unloaded. The registry has no lock: register, unregister and create from
// start-up code or under the caller's serialisation.
#pragma once

#include <typeinfo>

#include "zr/unknown.h"

// Registers `name` as exported by the module file `moduleFile`, searched for
// at once: a path with a slash is taken as given; a bare name is looked for
// in the program's folder, the current folder, the folders of
// LD_LIBRARY_PATH and the system library folders, as given and with ".so"
// appended. The module is loaded on the first CreateObject, so a module that
// cannot load is only noticed then. 1 on success and when the name is
// already registered (the first registration stays, whatever its module); 0
// when the file is not found.
ZR_API int RegisterObject(const char* name, const char* moduleFile);

// Registers `name` as exported by the loaded `module` (a module handle: the
// load address of its image). 1 on success and when the name is already
// registered; 0 when the module is null or does not export `name`.
ZR_API int RegisterObject(const char* name, HINSTANCE module);

// 1 if the registration was removed; 0 if the name was not registered. A
// module loaded for it stays loaded.
ZR_API int UnregisterObject(const char* name);

// 1 if `name` is registered.
ZR_API int IsRegisterObject(const char* name);

// Creates an object of class `name`: loads its module and resolves its
// factory on first use, then returns the factory's result for (outer, type,
// out), so *out holds the new object's `type` interface with one reference
// for the caller. *out is null on failure (set before anything else); 0 for
// an unregistered name, a module that cannot be loaded (tried again on every
// call) or a module that lacks the export (remembered: every later call
// answers 0 at once, and the module stays loaded). With a non-null outer the
// factory aggregates the object and only IZRUnknown may be asked for. A null
// out only asks whether the class gives `type` (the object is created and
// destroyed again).
ZR_API int CreateObject(const char* name, IZRUnknown* outer, const std::type_info& type,
                        IZRUnknown** out);

// CreateObject under an unmangled name, for callers that cannot link the
// decorated one.
extern "C" ZR_API int CreateObjectC(const char* name, IZRUnknown* outer,
                                    const std::type_info& type, IZRUnknown** out);
