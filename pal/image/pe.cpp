// pal/image/pe.cpp - checking the headers of a mapped PE32+ image.
#include "pal/image/pe.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zrpal::pe {

static_assert(std::endian::native == std::endian::little, "images are read in place");

Status ImportWalker::Open(BYTE* base, std::size_t size, ImportWalker* out) {
  *out = ImportWalker();
  if (!base || size < sizeof(IMAGE_DOS_HEADER)) return Status::kNotPe;
  IMAGE_DOS_HEADER dos;
  std::memcpy(&dos, base, sizeof dos);
  if (dos.e_magic != kDosMagic || dos.e_lfanew < 0) return Status::kNotPe;
  const std::size_t ntAt = static_cast<std::size_t>(dos.e_lfanew);
  // The signature and the file header must fit before the optional header's
  // declared size is believed.
  constexpr std::size_t kFixed = sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
  if (ntAt > size || size - ntAt < kFixed) return Status::kNotPe;
  DWORD signature;
  std::memcpy(&signature, base + ntAt, sizeof signature);
  if (signature != kNtSignature) return Status::kNotPe;
  IMAGE_FILE_HEADER file;
  std::memcpy(&file, base + ntAt + sizeof(DWORD), sizeof file);
  if (file.SizeOfOptionalHeader != kOptionalHeaderSize64) return Status::kNot64;
  if (size - ntAt < sizeof(IMAGE_NT_HEADERS64)) return Status::kNotPe;
  // The headers are read in place from here on: e_lfanew must keep them
  // aligned for their fields.
  if (ntAt % alignof(IMAGE_NT_HEADERS64) != 0) return Status::kNotPe;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + ntAt);
  if (nt->OptionalHeader.Magic != kOptionalMagic64) return Status::kNot64;
  out->m_base = base;
  out->m_size = size;
  if (nt->OptionalHeader.SizeOfImage != 0 && nt->OptionalHeader.SizeOfImage < size)
    out->m_size = nt->OptionalHeader.SizeOfImage;
  if (ntAt + sizeof(IMAGE_NT_HEADERS64) > out->m_size) {
    *out = ImportWalker();
    return Status::kNotPe;
  }
  out->m_nt = nt;
  if (nt->OptionalHeader.NumberOfRvaAndSizes > kImportDirectory) {
    // Checked by ForEach: the headers alone may be all that is mapped yet.
    out->m_imports = nt->OptionalHeader.DataDirectory[kImportDirectory];
  }
  return Status::kOk;
}

const char* ImportWalker::NameAt(DWORD rva) const {
  if (rva >= m_size) return nullptr;
  const std::size_t room = std::min(m_size - rva, kMaxNameLength + 1);
  const void* end = std::memchr(m_base + rva, 0, room);
  return end ? reinterpret_cast<const char*>(m_base + rva) : nullptr;
}

}  // namespace zrpal::pe
