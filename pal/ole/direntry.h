// pal/ole/direntry.h - one 128-byte directory entry, and the order of names
// in a storage's red-black tree.
//
// Layout (little-endian): 0 name (32 UTF-16 units, NUL-terminated),
// 64 name length in bytes including the NUL, 66 object type (0 unused,
// 1 storage, 2 stream, 5 root), 67 colour (0 red, 1 black), 68 left
// sibling, 72 right sibling, 76 child, 80 CLSID, 96 state bits, 100 creation
// time, 108 modification time, 116 starting sector, 120 stream size.
#pragma once

#include <cstdint>
#include <string>

#include "pal/ole/objidl.h"

namespace zrpal::ole {

inline constexpr std::uint32_t kDirEntrySize = 128;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
inline constexpr std::uint32_t kMaxNameChars = 31;  // 32 units with the NUL

enum class ObjectType : BYTE { Unused = 0, Storage = 1, Stream = 2, Root = 5 };
enum class Color : BYTE { Red = 0, Black = 1 };

struct DirEntry {
  std::u16string name;
  ObjectType type = ObjectType::Unused;
  Color color = Color::Black;
  std::uint32_t left = kNoStream;
  std::uint32_t right = kNoStream;
  std::uint32_t child = kNoStream;
  CLSID clsid = CLSID_NULL;
  DWORD stateBits = 0;
  std::uint64_t created = 0;   // FILETIME, 100 ns since 1601
  std::uint64_t modified = 0;
  std::uint32_t start = 0;
  std::uint64_t size = 0;

  // Reads one entry. `version3` drops the high half of the size, which old
  // version 3 writers left uninitialised. STG_E_DOCFILECORRUPT for a name
  // length that is odd, beyond 64 bytes, or not ending at a NUL, and for an
  // unknown type.
  HRESULT Parse(const BYTE* bytes, bool version3);
  void Serialize(BYTE* bytes) const;
};

// The format's order of names within a storage: shorter names first, then
// by the upper-case UTF-16 units. <0, 0, >0.
int CompareNames(std::u16string_view a, std::u16string_view b);
// The upper case the comparison uses (Latin-1, Latin Extended-A, Greek and
// Cyrillic; other units compare as they are).
char16_t UpcaseUnit(char16_t c);

// A valid element name: 1 to 31 units, none of '/', '\\', ':', '!'.
bool IsValidElementName(std::u16string_view name);

}  // namespace zrpal::ole
