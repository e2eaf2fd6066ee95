// fuzz/registered_classes.h - persistent classes for the fuzz targets that
// read object records (persist_registered, stream_records): exported by the
// target's program and registered by name (RegisterFuzzClasses), so that
// reading creates them and runs their Load, which reads further variant and
// object records. Also builds trees of such objects and of variants from
// fuzzer bytes, for the write side.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "fuzz/check.h"
#include "pal/module.h"
#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/registry.h"
#include "zr/variant.h"
#include "zr/xstream.h"

namespace fuzzclasses {

using Bytes = std::vector<BYTE>;

constexpr char kNodeClass[] = "ZrFuzzNode";
constexpr char kLeafClass[] = "ZrFuzzLeaf";
constexpr char kCheckedClass[] = "ZrFuzzChecked";
// The most children a node reads: the count is a byte, so a damaged count
// costs at most this many records.
constexpr unsigned kMaxChildren = 8;

inline Bytes Content(IXStream* s) {
  Bytes out(s->GetSize());
  s->Seek(0, ZRSEEK_SET);
  if (!out.empty()) Check(s->Read(out.data(), static_cast<int>(out.size())) == out.size());
  return out;
}

inline IXStream* StreamOver(const Bytes& bytes) {
  IXStream* s = new_StreamOnMemory();
  if (!bytes.empty()) s->Write(bytes.data(), static_cast<int>(bytes.size()));
  s->Seek(0, ZRSEEK_SET);
  return s;
}

// The common part: one identity, the size measured by saving.
template <class Self>
class CPersistent : public CZRUnknownImpl<IPersistXStream> {
 public:
  ULONG GetSize() override {
    IXStream* s = new_StreamOnMemory();
    try {
      Save(s);
    } catch (...) {
      s->Release();
      throw;
    }
    const ULONG size = s->GetSize();
    s->Release();
    return size;
  }
};

// A tag, up to kMaxChildren variant records, then an optional object record.
class CNode final : public CPersistent<CNode> {
 public:
  const char* GetClassName() override { return kNodeClass; }
  void Load(IXStream* s) override {
    m_tag = s->ReadDword();
    const unsigned count = s->ReadByte() % (kMaxChildren + 1);
    m_children.clear();
    for (unsigned i = 0; i < count; ++i) {
      m_children.emplace_back();
      s->ReadVariant(&m_children.back());
    }
    if (m_object) m_object->Release();
    m_object = nullptr;
    if (s->ReadByte() & 1) ReadObjectFromXStream(s, &m_object);
  }
  void Save(IXStream* s) override {
    s->WriteDword(m_tag);
    s->WriteByte(static_cast<BYTE>(m_children.size()));
    for (const CZRVariant& v : m_children) s->WriteVariant(&v);
    s->WriteByte(m_object ? 1 : 0);
    if (!m_object) return;
    IPersistXStream* persist = nullptr;
    if (m_object->QueryInterface(typeid(IPersistXStream), reinterpret_cast<void**>(&persist))) {
      WriteObjectToXStream(s, persist);
      persist->Release();
    } else {
      WriteObjectToXStream(s, nullptr);
    }
  }
  ~CNode() override {
    if (m_object) m_object->Release();
  }

  ULONG m_tag = 0;
  std::vector<CZRVariant> m_children;
  IZRUnknown* m_object = nullptr;
};

// A counted run of bytes (a word count, so reads may come up short).
class CLeaf final : public CPersistent<CLeaf> {
 public:
  const char* GetClassName() override { return kLeafClass; }
  void Load(IXStream* s) override {
    const WORD n = s->ReadWord();
    m_bytes.assign(n, 0);
    // Read may deliver less than asked: read until all are in.
    for (ULONG done = 0; done < n;) {
      const ULONG got = s->Read(m_bytes.data() + done, static_cast<int>(n - done));
      if (got == 0) throw CXEofException();
      done += got;
    }
  }
  void Save(IXStream* s) override {
    s->WriteWord(static_cast<WORD>(m_bytes.size()));
    if (!m_bytes.empty()) s->Write(m_bytes.data(), static_cast<int>(m_bytes.size()));
  }
  Bytes m_bytes;
};

// Refuses its data unless the check byte matches: a Load that throws in the
// middle of a tree.
class CChecked final : public CPersistent<CChecked> {
 public:
  const char* GetClassName() override { return kCheckedClass; }
  void Load(IXStream* s) override {
    m_value = s->ReadWord();
    if (s->ReadByte() != static_cast<BYTE>(m_value ^ 0x5A))
      throw CXFileException(ZRCAUSE_BADFORMAT, CXStringW(u"checked"), ZRSTREAMOP_READ);
  }
  void Save(IXStream* s) override {
    s->WriteWord(m_value);
    s->WriteByte(static_cast<BYTE>(m_value ^ 0x5A));
  }
  WORD m_value = 0;
};

template <class T>
int Create(IZRUnknown* outer, const std::type_info& type, void** out) {
  if (outer) return 0;
  auto* object = new T;
  const int result = object->QueryInterface(type, out);
  object->Release();
  return result;
}

}  // namespace fuzzclasses

