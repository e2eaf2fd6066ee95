// Storages against memory streams in the same run: one million ZRVT_INT and
// short ZRVT_STR records written, then read back, through a CStream of a
// compound file (a temporary file deleted on release) and through a memory
// stream; the same bytes written and read with the fewest calls straight on
// the engine's stream behind the CStream (what the storage layers add); and
// the records through a document stream that polls a progress object around
// each operation against the plain CStream (items per second = records
// written and read back).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "pal/ole/objidl.h"
#include "zr/docstorage.h"
#include "zr/exception.h"
#include "zr/variant.h"
#include "zr/xstorage.h"

namespace {

constexpr int kRecords = 1000000;

// A progress object that never cancels.
class NeverCancel final : public CZRUnknownImpl<ZRIFC::IProgress> {
 public:
  int CheckCancel() override { return 0; }
  void SetPos(int) override {}
  void OffsetPos(int) override {}
  void SetRange(int, int) override {}
};

// Writes the records, seeks back, reads them all.
void WriteThenRead(benchmark::State& state, IXStream* stream) {
  const CZRVariant number(12345);
  const CZRVariant text("short text");
  for (int i = 0; i < kRecords; ++i) stream->WriteVariant(i % 2 ? &number : &text);
  stream->Seek(0, ZRSEEK_SET);
  CZRVariant back;
  int read = 0;
  while (stream->ReadVariant(&back)) ++read;
  if (read != kRecords) state.SkipWithError("records lost");
}

// `wrap` 0: the CStream itself; 1: a document stream over it.
void Compound(benchmark::State& state, int wrap) {
  for (auto _ : state) {
    IXStorage* storage = new_Storage(nullptr, ZRSTORAGE_TEMPORARY | ZRSTORAGE_DELETEONRELEASE);
    NeverCancel* progress = new NeverCancel();
    IXStorage* doc = nullptr;
    new_CIXDocStorage(storage, progress, &doc, 0);
    IXStream* stream = (wrap ? doc : storage)->CreateStream("records");
    WriteThenRead(state, stream);
    stream->Release();
    doc->Release();
    progress->Release();
    storage->Release();
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{kRecords});
}

void BM_Records_CompoundStream(benchmark::State& state) { Compound(state, 0); }
BENCHMARK(BM_Records_CompoundStream)->Unit(benchmark::kMillisecond);

void BM_Records_DocStreamPolling(benchmark::State& state) { Compound(state, 1); }
BENCHMARK(BM_Records_DocStreamPolling)->Unit(benchmark::kMillisecond);

// The engine's own stream: each record is one Write of its bytes, read back
// as the type, then the value (the text's count, then its bytes).
void BM_Records_EngineStream(benchmark::State& state) {
  const unsigned char number[6] = {5, 0, 0x39, 0x30, 0, 0};  // ZRVT_INT 12345
  const char text[] = "\x0a\x00\x0b\x00\x00\x00short text";  // ZRVT_STR, 11 bytes
  for (auto _ : state) {
    IXStorage* storage = new_Storage(nullptr, ZRSTORAGE_TEMPORARY | ZRSTORAGE_DELETEONRELEASE);
    IXStream* owner = storage->CreateStream("records");
    auto* stream = static_cast<zrpal::IStream*>(Stream_GetOLEStream(owner));
    for (int i = 0; i < kRecords; ++i) {
      if (i % 2)
        stream->Write(number, sizeof number, nullptr);
      else
        stream->Write(text, sizeof text, nullptr);  // with the terminator
    }
    zrpal::ULARGE_INTEGER at{};
    stream->Seek(zrpal::LARGE_INTEGER{0}, zrpal::STREAM_SEEK_SET, &at);
    unsigned char buffer[32];
    zrpal::ULONG got = 0;
    int read = 0;
    while (stream->Read(buffer, 2, &got) == 0 && got == 2) {
      stream->Read(buffer, 4, &got);
      if (buffer[0] == 0x0b) stream->Read(buffer, 11, &got);
      ++read;
    }
    if (read != kRecords) state.SkipWithError("records lost");
    stream->Release();
    owner->Release();
    storage->Release();
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{kRecords});
}
BENCHMARK(BM_Records_EngineStream)->Unit(benchmark::kMillisecond);

void BM_Records_MemoryStream(benchmark::State& state) {
  for (auto _ : state) {
    IXStream* stream = new_StreamOnMemory();
    WriteThenRead(state, stream);
    stream->Release();
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{kRecords});
}
BENCHMARK(BM_Records_MemoryStream)->Unit(benchmark::kMillisecond);

}  // namespace
