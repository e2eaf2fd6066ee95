// pal/user/resource.cpp - module resources over the images modules export.
#include "pal/user/resource.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/module.h"
#include "pal/user/resfile.h"
#include "pal/user/resname.h"

namespace zrpal {

namespace {

// How many modules have been unloaded from the process so far, or
// kUnloadsUnknown when the loader cannot tell (OS-specific,
// posix/resource.inc).
constexpr unsigned long long kUnloadsUnknown = ~0ull;
unsigned long long UnloadCount();

enum class ImageState : BYTE { kNoModule, kNone, kCorrupt, kOk };

// One module's image as last checked. Invariant: image is empty unless state
// is kOk (an empty image with kOk is one without resources).
struct ImageSlot {
  HMODULE module;
  res::ResourceImage image;
  ImageState state;
  unsigned long long unloads;  // UnloadCount() when checked
  unsigned long long lastUse;  // for replacing the least recently used slot
};

// Processes have few modules with resources; when more are in use than
// there are slots, the least recently used one is checked again on its
// next use.
constexpr std::size_t kSlotCount = 32;
constinit ImageSlot g_slots[kSlotCount] = {};
constinit unsigned long long g_useCounter = 0;
constinit std::mutex g_slotsLock;

ImageSlot Discover(HMODULE module) {
  ImageSlot slot{module, res::ResourceImage(), ImageState::kNone, 0, 0};
  const FARPROC image = GetProcAddress(module, kResourceImageSymbol);
  if (!image) {
    if (GetLastError() != ERROR_PROC_NOT_FOUND) slot.state = ImageState::kNoModule;
    return slot;
  }
  const FARPROC size = GetProcAddress(module, kResourceImageSizeSymbol);
  slot.state = ImageState::kCorrupt;  // an image without its size cannot be checked
  if (!size) return slot;
  std::size_t bytes;
  std::memcpy(&bytes, reinterpret_cast<const void*>(size), sizeof bytes);
  if (res::ResourceImage::Open(reinterpret_cast<const void*>(image), bytes, &slot.image) ==
      res::Status::kOk)
    slot.state = ImageState::kOk;
  return slot;
}

// The checked image of `module` (null: the executable); false with the last
// error set when there is none.
bool ImageOf(HMODULE module, res::ResourceImage* out) {
  if (!module) {
    module = GetModuleHandleW(nullptr);
    if (!module) return false;
  }
  const unsigned long long unloads = UnloadCount();
  ImageSlot slot{};
  bool cached = false;
  {
    std::lock_guard<std::mutex> hold(g_slotsLock);
    for (ImageSlot& s : g_slots) {
      if (s.module == module && s.unloads == unloads && unloads != kUnloadsUnknown) {
        s.lastUse = ++g_useCounter;
        slot = s;
        cached = true;
        break;
      }
    }
  }
  if (!cached) {
    // Looked up without the lock: the loader takes its own locks, and a
    // module's constructor may be loading strings while holding them.
    slot = Discover(module);
    slot.unloads = unloads;
  }
  // A handle that is no module is not remembered: a module may be loaded
  // there later without any unloading.
  if (!cached && slot.state != ImageState::kNoModule) {
    std::lock_guard<std::mutex> hold(g_slotsLock);
    ImageSlot* target = std::find_if(std::begin(g_slots), std::end(g_slots),
                                     [&](const ImageSlot& s) { return s.module == module; });
    if (target == std::end(g_slots)) {
      target = std::min_element(std::begin(g_slots), std::end(g_slots),
                                [](const ImageSlot& a, const ImageSlot& b) {
                                  return a.lastUse < b.lastUse;
                                });
    }
    slot.lastUse = ++g_useCounter;
    *target = slot;
  }
  switch (slot.state) {
    case ImageState::kNoModule:
      SetLastError(ERROR_MOD_NOT_FOUND);
      return false;
    case ImageState::kNone:
      SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
      return false;
    case ImageState::kCorrupt:
      SetLastError(ERROR_INVALID_DATA);
      return false;
    case ImageState::kOk:
      break;
  }
  *out = slot.image;
  return true;
}

bool RecordOf(HMODULE module, HRSRC resource, res::ResourceRecord* out) {
  res::ResourceImage image;
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (!ImageOf(module, &image)) return false;
  if (!image.RecordAt(resource, out)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

bool FindRecord(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language,
                res::ResourceRecord* out) {
  res::ResourceImage image;
  if (!ImageOf(module, &image)) return false;
  res::FindError error;
  if (!image.Find(res::ResourceKey(type), res::ResourceKey(name), language, out, &error)) {
    SetLastError(static_cast<DWORD>(error));
    return false;
  }
  return true;
}

// String `id` of the module's string tables.
bool FindString(HINSTANCE instance, UINT id, res::StringEntry* out) {
  const WORD block = static_cast<WORD>(((id & 0xFFFF) >> 4) + 1);
  res::ResourceRecord record;
  if (!FindRecord(instance, MAKEINTRESOURCEW(RT_STRING), MAKEINTRESOURCEW(block),
                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &record))
    return false;
  if (!res::FindStringInBlock(record.Data(), record.DataSize(), id % res::kStringsPerBlock, out)) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  return true;
}

}  // namespace

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  return FindResourceExW(module, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  res::ResourceRecord record;
  if (!FindRecord(module, type, name, language, &record)) return nullptr;
  return reinterpret_cast<HRSRC>(const_cast<BYTE*>(record.Start()));
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  return FindResourceExA(module, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
  WideResourceName wideType(type);
  WideResourceName wideName(name);
  if (!wideType.Ok() || !wideName.Ok()) return nullptr;
  return FindResourceExW(module, wideType.Get(), wideName.Get(), language);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  res::ResourceRecord record;
  if (!RecordOf(module, resource, &record)) return nullptr;
  return const_cast<BYTE*>(record.Data());
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  res::ResourceRecord record;
  if (!RecordOf(module, resource, &record)) return 0;
  return record.DataSize();
}

BOOL FreeResource(HGLOBAL) { return FALSE; }

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int cchBufferMax) {
  if (!buffer || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  res::StringEntry entry;
  if (!FindString(instance, id, &entry)) {
    if (cchBufferMax > 0) buffer[0] = 0;
    return 0;
  }
  if (cchBufferMax == 0) {
    // The buffer receives a pointer; it need not be aligned for one.
    std::memcpy(buffer, &entry.text, sizeof entry.text);
    return entry.length;
  }
  const int n = std::min<int>(entry.length, cchBufferMax - 1);
  std::memcpy(buffer, entry.text, static_cast<std::size_t>(n) * sizeof(WCHAR));
  buffer[n] = 0;
  return n;
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int cchBufferMax) {
  if (!buffer || cchBufferMax <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  res::StringEntry entry;
  if (!FindString(instance, id, &entry)) {
    buffer[0] = 0;
    return 0;
  }
  return WideToAnsiTerminated(entry.text, entry.length, buffer, cchBufferMax);
}

void ForgetResourceImages() {
  std::lock_guard<std::mutex> hold(g_slotsLock);
  for (ImageSlot& s : g_slots) s = ImageSlot{};
}

}  // namespace zrpal

#include "pal/user/posix/resource.inc"
