// Fuzzes the property set reader: arbitrary bytes become the document
// summary stream of a compound file in memory (and the summary stream, for
// the second half of the input), each set is opened through
// IPropertySetStorage, every property enumerated, read and named, then one
// property is written, the set committed and read again. Every failure must
// be a storage error (or out of memory); a crash, a leak or an allocation
// beyond what the input's size explains is a bug.
#include <cstdint>
#include <cstdlib>

#include "pal/ole/propidl.h"
#include "pal/ole/storage.h"

using namespace zrpal;

namespace {

constexpr DWORD kRw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

void Check(HRESULT hr) {
  if (SUCCEEDED(hr)) return;
  const DWORD facility = (static_cast<DWORD>(hr) >> 16) & 0x7FF;
  if (facility != 3 && hr != E_OUTOFMEMORY) std::abort();
}

void ReadAll(IPropertyStorage* ps) {
  IEnumSTATPROPSTG* e = nullptr;
  Check(ps->Enum(&e));
  if (!e) return;
  STATPROPSTG st;
  while (e->Next(1, &st, nullptr) == S_OK) {
    PROPSPEC spec{};
    spec.ulKind = PRSPEC_PROPID;
    spec.propid = st.propid;
    PROPVARIANT v{};
    const HRESULT hr = ps->ReadMultiple(1, &spec, &v);
    if (hr != STG_E_UNIMPLEMENTEDFUNCTION) Check(hr);
    if (PropVariantClear(&v) != S_OK) std::abort();
    LPOLESTR name = nullptr;
    Check(ps->ReadPropertyNames(1, &st.propid, &name));
    if (name) {
      // A name read must find its property again.
      spec.ulKind = PRSPEC_LPWSTR;
      spec.lpwstr = name;
      Check(ps->ReadMultiple(1, &spec, &v));
      PropVariantClear(&v);
    }
    CoTaskMemFree(name);
    CoTaskMemFree(st.lpwstrName);
  }
  e->Release();
}

void Exercise(IPropertySetStorage* sets, REFFMTID fmtid) {
  IPropertyStorage* ps = nullptr;
  HRESULT hr = sets->Open(fmtid, kRw, &ps);
  Check(hr);
  if (FAILED(hr)) return;
  ReadAll(ps);
  PROPSPEC spec{};
  spec.ulKind = PRSPEC_PROPID;
  spec.propid = 2;
  PROPVARIANT v{};
  v.vt = VT_LPSTR;
  v.pszVal = const_cast<char*>("fuzz");
  Check(ps->WriteMultiple(1, &spec, &v, 2));
  hr = ps->Commit(STGC_DEFAULT);
  Check(hr);
  ps->Release();
  if (FAILED(hr)) return;
  // What was committed opens again.
  if (FAILED(sets->Open(fmtid, kRw, &ps))) std::abort();
  ReadAll(ps);
  ps->Release();
}

void PutStream(IStorage* root, const char16_t* name, const std::uint8_t* data, std::size_t size) {
  IStream* s = nullptr;
  if (FAILED(root->CreateStream(name, STGM_CREATE | kRw, 0, 0, &s))) std::abort();
  if (size && FAILED(s->Write(data, static_cast<ULONG>(size), nullptr))) std::abort();
  s->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  ILockBytes* lb = nullptr;
  IStorage* root = nullptr;
  if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, &lb))) std::abort();
  if (FAILED(StgCreateDocfileOnILockBytes(lb, STGM_CREATE | kRw, 0, &root))) std::abort();
  PutStream(root, u"\005DocumentSummaryInformation", data, size);
  PutStream(root, u"\005SummaryInformation", data + size / 2, size - size / 2);
  IPropertySetStorage* sets = nullptr;
  if (FAILED(root->QueryInterface(IID_IPropertySetStorage, reinterpret_cast<void**>(&sets)))) std::abort();
  Exercise(sets, FMTID_DocSummaryInformation);
  Exercise(sets, FMTID_UserDefinedProperties);
  Exercise(sets, FMTID_SummaryInformation);
  IEnumSTATPROPSETSTG* e = nullptr;
  Check(sets->Enum(&e));
  if (e) e->Release();
  sets->Release();
  root->Release();
  lb->Release();
  return 0;
}
