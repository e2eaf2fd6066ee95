// pal/profile/initext.cpp - parsing, lookup and editing of INI text (see
// initext.h for the syntax and the invariants).
//
// Lookups are what the profile functions do on every call, so both indexes
// are open-addressing tables of (hash, index) pairs: a lookup hashes the name
// once (FNV-1a over the lowered bytes) and compares names only on a hash
// match. Parsing is one pass over the text with memchr; edits copy the text
// around the changed lines and the caller parses the result again.
#include "pal/profile/initext.h"

#include <cstring>

namespace zrpal::profile {

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::uint32_t kBomLength = 3;
constexpr std::uint32_t kFnvBasis = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;
constexpr std::size_t kMinTableSize = 16;

unsigned char Lower(char c) {
  const auto u = static_cast<unsigned char>(c);
  return static_cast<unsigned>(u - 'A') < 26u ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

std::uint32_t HashName(std::string_view name, std::uint32_t seed) {
  std::uint32_t h = seed;
  for (char c : name) h = (h ^ Lower(c)) * kFnvPrime;
  return h;
}

// Keys hash with their section mixed in, so one table serves every section.
std::uint32_t KeySeed(int section) {
  return kFnvBasis ^ (static_cast<std::uint32_t>(section) * 0x9E3779B1u);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::size_t TableSizeFor(std::size_t count) {
  std::size_t size = kMinTableSize;
  while (size < count * 2) size *= 2;
  return size;
}

}  // namespace

bool IsProfileSpace(char c) {
  // The C locale's white space, and ^Z, which old editors left at the end.
  return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1A';
}

std::string_view TrimProfileSpace(std::string_view text) {
  std::size_t a = 0, b = text.size();
  while (a < b && IsProfileSpace(text[a])) ++a;
  while (b > a && IsProfileSpace(text[b - 1])) --b;
  return text.substr(a, b - a);
}

IniText::IniText(std::string text) : m_text(std::move(text)) {
  Parse();
  Index();
}

void IniText::Parse() {
  const char* p = m_text.data();
  const auto n = static_cast<std::uint32_t>(m_text.size());
  const std::uint32_t bom =
      n >= kBomLength && std::memcmp(p, kByteOrderMark, kBomLength) == 0 ? kBomLength : 0;
  m_sections.push_back({kNoHeader, 0});
  std::uint32_t pos = 0;
  while (pos < n) {
    const void* nl = std::memchr(p + pos, '\n', n - pos);
    const std::uint32_t lineEnd =
        nl ? static_cast<std::uint32_t>(static_cast<const char*>(nl) - p) : n;
    IniLine line{pos, lineEnd, nl ? lineEnd + 1 : n, 0, 0, 0, 0, LineKind::kBlank};
    if (nl && line.end > pos && p[line.end - 1] == '\r') --line.end;

    // The trimmed content [a, b).
    std::uint32_t a = pos == 0 ? bom : pos, b = lineEnd;
    while (a < b && IsProfileSpace(p[a])) ++a;
    while (b > a && IsProfileSpace(p[b - 1])) --b;
    auto setName = [&](std::uint32_t from, std::uint32_t to, std::uint32_t* at,
                       std::uint32_t* length) {
      const std::string_view t = TrimProfileSpace(std::string_view(p + from, to - from));
      *at = static_cast<std::uint32_t>(t.data() - p);
      *length = static_cast<std::uint32_t>(t.size());
    };
    std::size_t bracket = std::string_view::npos;  // the last "]" after a leading "["
    if (a < b && p[a] == '[') bracket = std::string_view(p + a, b - a).rfind(']');
    if (a == b) {
      line.kind = LineKind::kBlank;
    } else if (p[a] == ';') {
      line.kind = LineKind::kComment;
    } else if (bracket != std::string_view::npos) {
      line.kind = LineKind::kSection;
      setName(a + 1, a + static_cast<std::uint32_t>(bracket), &line.name, &line.nameLength);
    } else if (const void* eq = std::memchr(p + a, '=', b - a)) {
      const auto at = static_cast<std::uint32_t>(static_cast<const char*>(eq) - p);
      line.kind = LineKind::kKey;
      setName(a, at, &line.name, &line.nameLength);
      setName(at + 1, b, &line.value, &line.valueLength);
    } else {
      line.kind = LineKind::kOther;
    }

    const auto index = static_cast<std::uint32_t>(m_lines.size());
    if (line.kind == LineKind::kSection) {
      m_sections.back().end = index;
      m_sections.push_back({index, 0});
    }
    m_lines.push_back(line);
    pos = line.next;
  }
  m_sections.back().end = static_cast<std::uint32_t>(m_lines.size());
}

void IniText::Insert(std::vector<Slot>& table, std::uint32_t hash, std::uint32_t index) {
  const std::size_t mask = table.size() - 1;
  std::size_t i = hash & mask;
  while (table[i].index != 0) i = (i + 1) & mask;
  table[i] = {hash, index + 1};
}

void IniText::Index() {
  m_sectionIndex.assign(TableSizeFor(m_sections.size()), Slot{0, 0});
  std::size_t keys = 0;
  for (const IniLine& line : m_lines) keys += line.kind == LineKind::kKey;
  m_keyIndex.assign(TableSizeFor(keys), Slot{0, 0});

  for (std::size_t s = 1; s < m_sections.size(); ++s) {
    const std::string_view name = NameOf(m_sections[s].header);
    // Only the first section of a name is ever found, and its keys.
    if (name.empty() || FindSection(name) != kNotFound) continue;
    Insert(m_sectionIndex, HashName(name, kFnvBasis), static_cast<std::uint32_t>(s));
    const std::uint32_t seed = KeySeed(static_cast<int>(s));
    for (std::uint32_t i = m_sections[s].header + 1; i < m_sections[s].end; ++i) {
      if (m_lines[i].kind != LineKind::kKey || m_lines[i].nameLength == 0) continue;
      if (FindKey(static_cast<int>(s), NameOf(i)) == kNotFound)
        Insert(m_keyIndex, HashName(NameOf(i), seed), i);
    }
  }
}

std::string_view IniText::NameOf(std::uint32_t line) const {
  return std::string_view(m_text.data() + m_lines[line].name, m_lines[line].nameLength);
}

std::string_view IniText::ValueOf(int line) const {
  const IniLine& l = m_lines[static_cast<std::size_t>(line)];
  return std::string_view(m_text.data() + l.value, l.valueLength);
}

int IniText::FindSection(std::string_view name) const {
  name = TrimProfileSpace(name);
  if (name.empty()) return kNotFound;
  const std::uint32_t hash = HashName(name, kFnvBasis);
  const std::size_t mask = m_sectionIndex.size() - 1;
  for (std::size_t i = hash & mask; m_sectionIndex[i].index != 0; i = (i + 1) & mask) {
    const Slot& slot = m_sectionIndex[i];
    const std::uint32_t s = slot.index - 1;
    if (slot.hash == hash && SameName(NameOf(m_sections[s].header), name))
      return static_cast<int>(s);
  }
  return kNotFound;
}

int IniText::FindKey(int section, std::string_view name) const {
  name = TrimProfileSpace(name);
  if (section <= 0 || name.empty()) return kNotFound;
  const IniSection& sec = m_sections[static_cast<std::size_t>(section)];
  const std::uint32_t hash = HashName(name, KeySeed(section));
  const std::size_t mask = m_keyIndex.size() - 1;
  for (std::size_t i = hash & mask; m_keyIndex[i].index != 0; i = (i + 1) & mask) {
    const Slot& slot = m_keyIndex[i];
    const std::uint32_t line = slot.index - 1;
    // Two sections' keys may share a hash: the line must lie in this one.
    if (slot.hash == hash && line > sec.header && line < sec.end && SameName(NameOf(line), name))
      return static_cast<int>(line);
  }
  return kNotFound;
}

void IniText::AppendSectionNames(std::string* out) const {
  for (std::size_t s = 1; s < m_sections.size(); ++s) {
    const std::string_view name = NameOf(m_sections[s].header);
    if (!name.empty()) out->append(name).push_back('\0');
  }
}

void IniText::AppendKeyNames(int section, std::string* out) const {
  if (section <= 0) return;
  const IniSection& sec = m_sections[static_cast<std::size_t>(section)];
  for (std::uint32_t i = sec.header + 1; i < sec.end; ++i)
    if (m_lines[i].kind == LineKind::kKey && m_lines[i].nameLength != 0)
      out->append(NameOf(i)).push_back('\0');
}

const char* IniText::NewLine() const {
  const std::size_t nl = m_text.find('\n');
  if (nl == std::string::npos) return "\r\n";  // what Windows writes into a new file
  return nl > 0 && m_text[nl - 1] == '\r' ? "\r\n" : "\n";
}

bool IniText::WithKey(std::string_view section, std::string_view key, std::string_view value,
                      std::string* out) const {
  section = TrimProfileSpace(section);
  key = TrimProfileSpace(key);
  while (!value.empty() && IsProfileSpace(value.front())) value.remove_prefix(1);
  const char* nl = NewLine();
  const int s = FindSection(section);
  if (s == kNotFound) {
    *out = m_text;
    if (!out->empty() && out->back() != '\n') out->append(nl);
    out->append("[").append(section).append("]").append(nl);
    out->append(key).append("=").append(value).append(nl);
    return true;
  }
  const int k = FindKey(s, key);
  if (k != kNotFound) {
    if (ValueOf(k) == value) return false;
    // The line is rewritten from its name on (the name as the file spells
    // it); its line ending stays.
    const IniLine& line = m_lines[static_cast<std::size_t>(k)];
    out->assign(m_text, 0, line.name);
    out->append(NameOf(static_cast<std::uint32_t>(k))).append("=").append(value);
    out->append(m_text, line.end, std::string::npos);
    return true;
  }
  // A new key follows the section's last non-blank line (or its header), so
  // that blank lines before the next section stay where they are.
  const IniSection& sec = m_sections[static_cast<std::size_t>(s)];
  std::uint32_t after = sec.header;
  for (std::uint32_t i = sec.header + 1; i < sec.end; ++i)
    if (m_lines[i].kind != LineKind::kBlank) after = i;
  const IniLine& line = m_lines[after];
  out->assign(m_text, 0, line.next);
  if (line.next == line.end) out->append(nl);  // the file's last line had no line ending
  out->append(key).append("=").append(value).append(nl);
  out->append(m_text, line.next, std::string::npos);
  return true;
}

bool IniText::WithoutKey(std::string_view section, std::string_view key, std::string* out) const {
  const int k = FindKey(FindSection(section), key);
  if (k == kNotFound) return false;
  const IniLine& line = m_lines[static_cast<std::size_t>(k)];
  // A key line is never line 0 (a header precedes it), so no byte-order mark
  // is in the way.
  out->assign(m_text, 0, line.start);
  out->append(m_text, line.next, std::string::npos);
  return true;
}

bool IniText::WithoutSection(std::string_view section, std::string* out) const {
  const int s = FindSection(section);
  if (s == kNotFound) return false;
  const IniSection& sec = m_sections[static_cast<std::size_t>(s)];
  std::uint32_t from = m_lines[sec.header].start;
  if (from == 0 && m_text.compare(0, kBomLength, kByteOrderMark) == 0) from = kBomLength;
  const std::size_t to = sec.end < m_lines.size() ? m_lines[sec.end].start : m_text.size();
  out->assign(m_text, 0, from);
  out->append(m_text, to, std::string::npos);
  return true;
}

}  // namespace zrpal::profile
