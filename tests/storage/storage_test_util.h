// tests/storage/storage_test_util.h - what the storage tests share: reading
// a whole stream, listing enumerators, and a compound file written with a
// known tree.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "zr/xstorage.h"

namespace storage_test {

inline std::set<std::string> Names(CTEnum<const char*>* names) {
  std::set<std::string> out;
  const char* name = nullptr;
  ULONG fetched = 0;
  while (names && names->Next(1, &name, &fetched) && fetched == 1) out.insert(name);
  if (names) names->Release();
  return out;
}

inline void Put(IXStorage* storage, const char* name, const std::string& data) {
  IXStream* stream = storage->CreateStream(name);
  ASSERT_NE(stream, nullptr) << name;
  stream->Write(data.data(), static_cast<int>(data.size()));
  stream->Release();
}

inline std::string Get(IXStorage* storage, const char* name) {
  IXStream* stream = storage->OpenStream(name);
  if (!stream) return "<none>";
  std::string data(stream->GetSize(), '\0');
  stream->Read(data.data(), static_cast<int>(data.size()));
  stream->Release();
  return data;
}

// The cause and operation of the CXFileException `action` throws.
template <class F>
std::pair<DWORD, DWORD> FileError(F action) {
  try {
    action();
  } catch (const CXFileException& e) {
    return {e.GetCause(), e.GetOperation()};
  }
  return {0xFFFFFFFF, 0xFFFFFFFF};
}

}  // namespace storage_test
