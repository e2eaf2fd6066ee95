// Fuzzes private heaps and the IHeap layer with random sequences of create,
// alloc, realloc (growing and shrinking, in place or not), free, size and
// destroy, checked against a model that keeps every live block's bytes:
//  - HeapSize answers the size asked for; contents survive every realloc up
//    to the smaller size; HEAP_ZERO_MEMORY zeroes exactly the new bytes;
//  - HEAP_REALLOC_IN_PLACE_ONLY keeps the address or fails with
//    ERROR_NOT_ENOUGH_MEMORY leaving the block as it was;
//  - a small block freed twice, or freed on another heap, is refused with
//    ERROR_INVALID_PARAMETER (pal/heap.h's promise, also for a large block
//    shrunk to a small size); unknown flags are refused;
//  - IHeap blocks are zero-filled, keep their contents through Realloc and
//    are freed through any heap object.
// Sizes cluster around the class limits: tiny, near 32 KiB with the header,
// and large blocks with mappings of their own.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/check.h"
#include "pal/error.h"
#include "pal/heap.h"
#include "pal/internal/heap_blocks.h"
#include "zr/exception.h"
#include "zr/heap.h"

namespace {

using namespace zrpal;

constexpr std::size_t kMaxHeaps = 3;
constexpr std::size_t kMaxBlocks = 24;
constexpr SIZE_T kLargestSmall = heap::kMaxSmallSlot - sizeof(heap::BlockHeader);

struct Block {
  bool layer;          // an IHeap block (else a platform heap's)
  std::size_t heap;    // index into the heaps of its kind
  unsigned char* p;
  std::vector<unsigned char> bytes;  // the model
};

SIZE_T SizeFrom(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return in.ConsumeIntegralInRange<SIZE_T>(0, 300);
    case 1: return kLargestSmall - 8 + in.ConsumeIntegralInRange<SIZE_T>(0, 16);
    case 2: return in.ConsumeIntegralInRange<SIZE_T>(kLargestSmall, kLargestSmall + 9000);
    default: return in.ConsumeIntegralInRange<SIZE_T>(0, 4096);
  }
}

bool IsSmall(SIZE_T size) { return size <= kLargestSmall; }

// The seed byte everywhere, and every 97th byte its position: cheap to
// write, and a block moved by the wrong offset still differs.
void Fill(Block& b, unsigned char seed) {
  if (b.bytes.empty()) return;
  std::memset(b.bytes.data(), seed, b.bytes.size());
  for (std::size_t i = 0; i < b.bytes.size(); i += 97) b.bytes[i] = static_cast<unsigned char>(i / 97);
  std::memcpy(b.p, b.bytes.data(), b.bytes.size());
}

void Verify(const Block& b) {
  Check(b.bytes.empty() || std::memcmp(b.p, b.bytes.data(), b.bytes.size()) == 0);
}

class Session {
 public:
  explicit Session(FuzzedDataProvider& in) : in_(in) {}

  ~Session() {
    // Destroying a heap frees its blocks; IHeap blocks go one by one or
    // with their heap's last release.
    for (const Block& b : blocks_) {
      Verify(b);
      if (b.layer && in_.ConsumeBool()) Check(layers_[b.heap]->Free(b.p) != 0);
    }
    for (HANDLE h : heaps_) Check(HeapDestroy(h));
    for (IHeap* h : layers_) h->Release();
  }

  void Step() {
    switch (in_.ConsumeIntegralInRange<int>(0, 9)) {
      case 0: Create(); break;
      case 1: Destroy(); break;
      case 2: case 3: Alloc(); break;
      case 4: case 5: ReAlloc(); break;
      case 6: Free(); break;
      case 7: LayerAlloc(); break;
      case 8: LayerRealloc(); break;
      default: LayerFree(); break;
    }
  }

 private:
  void Create() {
    if (heaps_.size() < kMaxHeaps) {
      const DWORD options = in_.ConsumeBool() ? HEAP_NO_SERIALIZE : 0;
      HANDLE h = HeapCreate(options, SizeFrom(in_), 0);
      Check(h != nullptr);
      heaps_.push_back(h);
    }
    if (layers_.size() < 2 && in_.ConsumeBool()) layers_.push_back(new_MemoryHeap(SizeFrom(in_)));
    // Flags nobody knows are refused.
    SetLastError(0);
    Check(HeapCreate(HEAP_GENERATE_EXCEPTIONS, 0, 0) == nullptr && GetLastError() == ERROR_INVALID_PARAMETER);
  }

