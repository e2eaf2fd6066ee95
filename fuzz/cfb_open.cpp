// Fuzzes the compound-file reader: arbitrary bytes are opened as a compound
// file through StgOpenStorageOnILockBytes and everything is walked: every
// storage enumerated and opened, every stream read to its end. The same
// bytes are then opened transacted for writing, a stream is added and the
// result committed and opened again. Every failure must be an STG_E code;
// a crash, a hang, a leak or an allocation beyond the input's size is a bug.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pal/ole/storage.h"

using namespace zrpal;

namespace {

constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

void Check(HRESULT hr) {
  // Only success or a storage error (or the out-of-memory answers) may come back.
  if (SUCCEEDED(hr)) return;
  const DWORD facility = (static_cast<DWORD>(hr) >> 16) & 0x7FF;
  if (facility != 3 && hr != E_OUTOFMEMORY) std::abort();
}

void Walk(IStorage* root) {
  std::vector<IStorage*> todo{root};
  root->AddRef();
  std::vector<BYTE> buf(4096);
  while (!todo.empty()) {
    IStorage* stg = todo.back();
    todo.pop_back();
    IEnumSTATSTG* e = nullptr;
    HRESULT hr = stg->EnumElements(0, nullptr, 0, &e);
    Check(hr);
    if (SUCCEEDED(hr)) {
      STATSTG st;
      while (e->Next(1, &st, nullptr) == S_OK) {
        if (st.type == STGTY_STREAM) {
          IStream* s = nullptr;
          Check(hr = stg->OpenStream(st.pwcsName, nullptr, kRead, 0, &s));
          if (SUCCEEDED(hr)) {
            ULONG got = 0;
            std::uint64_t total = 0;
            while (SUCCEEDED(hr = s->Read(buf.data(), static_cast<ULONG>(buf.size()), &got)) && got > 0)
              total += got;
            Check(hr);
            if (SUCCEEDED(hr) && total != st.cbSize.QuadPart) std::abort();
            s->Release();
          }
        } else {
          IStorage* child = nullptr;
          Check(hr = stg->OpenStorage(st.pwcsName, nullptr, kRead, nullptr, 0, &child));
          if (SUCCEEDED(hr)) todo.push_back(child);
        }
        CoTaskMemFree(st.pwcsName);
      }
      e->Release();
    }
    stg->Release();
  }
}

ILockBytes* Bytes(const std::uint8_t* data, std::size_t size) {
  ILockBytes* lb = nullptr;
  if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, &lb))) std::abort();
  ULONG n = 0;
  if (size && FAILED(lb->WriteAt(ULARGE_INTEGER{0}, data, static_cast<ULONG>(size), &n))) std::abort();
  return lb;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (8u << 20)) return 0;
  ILockBytes* lb = Bytes(data, size);
  IStorage* stg = nullptr;
  HRESULT hr = StgOpenStorageOnILockBytes(lb, nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &stg);
  Check(hr);
  if (SUCCEEDED(hr)) {
    Walk(stg);
    stg->Release();
  }
  hr = StgOpenStorageOnILockBytes(lb, nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED,
                                  nullptr, 0, &stg);
  Check(hr);
  if (SUCCEEDED(hr)) {
    IStream* s = nullptr;
    if (SUCCEEDED(stg->CreateStream(u"fuzz", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s))) {
      Check(s->Write(data, static_cast<ULONG>(size < 9000 ? size : 9000), nullptr));
      s->Release();
    }
    hr = stg->Commit(STGC_DEFAULT);
    Check(hr);
    stg->Release();
    if (SUCCEEDED(hr)) {
      // A committed file must open again and walk cleanly.
      if (FAILED(StgOpenStorageOnILockBytes(lb, nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &stg)))
        std::abort();
      Walk(stg);
      stg->Release();
    }
  }
  lb->Release();
  return 0;
}
