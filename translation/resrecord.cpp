// translation/resrecord.cpp - the resource records and the string-table
// rewriter (see restrans.h).
//
// Invariants: the records form one circular doubly linked list headed by
// g_records with g_recordCount members; every walk is bounded by the count;
// a record is unlinked only by FreeResourceRecords, at unload.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pal/security/security.h"
#include "pal/user/resource.h"
#include "translation/lookup.h"
#include "translation/resource_key.h"
#include "translation/restrans.h"
#include "translation/table.h"

namespace zr {

namespace {

constexpr int kStringTableTextMax = 1024;
constexpr std::size_t kStringsPerBlock = 16;

ResourceRecord* g_records = nullptr;  // the list's first record
std::size_t g_recordCount = 0;

}  // namespace

ResourceRecord* FindRecordOf(HMODULE module, const void* platformHandle) {
  ResourceRecord* r = g_records;
  for (std::size_t i = 0; i < g_recordCount; ++i, r = r->next)
    if (r->module == module && r->platformHandle == platformHandle) return r;
  return nullptr;
}

ResourceRecord* AddResourceRecord(HMODULE module, const void* platformHandle, int type,
                                  const char* key) {
  auto* r = static_cast<ResourceRecord*>(zrpal::LocalAlloc(zrpal::LPTR, sizeof(ResourceRecord)));
  if (!r) return nullptr;
  r->marker = kResourceRecordMarker;
  r->type = type;
  r->module = module;
  r->platformHandle = const_cast<void*>(platformHandle);
  if (key) CXString(key).CopyFit(r->key, kResourceKeyBytes);
  r->keyHash = ResourceKeyHash(r->key);
  if (!g_records) {
    r->next = r->prev = r;
    g_records = r;
  } else {
    r->next = g_records;
    r->prev = g_records->prev;
    g_records->prev->next = r;
    g_records->prev = r;
  }
  ++g_recordCount;
  return r;
}

bool IsRecordCopy(const void* data) {
  ResourceRecord* r = g_records;
  for (std::size_t i = 0; i < g_recordCount; ++i, r = r->next)
    if (data && r->copy == data) return true;
  return false;
}

void FreeResourceRecords() {
  ResourceRecord* r = g_records;
  for (std::size_t i = 0; i < g_recordCount; ++i) {
    ResourceRecord* next = r->next;
    // String-table copies are LocalAlloc blocks, dialog copies malloc ones.
    if (r->type == zrpal::RT_STRING)
      zrpal::LocalFree(r->copy);
    else
      std::free(r->copy);
    zrpal::LocalFree(r);
    r = next;
  }
  g_records = nullptr;
  g_recordCount = 0;
}

ResourceRecord* FindResourceRecord(const void* handle) {
  if (!handle) return nullptr;
  ResourceRecord* r = g_records;
  for (std::size_t i = 0; i < g_recordCount; ++i, r = r->next)
    if (r == handle) return r->marker == kResourceRecordMarker ? r : nullptr;
  return nullptr;
}

std::size_t ResourceRecordCount() { return g_recordCount; }

void* TranslateStringTableBlock(CTranslationTable* table, const void* data, DWORD size,
                                const char* key, DWORD* copySize) {
  *copySize = 0;
  if (!data) return nullptr;
  const CXStringW context(key);
  const auto* units = static_cast<const WORD*>(data);
  const std::size_t count = size / sizeof(WORD);
  struct Piece {
    std::size_t at;
    std::size_t length;
    int translated;  // the translation's length, or -1
  };
  // First pass: measure. A length prefix that runs past the block's end is
  // cut to it; at most the block's 16 strings are read.
  std::vector<Piece> pieces;
  std::size_t total = 0;
  for (std::size_t i = 0; i < count && pieces.size() < kStringsPerBlock;) {
    const std::size_t length = std::min<std::size_t>(units[i], count - i - 1);
    Piece p{i + 1, length, -1};
    if (length > 0 && length <= kStringTableTextMax) {
      std::u16string text(reinterpret_cast<const WCHAR*>(units + i + 1), length);
      const int measured = TranslateWithContextW(table, text.data(), 0, context, true);
      if (measured > 0 && measured <= 0xFFFF) p.translated = measured;
    }
    total += 1 + (p.translated >= 0 ? static_cast<std::size_t>(p.translated) : length);
    pieces.push_back(p);
    i += 1 + length;
  }
  // Second pass: copy, translated where a translation exists.
  const std::size_t bytes = total * sizeof(WCHAR) + 16;
  auto* out = static_cast<WCHAR*>(zrpal::LocalAlloc(zrpal::LPTR, bytes));
  if (!out) return nullptr;
  std::size_t o = 0;
  for (const Piece& p : pieces) {
    const auto* source = reinterpret_cast<const WCHAR*>(units + p.at);
    std::size_t n = p.length;
    std::vector<WCHAR> buffer(std::max<std::size_t>(p.length, p.translated < 0 ? 0 : p.translated) + 1, 0);
    std::memcpy(buffer.data(), source, p.length * sizeof(WCHAR));
    if (p.translated >= 0) {
      const int length = TranslateWithContextW(table, buffer.data(), static_cast<int>(buffer.size()),
                                               context, false);
      n = std::min<std::size_t>(static_cast<std::size_t>(std::max(length, 0)),
                                static_cast<std::size_t>(p.translated));
    }
    out[o++] = static_cast<WCHAR>(n);
    std::memcpy(out + o, buffer.data(), n * sizeof(WCHAR));
    o += n;
  }
  *copySize = static_cast<DWORD>(bytes);
  return out;
}

}  // namespace zr