  void Destroy() {
    if (heaps_.empty()) return;
    const std::size_t i = in_.ConsumeIntegralInRange<std::size_t>(0, heaps_.size() - 1);
    for (const Block& b : blocks_)
      if (!b.layer && b.heap == i) Verify(b);
    Check(HeapDestroy(heaps_[i]));
    heaps_.erase(heaps_.begin() + static_cast<std::ptrdiff_t>(i));
    std::vector<Block> kept;
    for (Block& b : blocks_) {
      if (!b.layer && b.heap == i) continue;
      if (!b.layer && b.heap > i) --b.heap;
      kept.push_back(std::move(b));
    }
    blocks_.swap(kept);
  }

  Block* Pick(bool layer) {
    std::vector<std::size_t> of;
    for (std::size_t i = 0; i < blocks_.size(); ++i)
      if (blocks_[i].layer == layer) of.push_back(i);
    if (of.empty()) return nullptr;
    return &blocks_[of[in_.ConsumeIntegralInRange<std::size_t>(0, of.size() - 1)]];
  }

  void Alloc() {
    if (heaps_.empty() || blocks_.size() >= kMaxBlocks) return;
    const std::size_t i = in_.ConsumeIntegralInRange<std::size_t>(0, heaps_.size() - 1);
    const SIZE_T size = SizeFrom(in_);
    const int kind = in_.ConsumeIntegralInRange<int>(0, 3);
    if (kind == 3) {
      SetLastError(0);
      Check(HeapAlloc(heaps_[i], HEAP_REALLOC_IN_PLACE_ONLY, size) == nullptr &&
            GetLastError() == ERROR_INVALID_PARAMETER);
      return;
    }
    const DWORD flags = kind == 1 ? HEAP_ZERO_MEMORY : kind == 2 ? HEAP_NO_SERIALIZE : 0;
    void* p = kind == 0 && in_.ConsumeBool() ? HeapAllocCached(heaps_[i], 0, size) : nullptr;
    if (!p) p = HeapAlloc(heaps_[i], flags, size);
    Check(p != nullptr);
    Check(reinterpret_cast<std::uintptr_t>(p) % 16 == 0);
    Check(HeapSize(heaps_[i], 0, p) == size);
    Block b{false, i, static_cast<unsigned char*>(p), std::vector<unsigned char>(size)};
    if (flags & HEAP_ZERO_MEMORY) Verify(b);
    Fill(b, in_.ConsumeIntegral<unsigned char>());
    blocks_.push_back(std::move(b));
  }

  void ReAlloc() {
    Block* b = Pick(false);
    if (!b) return;
    Verify(*b);
    HANDLE h = heaps_[b->heap];
    const SIZE_T size = SizeFrom(in_);
    const DWORD flags = (in_.ConsumeBool() ? HEAP_ZERO_MEMORY : 0) |
                        (in_.ConsumeBool() ? HEAP_REALLOC_IN_PLACE_ONLY : 0);
    const SIZE_T old = b->bytes.size();
    SetLastError(0);
    auto* q = static_cast<unsigned char*>(HeapReAlloc(h, flags, b->p, size));
    if (!q) {
      // Only an in-place change may fail, and it leaves the block alone.
      Check((flags & HEAP_REALLOC_IN_PLACE_ONLY) != 0 && GetLastError() == ERROR_NOT_ENOUGH_MEMORY);
      Check(HeapSize(h, 0, b->p) == old);
      Verify(*b);
      return;
    }
    if (flags & HEAP_REALLOC_IN_PLACE_ONLY) Check(q == b->p);
    // A large block never stays large at a small size.
    if (!IsSmall(old) && IsSmall(size)) Check(q != b->p);
    Check(HeapSize(h, 0, q) == size);
    b->p = q;
    b->bytes.resize(size, 0);
    const SIZE_T keep = std::min(old, size);
    if (flags & HEAP_ZERO_MEMORY) {
      Verify(*b);
    } else {
      Check(keep == 0 || std::memcmp(q, b->bytes.data(), keep) == 0);
    }
    Fill(*b, in_.ConsumeIntegral<unsigned char>());
  }

