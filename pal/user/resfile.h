// pal/user/resfile.h - the Windows resource image format (.res), read in place.
//
// A resource image is what resource compilers write: a sequence of records,
// each a RESOURCEHEADER followed by the resource's data, every record
// starting on a DWORD boundary of the image:
//
//   DWORD DataSize          bytes of data after the header
//   DWORD HeaderSize        bytes of the header, these two fields included
//   ID    Type              0xFFFF + WORD ordinal, or a zero-terminated
//   ID    Name                UTF-16 name (each WORD-aligned)
//   ...   padding to a DWORD boundary
//   DWORD DataVersion
//   WORD  MemoryFlags
//   WORD  LanguageId
//   DWORD Version
//   DWORD Characteristics
//   BYTE  Data[DataSize], then padding to a DWORD boundary
//
// The first record of a 32-bit image is an empty one (type and name ordinal
// 0); records of type 0 are not resources and are skipped. All values are
// little-endian.
//
// Nothing here copies or allocates: an image is checked once, completely
// (ResourceImage::Open), and then searched in place. Every walk is bounded by
// the image size and by kMaxRecords.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pal/types.h"

namespace zrpal::res {

inline constexpr std::size_t kAlignment = 4;          // records and data start on DWORDs
inline constexpr std::size_t kPrefixSize = 8;         // DataSize, HeaderSize
inline constexpr std::size_t kTrailerSize = 16;       // DataVersion ... Characteristics
inline constexpr std::size_t kMinHeaderSize = 32;     // two ordinals
inline constexpr WORD kOrdinalMarker = 0xFFFF;
inline constexpr std::size_t kMaxRecords = 1u << 20;  // far beyond any real module
inline constexpr std::size_t kMaxImageSize = std::size_t{1} << 30;

// The resource type ordinal of string tables (RT_STRING).
inline constexpr WORD kTypeString = 6;

// String tables: block (id >> 4) + 1 holds 16 counted strings.
inline constexpr unsigned kStringsPerBlock = 16;

// Language ids (LANGID: primary language in the low 10 bits, sublanguage
// above).
inline constexpr WORD kLangNeutral = 0x0000;       // LANG_NEUTRAL, SUBLANG_NEUTRAL
inline constexpr WORD kSublangSysDefault = 0x02;   // with LANG_NEUTRAL: the system language
inline constexpr WORD kLangEnglishUs = 0x0409;     // LANG_ENGLISH, SUBLANG_ENGLISH_US
// The user's and the system's language on this platform (Linux has no
// Windows language setting): English (United States).
inline constexpr WORD kDefaultLanguage = kLangEnglishUs;

constexpr WORD PrimaryLanguage(WORD lang) { return lang & 0x3FF; }
constexpr WORD SubLanguage(WORD lang) { return static_cast<WORD>(lang >> 10); }
constexpr WORD MakeLanguage(WORD primary, WORD sub) { return static_cast<WORD>(sub << 10 | primary); }

enum class Status { kOk, kCorrupt };

// What a caller asks for: an ordinal (MAKEINTRESOURCE, or a "#123" name) or
// a name.
class ResourceKey {
 public:
  // `id` is an ordinal when its upper bits are zero, as IS_INTRESOURCE
  // decides; else a zero-terminated name.
  explicit ResourceKey(const WCHAR* id);

  bool IsOrdinal() const { return name_ == nullptr; }
  WORD Ordinal() const { return ordinal_; }
  const WCHAR* Name() const { return name_; }

 private:
  const WCHAR* name_ = nullptr;
  WORD ordinal_ = 0;
};

// The type or name identifier of a record, inside the image.
class ResourceId {
 public:
  // Reads an identifier at `p` (WORD-aligned), not past `end`. Sets *next to
  // the byte after it. False when it does not fit.
  static bool Parse(const BYTE* p, const BYTE* end, ResourceId* out, const BYTE** next);

  bool IsOrdinal() const { return text_ == nullptr; }
  WORD Ordinal() const { return ordinal_; }
  // Names compare case-insensitively over ASCII letters (resource compilers
  // store names upper-cased; Windows folds all of Unicode, see
  // docs/deviations.md).
  bool Matches(const ResourceKey& key) const;

