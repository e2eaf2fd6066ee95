// params/paramtext.cpp - the parameter text: memory text, the item reader,
// the tree reader and the tree writer.
//
// Design: the tree reader keeps a stack of item readers, one per open file
// (the outermost input, then each include being read), and one current
// node. Items are classified after trimming: directive, section header,
// value, flag. Everything the reader cannot use is skipped without a
// message. Every buffer belongs to one call, so conversions in several
// threads do not meet; each item reader owns its 64 KiB line buffer.
//
// Invariants: the stack never holds more than kMaxIncludeDepth + 1 readers
// and no two readers of the same file name; the current node, when there
// is one, holds one reference that the reader gives back on every way out.
#include "params/paramtext.h"

#include <cstring>
#include <string>
#include <vector>

#include "params/memparam.h"
#include "params/treewalk.h"
#include "params/valuetext.h"
#include "zr/exception.h"
#include "zr/variant.h"

namespace zr {

namespace {

// White space: the C run-time's multibyte classification on single bytes.
// A zero byte is not white space.
constexpr bool IsTextSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool IsSpaceOrBar(char c) { return IsTextSpace(c) || c == '|'; }

}  // namespace

// --- Text in memory ------------------------------------------------------

CMemTextBuffer::CMemTextBuffer(std::size_t step) : m_step(step) {
  if (step == 0) throw CXException(ZRCAUSE_INVALIDARG);
}

void CMemTextBuffer::Write(const char* data, std::size_t n) {
  if (!data || n == 0) return;
  const std::size_t end = m_position + n;
  if (end > m_data.size()) {
    const std::size_t steps = (end - m_data.size() + m_step - 1) / m_step;
    m_data.resize(m_data.size() + steps * m_step, 0);
  }
  std::memcpy(m_data.data() + m_position, data, n);
  m_position = end;
}

int CMemTextSource::ReadLine(char* buffer, int max) {
  if (max <= 0) {
    buffer[0] = 0;
    return 0;
  }
  const std::size_t limit = static_cast<std::size_t>(max);
  const std::size_t left = m_size - m_position;
  const std::size_t n = left < limit ? left : limit;
  // The text, then the zeros up to the padded size (which hold no line feed).
  const std::size_t textLeft = m_position < m_textSize ? m_textSize - m_position : 0;
  const std::size_t fromText = textLeft < n ? textLeft : n;
  const char* start = m_data + (m_position < m_textSize ? m_position : m_textSize);
  const auto* feed = static_cast<const char*>(std::memchr(start, '\n', fromText));
  if (!feed) {
    std::memcpy(buffer, start, fromText);
    std::memset(buffer + fromText, 0, n - fromText);
    buffer[n] = 0;
    m_position += n;
    return static_cast<int>(n);
  }
  const int before = static_cast<int>(feed - start);
  std::memcpy(buffer, start, static_cast<std::size_t>(before) + 1);
  m_position += static_cast<std::size_t>(before) + 1;
  // The line feed stays, except in the last unit, where the zero replaces it.
  buffer[before < max - 1 ? before + 1 : before] = 0;
  return before;
}

// --- The item reader -------------------------------------------------------

CInputBuffer::CInputBuffer(CParamTextSource& source)
    : m_source(&source), m_line(new char[kLineMax + 1]) {}

CInputBuffer::CInputBuffer(std::unique_ptr<CParamTextSource> source)
    : m_owned(std::move(source)), m_source(m_owned.get()), m_line(new char[kLineMax + 1]) {}

int CInputBuffer::NextItem(char* out) {
  char* line = m_line.get();
  // Each pass consumes part of the line or reads a new one; reading ends
  // at the first line of 0 bytes.
  for (;;) {
    if (m_position >= m_end) {
      const int n = m_source->ReadLine(line, kLineMax);
      if (n <= 0) return 0;
      m_position = 0;
      m_end = n;
      // A zero byte stops the trimming: a line that runs into the zeros
      // after a memory file's text keeps its white space.
      while (m_end > 0 && IsSpaceOrBar(line[m_end - 1])) --m_end;
    }
    while (m_position < m_end && IsSpaceOrBar(line[m_position])) ++m_position;
    if (m_position >= m_end) continue;
    if (line[m_position] == ';') {  // a comment hides the rest of its line
      m_position = m_end;
      continue;
    }
    const char* start = line + m_position;
    const std::size_t rest = static_cast<std::size_t>(m_end - m_position);
    const auto* bar = static_cast<const char*>(std::memchr(start, '|', rest));
    const std::size_t span = bar ? static_cast<std::size_t>(bar - start) : rest;
    m_position += static_cast<int>(span);  // on the bar, or at the end
    int length = 0;
    if (!std::memchr(start, 0, span)) {
      std::memcpy(out, start, span);
      length = static_cast<int>(span);
    } else {
      for (std::size_t i = 0; i < span; ++i)
        if (start[i]) out[length++] = start[i];  // zero bytes add nothing
    }
    out[length] = 0;
    if (length > 0) return length;
  }
}

// --- The tree reader -------------------------------------------------------

namespace {

// The folder of a file name with a trailing separator ("\" for a name
// without one).
CXStringW FolderOf(const WCHAR* fileName) {
  CXStringW folder = CXStringW(fileName ? fileName : u"").FilePath();
  folder.AddDirDelim();
  return folder;
}

int CountComponents(const char* begin, const char* end) {
  int n = 1;
  for (const char* p = begin; p < end; ++p)
    if (*p == '\\') ++n;
  return n;
}

class CTreeReader {
 public:
  CTreeReader(CParamTextSource& input, IParam* root, CParamIncludeOpener* opener)
      : m_root(root), m_opener(opener), m_baseFolder(FolderOf(input.GetFileName())) {
    m_stack.push_back(std::make_unique<CInputBuffer>(input));
  }

