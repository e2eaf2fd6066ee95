// Fuzzes the compound-file writer with operation sequences: the fuzzer's
// bytes are a program of creates, writes, resizes, destroys, renames,
// commits and reverts on a transacted file in memory (version 3 or 4), run
// against a model of names and contents. After each commit the file is
// opened again from its bytes and must hold exactly the model.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "pal/ole/storage.h"

using namespace zrpal;

namespace {

constexpr DWORD kRw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
using Model = std::map<std::u16string, std::string>;  // stream name -> bytes

struct Input {
  const std::uint8_t* p;
  std::size_t n;
  std::uint8_t Byte() { return n ? (--n, *p++) : 0; }
  std::uint32_t Word() {  // low byte first (the operands of | have no order)
    const std::uint32_t low = Byte();
    return low | std::uint32_t{Byte()} << 8;
  }
};

std::u16string Name(std::uint8_t k) { return u"s" + std::u16string(1, static_cast<char16_t>(u'a' + k % 12)); }

std::string Read(IStorage* stg, const std::u16string& name) {
  IStream* s = nullptr;
  if (FAILED(stg->OpenStream(name.c_str(), nullptr, kRw, 0, &s))) std::abort();
  std::string out;
  char buf[4096];
  ULONG got = 0;
  while (SUCCEEDED(s->Read(buf, sizeof buf, &got)) && got) out.append(buf, got);
  s->Release();
  return out;
}

void Verify(ILockBytes* lb, const Model& model) {
  IStorage* stg = nullptr;
  if (FAILED(StgOpenStorageOnILockBytes(lb, nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &stg)))
    std::abort();
  IEnumSTATSTG* e = nullptr;
  stg->EnumElements(0, nullptr, 0, &e);
  STATSTG st;
  std::size_t count = 0;
  while (e->Next(1, &st, nullptr) == S_OK) {
    ++count;
    const auto it = model.find(st.pwcsName);
    if (it == model.end() || it->second.size() != st.cbSize.QuadPart) std::abort();
    CoTaskMemFree(st.pwcsName);
  }
  e->Release();
  if (count != model.size()) std::abort();
  for (const auto& [name, bytes] : model) {
    IStream* s = nullptr;
    if (FAILED(stg->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) std::abort();
    std::string out(bytes.size(), '\0');
    ULONG got = 0;
    s->Read(out.data(), static_cast<ULONG>(out.size()), &got);
    s->Release();
    if (got != bytes.size() || out != bytes) std::abort();
  }
  stg->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in{data, size};
  ILockBytes* lb = nullptr;
  CreateILockBytesOnHGlobal(nullptr, TRUE, &lb);
  IStorage* stg = nullptr;
  const unsigned version = in.Byte() & 1 ? 4 : 3;
  if (FAILED(ole::CreateDocfileOnLockBytes(lb, STGM_CREATE | kRw | STGM_TRANSACTED, version, &stg))) std::abort();
  Model working, committed;
  for (int op = 0; op < 64 && in.n; ++op) {
    const std::uint8_t code = in.Byte() % 7;
    const std::u16string name = Name(in.Byte());
    IStream* s = nullptr;
    switch (code) {
      case 0:  // create (replacing)
        if (FAILED(stg->CreateStream(name.c_str(), STGM_CREATE | kRw, 0, 0, &s))) std::abort();
        s->Release();
        working[name].clear();
        break;
      case 1: {  // write at an offset
        if (!working.count(name)) break;
        const std::uint32_t at = in.Word() * 3;
        const std::uint32_t len = in.Word();
        std::string bytes(len, static_cast<char>(in.Byte()));
        if (FAILED(stg->OpenStream(name.c_str(), nullptr, kRw, 0, &s))) std::abort();
        LARGE_INTEGER pos{at};
        s->Seek(pos, STREAM_SEEK_SET, nullptr);
        if (FAILED(s->Write(bytes.data(), len, nullptr))) std::abort();
        s->Release();
        // A write of no bytes past the end does not grow the stream (as on
        // Windows: only SetSize makes fill bytes without data).
        if (len == 0) break;
        std::string& m = working[name];
        if (m.size() < at + len) m.resize(at + len, '\0');
        m.replace(at, len, bytes);
        break;
      }
      case 2: {  // resize
        if (!working.count(name)) break;
        const std::uint32_t to = in.Word() * 2;
        if (FAILED(stg->OpenStream(name.c_str(), nullptr, kRw, 0, &s))) std::abort();
        if (FAILED(s->SetSize(ULARGE_INTEGER{to}))) std::abort();
        s->Release();
        working[name].resize(to, '\0');
        break;
      }
      case 3:  // destroy
        if ((stg->DestroyElement(name.c_str()) == S_OK) != (working.erase(name) == 1)) std::abort();
        break;
      case 4: {  // rename
        const std::u16string to = Name(in.Byte());
        const HRESULT hr = stg->RenameElement(name.c_str(), to.c_str());
        const bool can = working.count(name) && !working.count(to);
        if (SUCCEEDED(hr) != can) std::abort();
        if (can) {
          working[to] = std::move(working[name]);
          working.erase(name);
        }
        break;
      }
      case 5:  // commit
        if (FAILED(stg->Commit(STGC_DEFAULT))) std::abort();
        committed = working;
        Verify(lb, committed);
        break;
      case 6:  // revert
        if (FAILED(stg->Revert())) std::abort();
        working = committed;
        for (const auto& [n, bytes] : working)
          if (Read(stg, n) != bytes) std::abort();
        break;
    }
  }
  stg->Release();
  Verify(lb, committed);  // released without commit: the last commit stands
  lb->Release();
  return 0;
}