 private:
  const BYTE* text_ = nullptr;  // UTF-16LE units, not terminated here
  std::size_t length_ = 0;      // units
  WORD ordinal_ = 0;
};

// DataVersion ... Characteristics.
struct ResourceTrailer {
  DWORD dataVersion;
  WORD memoryFlags;
  WORD languageId;
  DWORD version;
  DWORD characteristics;

  static ResourceTrailer Read(const BYTE* p);
};

// One record: its header and where its data lies.
class ResourceRecord {
 public:
  // Parses the record at `offset` of the image [image, image + size) and
  // sets *next to the offset of the following record (size at the end).
  static Status Parse(const BYTE* image, std::size_t size, std::size_t offset,
                      ResourceRecord* out, std::size_t* next);

  const BYTE* Start() const { return start_; }
  const ResourceId& Type() const { return type_; }
  const ResourceId& Name() const { return name_; }
  WORD Language() const { return trailer_.languageId; }
  const BYTE* Data() const { return data_; }
  DWORD DataSize() const { return dataSize_; }
  // Records of type 0 (the leading empty record) are not resources.
  bool IsResource() const { return !(type_.IsOrdinal() && type_.Ordinal() == 0); }

 private:
  const BYTE* start_ = nullptr;
  ResourceId type_;
  ResourceId name_;
  ResourceTrailer trailer_{};
  const BYTE* data_ = nullptr;
  DWORD dataSize_ = 0;
};

// Why a search found nothing, as the Windows resource functions report it.
enum class FindError : DWORD {
  kNone = ERROR_SUCCESS,
  kType = ERROR_RESOURCE_TYPE_NOT_FOUND,
  kName = ERROR_RESOURCE_NAME_NOT_FOUND,
  kLanguage = ERROR_RESOURCE_LANG_NOT_FOUND,
};

// A checked image.
class ResourceImage {
 public:
  ResourceImage() = default;

  // Checks every record of [data, data + size). The image must start on a
  // DWORD boundary (resource data is read in place as WORDs and DWORDs) and
  // be at most kMaxImageSize bytes. On kCorrupt *out is left empty.
  static Status Open(const void* data, std::size_t size, ResourceImage* out);

  bool Empty() const { return size_ == 0; }
  std::size_t RecordCount() const { return records_; }

  // The record of type `type` and name `name` in `language`. With a
  // specific language: that language, then its primary language with
  // SUBLANG_NEUTRAL, then LANG_NEUTRAL. With a neutral one (primary
  // LANG_NEUTRAL): LANG_NEUTRAL, then - unless the sublanguage is
  // SUBLANG_SYS_DEFAULT - the user's language and its primary language, then
  // the system's language and its primary language, then English (United
  // States), and finally the record with the lowest language id. This is
  // Windows' order; the user's and the system's language are
  // kDefaultLanguage here. False with *error set when there is none.
  bool Find(const ResourceKey& type, const ResourceKey& name, WORD language,
            ResourceRecord* out, FindError* error) const;

  // The record that starts at `start`, if one does.
  bool RecordAt(const void* start, ResourceRecord* out) const;

  // Calls f(record) for every resource record in image order until f
  // returns false.
  template <class F>
  void ForEach(F f) const {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < records_ && offset < size_; ++i) {
      ResourceRecord record;
      std::size_t next = 0;
      // Open checked every record; a failure here is a broken invariant.
      if (ResourceRecord::Parse(data_, size_, offset, &record, &next) != Status::kOk) return;
      offset = next;
      if (record.IsResource() && !f(record)) return;
    }
  }

 private:
  const BYTE* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t records_ = 0;  // records of every kind, the empty one included
};

// One string of a string-table block: `length` UTF-16 units at `text` (not
// terminated). The block must start on a WORD boundary.
struct StringEntry {
  const WCHAR* text;
  WORD length;
};

// Finds string `index` (0-15) of the block [data, data + size). False when
// the block is too short to hold it (a corrupt block); a string that is
// absent from an intact block is an entry of length 0.
bool FindStringInBlock(const BYTE* data, std::size_t size, unsigned index, StringEntry* out);

}  // namespace zrpal::res