  void Run() {
    std::unique_ptr<char[]> item(new char[CInputBuffer::kLineMax + 1]);
    while (!m_stack.empty()) {
      const int length = m_stack.back()->NextItem(item.get());
      if (length == 0)
        m_stack.pop_back();
      else
        Handle(item.get(), length);
    }
  }

 private:
  void Handle(char* item, int length) {
    if (item[0] == ';') return;
    char* begin = item;
    char* end = item + length;
    while (begin < end && IsTextSpace(*begin)) ++begin;
    while (end > begin && IsTextSpace(end[-1])) --end;
    *end = 0;
    if (end - begin <= 1 || *begin == ';') return;
    if (*begin == '#') return Directive(begin + 1, end);
    if (*begin == '[') return Header(begin, end);
    if (!m_current) return;  // before the first section
    char* equals =
        static_cast<char*>(std::memchr(begin, '=', static_cast<std::size_t>(end - begin)));
    if (CountComponents(begin, equals ? equals : end) > kMaxPathComponents) return;
    if (equals) return Value(begin, equals, end);
    const CZRVariant flag(0);
    m_current->SetValue(begin, &flag);
  }

  // "#", white space, a word, white space, an argument up to white space.
  void Directive(char* p, char* end) {
    while (p < end && IsTextSpace(*p)) ++p;
    char* word = p;
    while (p < end && !IsTextSpace(*p)) ++p;
    const std::size_t wordLength = static_cast<std::size_t>(p - word);
    while (p < end && IsTextSpace(*p)) ++p;
    char* argument = p;
    while (p < end && !IsTextSpace(*p)) ++p;
    char* argumentEnd = p;
    if (wordLength != 7 || argument == argumentEnd) return;
    *(word + wordLength) = 0;
    if (!EqualNoCase(word, "include")) return;
    if (*argument == '"') ++argument;
    if (argumentEnd == end && argumentEnd > argument && argumentEnd[-1] == '"') --argumentEnd;
    *argumentEnd = 0;
    Include(argument);
  }

