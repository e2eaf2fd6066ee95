// widget_plugin.cpp - a module with class factories of its own, loaded by the
// class registry from its file on the first creation.
#include "test_plugin.h"
#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/variant.h"

namespace {

// A widget persists its value: Save writes it as 4 bytes (little-endian),
// Load reads them back.
class CWidget : public CZRUnknownImpl<ITestWidget>, public IPersistXStream {
  using Base = CZRUnknownImpl<ITestWidget>;

 public:
  explicit CWidget(int kind) : m_kind(kind) {}

  // One count and one identity for both interfaces.
  ULONG Release() override { return Base::Release(); }
  int QueryInterface(const std::type_info& type, void** out) override {
    return Base::QueryInterface(type, out);
  }
  ULONG AddRef() override { return Base::AddRef(); }

  int InternalQueryInterface(const std::type_info& type, void** out) override {
    if (type != typeid(IPersistXStream) && type != typeid(IPersistX))
      return Base::InternalQueryInterface(type, out);
    if (out) {
      *out = static_cast<IPersistXStream*>(this);
      AddRef();
    }
    return 1;
  }

  int GetKind() override { return m_kind; }
  void SetValue(ULONG value) override { m_value = value; }
  ULONG GetValue() override { return m_value; }

  const char* GetClassName() override { return kTestWidgetClass; }
  ULONG GetSize() override { return kWidgetSavedBytes; }
  void Load(IXStream* stream) override { m_value = stream->ReadDword(); }
  void Save(IXStream* stream) override { stream->WriteDword(m_value); }

 private:
  int m_kind;
  ULONG m_value = 0;
};

// Persists one variant record (see kTestNestClass).
class CNest final : public CZRUnknownImpl<IPersistXStream> {
 public:
  const char* GetClassName() override { return kTestNestClass; }
  ULONG GetSize() override { return 0; }  // not needed by the tests
  void Load(IXStream* stream) override { stream->ReadVariant(&m_value); }
  void Save(IXStream* stream) override { stream->WriteVariant(&m_value); }

 private:
  CZRVariant m_value;
};

// The factory rule: no aggregation (an outer gives 0); the answer is the new
// object's query, and the construction reference goes afterwards, so an
// object whose query failed is destroyed at once.
template <class T, class... Args>
int Create(IZRUnknown* outer, const std::type_info& type, void** out, Args... args) {
  if (outer) return 0;
  auto* object = new T(args...);
  const int result = object->QueryInterface(type, out);
  object->Release();
  return result;
}

}  // namespace

#define ZR_TEST_FACTORY extern "C" __attribute__((visibility("default"))) int

ZR_TEST_FACTORY ZrTestWidget(IZRUnknown* outer, const std::type_info& type, void** out) {
  return Create<CWidget>(outer, type, out, kWidgetKind);
}

ZR_TEST_FACTORY ZrTestThrowingWidget(IZRUnknown*, const std::type_info&, void**) {
  throw CXException(ZRCAUSE_INVALIDARG);
}

ZR_TEST_FACTORY ZrTestNest(IZRUnknown* outer, const std::type_info& type, void** out) {
  return Create<CNest>(outer, type, out);
}
