// Shared helpers of the stream tests: byte builders written independently of
// the library's, memory streams over given bytes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <typeinfo>
#include <vector>

#include "zr/exception.h"
#include "zr/xstream.h"

namespace zrtest {

using Bytes = std::vector<BYTE>;

// Little-endian pieces of an expected record.
inline Bytes LE(std::uint64_t v, int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
  return out;
}
inline Bytes LE16(std::uint16_t v) { return LE(v, 2); }
inline Bytes LE32(std::uint32_t v) { return LE(v, 4); }
inline Bytes LEDouble(double d) { return LE(std::bit_cast<std::uint64_t>(d), 8); }
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Holds one reference and gives it back.
template <class T>
class Ref {
 public:
  explicit Ref(T* p = nullptr) : m_p(p) {}
  ~Ref() {
    if (m_p) m_p->Release();
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  void reset(T* p = nullptr) {
    if (m_p) m_p->Release();
    m_p = p;
  }

 private:
  T* m_p;
};

inline IMemBlock* MemBlockOf(IXStream* stream) {
  void* block = nullptr;
  EXPECT_EQ(stream->QueryInterface(typeid(IMemBlock), &block), 1);
  return static_cast<IMemBlock*>(block);
}

inline Bytes Content(IXStream* stream) {
  Ref<IMemBlock> block(MemBlockOf(stream));
  const BYTE* data = static_cast<const BYTE*>(block->GetData());
  return data ? Bytes(data, data + block->GetSize()) : Bytes();
}

// A new memory stream holding `bytes`, positioned at 0.
inline IXStream* MemStreamOf(const Bytes& bytes) {
  IXStream* stream = new_StreamOnMemory();
  Ref<IMemBlock>(MemBlockOf(stream))->SetData(bytes.data(), static_cast<unsigned>(bytes.size()));
  return stream;
}

// Slot `index` of an interface's table, called as other modules call it: by
// number, with the object first (this ABI's convention for members).
template <class Fn>
Fn Slot(const void* object, int index) {
  return reinterpret_cast<Fn>((*static_cast<void** const*>(object))[index]);
}

// Calls slot `index` of `object`; R is the result type, Args the argument types.
template <class R = void, class... Args>
R Call(void* object, int index, Args... args) {
  return Slot<R (*)(void*, Args...)>(object, index)(object, args...);
}

// The cause of the CXException that `f` throws, 0 when it throws none.
template <class F>
DWORD CauseOf(F f) {
  try {
    f();
  } catch (const CXException& e) {
    return e.GetCause();
  }
  return 0;
}

// Whether `f` throws a CXFileException of `cause` and `operation` that names
// the stream `name`.
template <class F>
testing::AssertionResult ThrowsFileError(F f, DWORD cause, DWORD operation,
                                         const std::u16string& name) {
  try {
    f();
  } catch (const CXFileException& e) {
    const std::u16string got = e.GetFileName() ? e.GetFileName() : u"";
    if (e.GetCause() == cause && e.GetOperation() == operation && got == name)
      return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "cause " << e.GetCause() << ", operation " << e.GetOperation();
  } catch (const CXException& e) {
    return testing::AssertionFailure() << "not a file error: cause " << e.GetCause();
  }
  return testing::AssertionFailure() << "nothing thrown";
}

}  // namespace zrtest