  void Include(const char* name) {
    if (!m_opener || static_cast<int>(m_stack.size()) > kMaxIncludeDepth ||
        m_included >= kMaxIncludedFiles)
      return;
    const CXStringW wide(name);
    CXStringW first = wide;
    if (name[0] == '.') {
      first = FolderOf(m_stack.back()->Source().GetFileName());
      first += wide;
    }
    CXStringW second = m_baseFolder;
    second += wide;
    std::unique_ptr<CParamTextSource> opened = m_opener->Open(first);
    if (std::unique_ptr<CParamTextSource> other = m_opener->Open(second)) opened = std::move(other);
    if (!opened || IsOpen(opened->GetFileName())) return;
    ++m_included;
    m_stack.push_back(std::make_unique<CInputBuffer>(std::move(opened)));
  }

  bool IsOpen(const WCHAR* fileName) {
    const std::u16string_view name(fileName ? fileName : u"");
    for (const auto& reader : m_stack) {
      const WCHAR* open = reader->Source().GetFileName();
      if (name == std::u16string_view(open ? open : u"")) return true;
    }
    return false;
  }

  // "[", the root's backslash, then the path; a final "]" is dropped.
  void Header(char* begin, char* end) {
    if (end[-1] == ']') *--end = 0;
    char* p = end - begin > 2 ? begin + 2 : end;
    if (CountComponents(p, end) > kMaxPathComponents) return;
    m_root->AddRef();
    m_current.Reset(m_root);
    // Components are what lies between backslashes; empty ones are skipped.
    while (p < end && m_current) {
      char* stop = static_cast<char*>(std::memchr(p, '\\', static_cast<std::size_t>(end - p)));
      if (!stop) stop = end;
      *stop = 0;
      if (stop > p) m_current.Reset(m_current->OpenParam(p, 1));
      p = stop + 1;
    }
  }

  // name = value text; white space around the "=" is dropped.
  void Value(char* begin, char* equals, char* end) {
    char* nameEnd = equals;
    while (nameEnd > begin && IsTextSpace(nameEnd[-1])) --nameEnd;
    *nameEnd = 0;
    const char* text = equals + 1;
    while (text < end && IsTextSpace(*text)) ++text;
    CZRVariant value;
    if (!ParseValueText(text, &value)) return;
    CMemParam::SetValueTaking(m_current.Get(), begin, value);
  }

  IParam* m_root;
  CParamIncludeOpener* m_opener;
  CXStringW m_baseFolder;
  std::vector<std::unique_ptr<CInputBuffer>> m_stack;
  CParamRef m_current;
  int m_included = 0;
};

}  // namespace

int ReadParamText(CParamTextSource& input, IParam* root, CParamIncludeOpener* opener) {
  if (!root) return 0;
  CTreeReader reader(input, root, opener);
  reader.Run();
  return 1;
}

// --- The tree writer -------------------------------------------------------

namespace {

void Put(CParamTextSink& out, const char* text) { out.Write(text, std::strlen(text)); }

void WriteNode(IParam* node, CParamTextSink& out, const char* path, std::string& text) {
  Put(out, "\r\n[");
  Put(out, path ? path : "\\");
  Put(out, "]\t");

  CNameWalk values(node->EnumValues());
  while (const char* name = values.Next()) {
    CZRVariant value;
    if (!node->GetValue(name, &value)) continue;
    text.clear();
    if (value.vt == ZRVT_WSTR) {
      // Wide text is written as 8-bit text of the process code page.
      text += FindValueTextByType(ZRVT_STR)->tag;
      text += CXString(value.pwszVal ? value.pwszVal : u"");
    } else {
      const CValueTextRow* row = FindValueTextByType(value.vt);
      if (!row) continue;
      text += row->tag;
      row->format(value, text);
    }
    Put(out, "\t| ");
    Put(out, name);
    Put(out, "=");
    out.Write(text.data(), text.size());
  }

  CNameWalk children(node->EnumParams());
  while (const char* name = children.Next()) {
    CParamRef child(node->OpenParam(name, 0));
    if (!child) continue;
    std::string childPath = path ? path : "";
    childPath += '\\';
    childPath += name;
    WriteNode(child.Get(), out, childPath.c_str(), text);
  }
}

}  // namespace

void WriteParamText(IParam* node, CParamTextSink& out, const char* path) {
  if (!node) return;
  std::string text;
  WriteNode(node, out, path, text);
}

}  // namespace zr
