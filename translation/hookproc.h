// translation/hookproc.h - the one entry point through which resource
// interception patches a module for one platform function, whatever the
// module's image (PE32+ import address table or ELF GOT).
#pragma once

#include "zr/zrtypes.h"

namespace zr {

// What patching a module for one function found.
enum class InterceptResult {
  kPatched,       // the walk finished; the slots that held the platform function now hold the replacement
  kNoFunction,    // the library is not loaded or does not export the function
  kUnknownImage,  // neither a PE32+ image nor a loaded ELF object
  kFailed,        // a damaged image or a page that could not be made writable
};

// Resolves `functionName` of `libraryName` (GetModuleHandleA,
// GetProcAddress) into *platformEntry and replaces every import slot of
// `module` that holds it with `replacement`: the PE32+ import address table
// when the module's image is PE32+, else the GOT of the loaded ELF object at
// that handle. The replacement is remembered for RestoreImport.
InterceptResult InterceptImport(HMODULE module, const char* libraryName, const char* functionName,
                                void* replacement, void** platformEntry);

// The reverse: slots holding `replacement` (or, with a null replacement, the
// one InterceptImport remembered for this module and function) get the
// platform's entry point back.
InterceptResult RestoreImport(HMODULE module, const char* libraryName, const char* functionName,
                              void* replacement);

}  // namespace zr
