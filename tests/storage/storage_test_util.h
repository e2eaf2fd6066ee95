// tests/storage/storage_test_util.h - helpers the storage tests share.
#pragma once

#include <string>
#include <utility>

#include "zr/xstorage.h"

namespace storage_test {

inline void Put(IXStorage* storage, const char* name, const std::string& data) {
  IXStream* stream = storage->CreateStream(name);
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
