// pal/codepage_table.cpp - conversion tables and their process-wide cache.
#include "pal/internal/codepage_table.h"

#include <atomic>
#include <cassert>
#include <mutex>

#include "pal/error.h"
#include "pal/wstr.h"

namespace zrpal {

CodePageTable::CodePageTable(const CodePageInfo& info)
    : info_(&info),
      unicodeDefault_(info.kind == CodePageKind::kDoubleByte ? WCHAR{0x30FB} : WCHAR{0xFFFD}) {
  assert(info.kind != CodePageKind::kUtf8);
  unsigned rows = 0;
  for (unsigned b = 0; b < 256; ++b) {
    single_[b] = kNone;
    rowOf_[b] = IsLeadByteOf(info, b) ? static_cast<BYTE>(++rows) : BYTE{0};
  }
  // At most 0x81-0xFE are lead bytes, so row numbers fit a byte.
  assert(rows < 256);
  if (rows) {
    pairs_ = std::make_unique<WCHAR[]>(rows * 256u);
    for (unsigned i = 0; i < rows * 256u; ++i) pairs_[i] = kNone;
  }
}

void CodePageTable::SetEncode(WCHAR unit, WORD bytes) {
  std::unique_ptr<WORD[]>& row = encodeRows_[unit >> 8];
  if (!row) row = std::make_unique<WORD[]>(256);  // zero-filled: "no bytes"
  row[unit & 0xFF] = bytes;
}

void CodePageTable::AddReverseMappings() {
  for (unsigned b = 1; b < 256; ++b) {
    const WCHAR unit = single_[b];
    if (unit != kNone && unit != 0 && Encode(unit) == 0) SetEncode(unit, static_cast<WORD>(b));
  }
  for (unsigned lead = 0; lead < 256; ++lead) {
    if (!rowOf_[lead]) continue;
    for (unsigned trail = 1; trail < 256; ++trail) {
      const WCHAR unit = Pair(static_cast<BYTE>(lead), static_cast<BYTE>(trail));
      if (unit != kNone && unit != 0 && Encode(unit) == 0)
        SetEncode(unit, static_cast<WORD>(lead << 8 | trail));
    }
  }
}

namespace {

// One slot per registry entry. A slot holds null (not built yet), a table, or
// the address of g_unavailable (the build failed). Slots are written only
// under g_tablesLock; readers load them without it.
constinit std::atomic<const CodePageTable*> g_tables[kCodePageCount] = {};
constinit std::mutex g_tablesLock;
// Only its address is used.
constinit char g_unavailable = 0;

const CodePageTable* Unavailable() { return reinterpret_cast<const CodePageTable*>(&g_unavailable); }

std::size_t SlotOf(const CodePageInfo& info) {
  const std::size_t slot = static_cast<std::size_t>(&info - kCodePages);
  assert(slot < kCodePageCount);
  return slot;
}

}  // namespace

const CodePageTable* CodePageTableFor(const CodePageInfo& info) {
  std::atomic<const CodePageTable*>& slot = g_tables[SlotOf(info)];
  const CodePageTable* table = slot.load(std::memory_order_acquire);
  if (!table) {
    std::lock_guard<std::mutex> hold(g_tablesLock);
    table = slot.load(std::memory_order_relaxed);
    if (!table) {
      std::unique_ptr<CodePageTable> built =
          info.kind == CodePageKind::kUtf8 ? nullptr : BuildCodePageTable(info);
      table = built ? built.release() : Unavailable();
      slot.store(table, std::memory_order_release);
    }
  }
  if (table == Unavailable()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return table;
}

void ReleaseCodePageTables() {
  std::lock_guard<std::mutex> hold(g_tablesLock);
  for (std::atomic<const CodePageTable*>& slot : g_tables) {
    const CodePageTable* table = slot.exchange(nullptr, std::memory_order_acq_rel);
    if (table != Unavailable()) delete table;
  }
}

}  // namespace zrpal

#include "pal/posix/codepage_table.inc"
