// pal/profile/initext.h - the text of one INI file, split into lines and
// indexed for the profile functions (platform-internal: only pal/ and its
// white-box tests use it).
//
// The text is kept byte for byte; parsing only records where each line, name
// and value lies in it. An edit (WithKey, WithoutKey, WithoutSection) returns
// a new text that differs from the old one only in the lines it changes, so
// comment lines, unknown lines, blank lines and line endings survive a
// rewrite, as they do when Windows rewrites an INI file.
//
// The syntax, as Windows reads it:
//  - lines end at "\n"; a "\r" before it belongs to the line ending;
//  - white space (the C locale's, plus ^Z, the old end-of-file mark) around
//    a line, around names and around values is not part of them;
//  - "[name]" starts a section: the name runs to the last "]" of the line; a
//    line starting with "[" without a "]" is no header;
//  - a line whose first character is ";" is a comment;
//  - "name=value" is a key: the name ends at the first "=", the value is the
//    rest of the line;
//  - any other line is kept but means nothing (it is neither a key nor a
//    header);
//  - lines before the first header, and sections whose name is empty ("[]"),
//    are never found and never listed.
// A UTF-8 byte-order mark at the start is skipped when reading and kept when
// rewriting. Deviation: the text is 8-bit in the ANSI code page; Windows
// also reads files that start with a UTF-16 byte-order mark as UTF-16.
//
// Names compare without regard to the case of ASCII letters (deviation:
// Windows folds every letter; the names the library writes are ASCII). Of duplicate
// sections only the first is found (they are not merged); of duplicate keys
// in it, the first.
//
// Invariants: lines cover the text without gaps, in order (line i's `next`
// is line i+1's `start`, the last one's is the text's size); sections cover
// the lines the same way (section 0 holds the lines before the first header
// and has no header). The indexes hold the first section of each name and,
// for those sections only, the first key of each name.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pal/types.h"

namespace zrpal::profile {

// The white space that is trimmed around lines, names and values.
bool IsProfileSpace(char c);
std::string_view TrimProfileSpace(std::string_view text);

enum class LineKind : BYTE { kBlank, kComment, kSection, kKey, kOther };

// One line: byte offsets into the text.
struct IniLine {
  std::uint32_t start;  // first byte of the line
  std::uint32_t end;    // end of its content: before "\r\n", "\n" or the text's end
  std::uint32_t next;   // first byte after its line ending
  std::uint32_t name;   // a section's or a key's name (trimmed)
  std::uint32_t nameLength;
  std::uint32_t value;  // a key's value (trimmed)
  std::uint32_t valueLength;
  LineKind kind;
};

struct IniSection {
  std::uint32_t header;  // index of the header line; kNoHeader for section 0
  std::uint32_t end;     // one past its last line
};

class IniText {
 public:
  static constexpr std::uint32_t kNoHeader = ~std::uint32_t{0};
  static constexpr int kNotFound = -1;
  // Offsets are 32-bit; the loader refuses longer files.
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

  // Parses `text` (at most kMaxBytes bytes; the caller checks).
  explicit IniText(std::string text);

  const std::string& Text() const { return m_text; }

  // The first section named `name` (trimmed here), or kNotFound. An empty
  // name is never found.
  int FindSection(std::string_view name) const;
  // The line of the first key `name` (trimmed here) of `section`, or
  // kNotFound. An empty name is never found.
  int FindKey(int section, std::string_view name) const;
  std::string_view ValueOf(int line) const;

  // Appends each section name (in file order, duplicates included) with its
  // terminating zero.
  void AppendSectionNames(std::string* out) const;
  // Appends each key name of `section` (in file order) with its terminating
  // zero; keys with an empty name are left out.
  void AppendKeyNames(int section, std::string* out) const;

  // The text with key `key` of section `section` set to `value` (leading
  // white space dropped, as Windows writes it): false when the key already
  // reads as that value (nothing to write). A missing key goes after the
  // last non-blank line of the first section of that name; a missing
  // section is appended to the text with its key. New lines end as the
  // text's first line does ("\r\n" for a text without line breaks).
  bool WithKey(std::string_view section, std::string_view key, std::string_view value,
               std::string* out) const;
  // The text without the first key `key` of the first section `section`
  // (its whole line); false when there is none.
  bool WithoutKey(std::string_view section, std::string_view key, std::string* out) const;
  // The text without the first section `section`: its header and every line
  // up to the next header. False when there is none.
  bool WithoutSection(std::string_view section, std::string* out) const;

  std::size_t LineCount() const { return m_lines.size(); }

 private:
  friend class IniTextRef;
  // An open-addressing table from a name's folded hash to an index + 1
  // (0: empty slot); linear probing, power-of-two size, at most half full.
  struct Slot {
    std::uint32_t hash;
    std::uint32_t index;
  };

  void Parse();
  void Index();
  std::string_view NameOf(std::uint32_t line) const;
  const char* NewLine() const;
  static void Insert(std::vector<Slot>& table, std::uint32_t hash, std::uint32_t index);

  std::string m_text;
  std::vector<IniLine> m_lines;
  std::vector<IniSection> m_sections;
  std::vector<Slot> m_sectionIndex;              // index: a section
  std::vector<Slot> m_keyIndex;                  // index: a key line; hash seeded by its section
  mutable std::atomic<std::uint32_t> m_refs{1};  // IniTextRef's count
};

// A counted reference to an IniText that no one changes any more, shared by
// the cache and the calls answering from it. (std::shared_ptr would export
// its control block's type information from the library.)
class IniTextRef {
 public:
  IniTextRef() = default;
  // A new text, with the reference its creation gives.
  static IniTextRef Make(std::string text) { return IniTextRef(new IniText(std::move(text))); }
  IniTextRef(const IniTextRef& other) : m_p(other.m_p) {
    if (m_p) m_p->m_refs.fetch_add(1, std::memory_order_relaxed);
  }
  IniTextRef(IniTextRef&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
  IniTextRef& operator=(IniTextRef other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }
  ~IniTextRef() {
    if (m_p && m_p->m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete m_p;
  }
  const IniText* get() const { return m_p; }
  const IniText* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  explicit IniTextRef(IniText* text) : m_p(text) {}
  IniText* m_p = nullptr;
};

}  // namespace zrpal::profile