#define ZR_FUZZ_FACTORY extern "C" __attribute__((visibility("default"), used)) int

ZR_FUZZ_FACTORY ZrFuzzNode(IZRUnknown* outer, const std::type_info& type, void** out) {
  return fuzzclasses::Create<fuzzclasses::CNode>(outer, type, out);
}
ZR_FUZZ_FACTORY ZrFuzzLeaf(IZRUnknown* outer, const std::type_info& type, void** out) {
  return fuzzclasses::Create<fuzzclasses::CLeaf>(outer, type, out);
}
ZR_FUZZ_FACTORY ZrFuzzChecked(IZRUnknown* outer, const std::type_info& type, void** out) {
  return fuzzclasses::Create<fuzzclasses::CChecked>(outer, type, out);
}

namespace fuzzclasses {

// --- Trees built from a recipe ----------------------------------------------

inline IZRUnknown* NewObject(FuzzedDataProvider& in, int depth);

inline CZRVariant NewVariant(FuzzedDataProvider& in, int depth) {
  switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: return CZRVariant(in.ConsumeIntegral<int>());
    case 1: return CZRVariant(in.ConsumeFloatingPoint<double>());
    case 2: return CZRVariant(in.ConsumeRandomLengthString(24).c_str());
    case 3: {
      const std::string raw = in.ConsumeRandomLengthString(24);
      std::u16string wide(raw.begin(), raw.end());
      return CZRVariant(wide.c_str());
    }
    case 4: {
      std::string raw = in.ConsumeRandomLengthString(24);
      tagZRBLOB blob{static_cast<ULONG>(raw.size()), reinterpret_cast<BYTE*>(raw.data())};
      return CZRVariant(blob);
    }
    case 5: return CZRVariant(tagRECT{in.ConsumeIntegral<int>(), 2, in.ConsumeIntegral<int>(), 4});
    case 6: return CZRVariant(static_cast<IZRUnknown*>(nullptr));
    case 7: return CZRVariant();
    default: {
      IZRUnknown* object = NewObject(in, depth + 1);
      CZRVariant v(object);
      if (object) object->Release();
      return v;
    }
  }
}

inline IZRUnknown* NewObject(FuzzedDataProvider& in, int depth) {
  if (depth > 6 || !in.remaining_bytes()) return nullptr;
  const int kind = in.ConsumeIntegralInRange<int>(0, 2);
  const char* name = kind == 0 ? kLeafClass : kind == 1 ? kCheckedClass : kNodeClass;
  IZRUnknown* out = nullptr;
  Check(CreateObject(name, nullptr, typeid(IZRUnknown), &out) == 1);
  IPersistXStream* p = nullptr;
  out->QueryInterface(typeid(IPersistXStream), reinterpret_cast<void**>(&p));
  if (kind == 0) {
    const std::string raw = in.ConsumeRandomLengthString(40);
    static_cast<CLeaf*>(p)->m_bytes.assign(raw.begin(), raw.end());
  } else if (kind == 1) {
    static_cast<CChecked*>(p)->m_value = in.ConsumeIntegral<WORD>();
  } else {
    auto* node = static_cast<CNode*>(p);
    node->m_tag = in.ConsumeIntegral<ULONG>();
    const unsigned n = in.ConsumeIntegralInRange<unsigned>(0, kMaxChildren);
    for (unsigned i = 0; i < n && in.remaining_bytes(); ++i) node->m_children.push_back(NewVariant(in, depth));
    if (in.ConsumeBool()) node->m_object = NewObject(in, depth + 1);
  }
  p->Release();
  return out;
}

// Registers the classes above once per process.
inline void RegisterFuzzClasses() {
  static const bool done = [] {
    const auto module = reinterpret_cast<HINSTANCE>(zrpal::GetModuleHandleW(nullptr));
    for (const char* name : {kNodeClass, kLeafClass, kCheckedClass}) Check(RegisterObject(name, module) == 1);
    return true;
  }();
  (void)done;
}

}  // namespace fuzzclasses