  void Free() {
    Block* b = Pick(false);
    if (!b) return;
    Verify(*b);
    HANDLE h = heaps_[b->heap];
    const bool small = IsSmall(b->bytes.size());
    // Another heap's block is refused and stays.
    for (std::size_t j = 0; j < heaps_.size(); ++j) {
      if (j == b->heap) continue;
      SetLastError(0);
      Check(!HeapFree(heaps_[j], 0, b->p) && GetLastError() == ERROR_INVALID_PARAMETER);
      Check(HeapSize(heaps_[j], 0, b->p) == static_cast<SIZE_T>(-1));
    }
    SetLastError(0);
    Check(!HeapFree(h, HEAP_ZERO_MEMORY, b->p) && GetLastError() == ERROR_INVALID_PARAMETER);
    Verify(*b);
    Check(HeapFree(h, in_.ConsumeBool() ? HEAP_NO_SERIALIZE : 0, b->p));
    if (small) {
      // A freed small block is known as freed.
      SetLastError(0);
      Check(!HeapFree(h, 0, b->p) && GetLastError() == ERROR_INVALID_PARAMETER);
      Check(HeapSize(h, 0, b->p) == static_cast<SIZE_T>(-1));
      Check(HeapReAlloc(h, 0, b->p, 1) == nullptr && GetLastError() == ERROR_INVALID_PARAMETER);
    }
    blocks_.erase(blocks_.begin() + (b - blocks_.data()));
  }

  void LayerAlloc() {
    if (layers_.empty() || blocks_.size() >= kMaxBlocks) return;
    const std::size_t i = in_.ConsumeIntegralInRange<std::size_t>(0, layers_.size() - 1);
    const SIZE_T size = SizeFrom(in_);
    auto* p = static_cast<unsigned char*>(layers_[i]->Alloc(size));
    Check(p != nullptr);
    Check(layers_[i]->GetSize(p) >= static_cast<std::int64_t>(size));
    Block b{true, i, p, std::vector<unsigned char>(size)};
    Verify(b);  // zero-filled
    Fill(b, in_.ConsumeIntegral<unsigned char>());
    blocks_.push_back(std::move(b));
  }

  // Realloc and GetSize through any heap object act on the block's own heap.
  IHeap* AnyLayer() {
    return layers_[in_.ConsumeIntegralInRange<std::size_t>(0, layers_.size() - 1)];
  }

  void LayerRealloc() {
    Block* b = Pick(true);
    if (!b) return;
    Verify(*b);
    const SIZE_T size = SizeFrom(in_);
    IHeap* via = AnyLayer();
    auto* q = static_cast<unsigned char*>(via->Realloc(b->p, size));
    Check(q != nullptr);
    Check(via->GetSize(q) >= static_cast<std::int64_t>(size));
    const SIZE_T keep = std::min(b->bytes.size(), size);
    Check(keep == 0 || std::memcmp(q, b->bytes.data(), keep) == 0);
    b->p = q;
    b->bytes.resize(size);
    Fill(*b, in_.ConsumeIntegral<unsigned char>());
  }

  void LayerFree() {
    if (layers_.empty()) return;
    Check(AnyLayer()->Free(nullptr) == 0);
    Check(AnyLayer()->GetSize(nullptr) == -1);
    Block* b = Pick(true);
    if (!b) return;
    Verify(*b);
    Check(AnyLayer()->Free(b->p) != 0);
    blocks_.erase(blocks_.begin() + (b - blocks_.data()));
  }

  FuzzedDataProvider& in_;
  std::vector<HANDLE> heaps_;
  std::vector<IHeap*> layers_;
  std::vector<Block> blocks_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  try {
    Session session(in);
    for (int step = 0; step < 64 && in.remaining_bytes(); ++step) session.Step();
  } catch (const CXException&) {
    // Nothing here should run out of memory.
    std::abort();
  }
  return 0;
}
