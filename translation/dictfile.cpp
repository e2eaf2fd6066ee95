// translation/dictfile.cpp - the text rules of dictionary files (see
// dictfile.h).
//
// Everything here works on byte views with an explicit end: a line may hold
// zero bytes (the line reader stores them), and the text rules stop at the
// first one, as a C string would.
#include "translation/dictfile.h"

#include <cstring>

#include "pal/codepage.h"
#include "pal/nls/locale.h"
#include "zr/exception.h"

namespace zr {

namespace {

bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr char kQuote = '"';
constexpr char kComment = ';';
constexpr char kEscape = '\\';

}  // namespace

CLeadBytes::CLeadBytes(UINT codePage) {
  for (int b = 0; b < 256; ++b)
    m_lead[b] = zrpal::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(b)) != 0;
}

bool CountedLineText(std::string_view line, const CLeadBytes& lead, std::string_view* text) {
  // A zero byte ends the text, as it ends the reader's C string.
  const std::size_t zero = line.find('\0');
  if (zero != std::string_view::npos) line = line.substr(0, zero);
  if (line.empty() || line[0] == kComment) return false;

  // Trim whole characters: find the first non-blank character, then the end
  // of the last one, walking forward so that a trail byte is never read as
  // a character of its own.
  const char* p = line.data();
  const char* end = p + line.size();
  while (p < end && IsSpace(static_cast<unsigned char>(*p))) ++p;
  const char* first = p;
  const char* lastStart = p;   // start of the last non-blank character
  std::size_t characters = 0;  // characters up to the end of that one
  std::size_t counted = 0;
  while (p < end) {
    const std::size_t n = lead.CharBytes(p, end);
    ++counted;
    if (!(n == 1 && IsSpace(static_cast<unsigned char>(*p)))) {
      lastStart = p;
      characters = counted;
    }
    p += n;
  }
  if (characters < 2 || *first != kQuote) return false;
  *text = std::string_view(first + 1, static_cast<std::size_t>(lastStart - (first + 1)));
  return true;
}

std::string EscapeText(std::string_view text, const CLeadBytes& lead, EscapeReport* report) {
  std::string out;
  out.reserve(text.size());
  bool open = false;  // a backslash waits for the character after it
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const std::size_t n = lead.CharBytes(p, end);
    if (n == 2) {  // a double-byte character: "any other character"
      if (open) {
        out += kEscape;
        if (report) ++report->kept;
        open = false;
      }
      out.append(p, 2);
      p += 2;
      continue;
    }
    const char c = *p++;
    if (!open) {
      if (c == kEscape)
        open = true;
      else
        out += c;
      continue;
    }
    switch (c) {
      case 'n':
        out += '\n';
        open = false;
        break;
      case 'r':
        out += '\r';
        open = false;
        break;
      case 't':
        out += '\t';
        open = false;
        break;
      case kEscape:
        break;  // the first backslash is dropped; the escape stays open
      default:
        out += kEscape;
        out += c;
        open = false;
        if (report) ++report->kept;
        break;
    }
  }
  if (open && report) ++report->droppedAtEnd;
  return out;
}

long LanguageIdOf(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  ULONG value = 0;  // wraps as the run-time's 32-bit atoi does
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<ULONG>(text[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<long>(static_cast<LONG>(value));
}

bool LocaleCodePage(long localeId, UINT* codePage) {
  const auto lcid = static_cast<zrpal::LCID>(localeId);
  if (localeId < 0 || !zrpal::IsValidLocale(lcid, zrpal::LCID_SUPPORTED)) return false;
  DWORD value = 0;
  WCHAR buffer[sizeof(DWORD) / sizeof(WCHAR)];
  if (zrpal::GetLocaleInfoW(lcid, zrpal::LOCALE_IDEFAULTANSICODEPAGE | zrpal::LOCALE_RETURN_NUMBER,
                            buffer, static_cast<int>(std::size(buffer))) == 0)
    return false;
  std::memcpy(&value, buffer, sizeof value);
  *codePage = value;
  return true;
}

std::vector<DictionaryLine> ReadDictionaryLines(IXFile* file, bool* failed) {
  std::vector<DictionaryLine> lines;
  *failed = false;
  // The reader stores up to 8192 bytes and a terminator.
  std::string buffer(kDictionaryLineBytes + 1, '\0');
  int number = 1;
  try {
    for (;;) {
      const int n = file->ReadLine(buffer.data(), kDictionaryLineBytes);
      // The count excludes a newline; the end of the data gives 0 and an
      // empty text, an empty line 0 and the newline.
      const bool newline = n < kDictionaryLineBytes && buffer[static_cast<std::size_t>(n)] == '\n';
      if (n == 0 && !newline) break;
      lines.push_back(
          {std::string(buffer.data(), static_cast<std::size_t>(n) + (newline ? 1 : 0)), number});
      if (newline) ++number;
    }
  } catch (const CXFileException&) {
    *failed = true;
  }
  return lines;
}

DictionaryText ParseDictionary(const std::vector<DictionaryLine>& lines, UINT fallbackCodePage) {
  DictionaryText result;

  // First scan, for the language only: "ZR_WLD_LANG_ID" and its number are
  // ASCII, so single-byte reading finds them whatever the code page.
  {
    const CLeadBytes single(zrpal::CP_UTF8 /* no lead bytes */);
    std::string_view text;
    std::string_view source;
    bool haveSource = false;
    for (const DictionaryLine& line : lines) {
      if (!CountedLineText(line.text, single, &text)) continue;
      if (!haveSource) {
        source = text;
        haveSource = true;
        continue;
      }
      if (source == kLanguageIdSource) {
        result.hasLanguageId = true;
        result.languageId = LanguageIdOf(text);
      }
      haveSource = false;
    }
  }

  UINT codePage = fallbackCodePage;
  UINT languagePage = 0;
  if (result.hasLanguageId && LocaleCodePage(result.languageId, &languagePage) && languagePage != 0)
    codePage = languagePage;
  result.codePage = codePage;

  const CLeadBytes lead(codePage);
  result.pairs.reserve(lines.size() / 2);
  std::string_view text;
  std::string_view source;
  int sourceLine = 0;
  bool haveSource = false;
  for (const DictionaryLine& line : lines) {
    if (!CountedLineText(line.text, lead, &text)) continue;
    if (!haveSource) {
      source = text;
      sourceLine = line.number;
      haveSource = true;
      continue;
    }
    DictionaryPair pair;
    pair.source = EscapeText(source, lead, &pair.escapes);
    pair.translation = EscapeText(text, lead, &pair.escapes);
    pair.sourceLine = sourceLine;
    pair.translationLine = line.number;
    result.pairs.push_back(std::move(pair));
    haveSource = false;
  }
  if (haveSource) result.unpairedLine = sourceLine;
  return result;
}

}  // namespace zr
