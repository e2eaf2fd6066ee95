// translation/restrans.h - the resource interception's records and module
// patching, for the start-up list, the tools and the white-box tests.
//
// A resource record stands in for the platform's resource handle of a menu,
// a dialog or a string table that a patched module found: the LoadResource
// replacement hands out the record's translated copy. Records are LocalAlloc
// blocks in one circular doubly linked list with a count; they live until
// the library unloads (ResTranslationShutdown). A handle is recognised as a
// record when it is one of the list's records and its marker reads
// 0xFFFFFFFF; Windows reads the marker of any handle it is given, but a
// foreign handle here may point at fewer bytes than a record, so membership
// is checked first.
#pragma once

#include <cstddef>

#include "zr/zrtypes.h"

namespace zr {
class CTranslationTable;
}

namespace zr {

inline constexpr DWORD kResourceRecordMarker = 0xFFFFFFFF;
inline constexpr std::size_t kResourceKeyBytes = 128;

struct ResourceRecord {
  ResourceRecord* next;
  ResourceRecord* prev;
  DWORD marker;     // always kResourceRecordMarker
  int type;         // RT_MENU, RT_DIALOG or RT_STRING
  HMODULE module;   // where the resource was found
  void* platformHandle;  // the platform's HRSRC
  void* loaded;     // the platform's loaded resource, null until loaded
  void* copy;       // the translated copy, null until made
  DWORD size;       // the platform's size, then the copy's
  ULONG keyHash;    // ResourceKeyHash(key)
  char key[kResourceKeyBytes];  // the resource key; empty without a name
};
static_assert(offsetof(ResourceRecord, marker) == 16 && offsetof(ResourceRecord, key) == 64);

// The record of a (module, platform handle) pair, or null.
ResourceRecord* FindRecordOf(HMODULE module, const void* platformHandle);
// A new record at the end of the list with its key (null: empty, cut to
// kResourceKeyBytes) and the key's hash; null when LocalAlloc fails.
ResourceRecord* AddResourceRecord(HMODULE module, const void* platformHandle, int type,
                                  const char* key);
// Whether `data` is some record's translated copy.
bool IsRecordCopy(const void* data);
// Frees every record and its copy (at unload).
void FreeResourceRecords();
// The record behind a handle, or null when it is none.
ResourceRecord* FindResourceRecord(const void* handle);
std::size_t ResourceRecordCount();

// The translated copy of a string-table block (16-bit length-prefixed wide
// strings; a length running past the block is cut to it): each non-empty
// string of at most 1024 characters translated with `key` (8-bit, converted
// to wide text) as context, the others copied. A zero-filled LocalAlloc
// block of the strings' units times 2 plus 16 bytes, its size in *copySize;
// null when memory runs out.
void* TranslateStringTableBlock(CTranslationTable* table, const void* data, DWORD size,
                                const char* key, DWORD* copySize);

// The replacement function of an intercepted platform function (its Win32
// name), or null; for the tests and the tools.
void* ReplacementOf(const char* name);

// Patches / restores one module for every intercepted function.
void PatchModuleForTranslation(HMODULE module);
void RestoreModuleForTranslation(HMODULE module);
// Supp_Init's part: the listed modules that are loaded.
void PatchListedModules();

// Start-up list step: the library patches its own module at load; at unload
// it restores the listed modules (when a dictionary was loaded) and frees
// the records and their copies.
void ResTranslationStartup();
void ResTranslationShutdown();

}  // namespace zr
