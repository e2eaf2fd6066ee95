// params/paramtext.cpp - the parameter text: the item reader, the tree
// reader and the tree writer.
//
// Design: the item reader splits pieces of lines (IXFile::ReadLine gives at
// most 64 KiB at a time) at bars, carrying an item that a piece boundary
// cuts over to the next piece. The tree reader keeps a stack of item
// readers, one per open file (the outermost input, then each include being
// read), and one current node. Items are classified after trimming:
// directive, section header, value, flag. Everything the reader cannot use
// is skipped without a message (a caller may ask to be told, with the file
// and the line). Every buffer belongs to one call, so conversions in
// several threads do not meet; each item reader owns its 64 KiB line buffer.
//
// Invariants: the stack never holds more than kMaxIncludeDepth + 1 readers
// and no two readers of the same file name; the current node, when there
// is one, holds one reference that the reader gives back on every way out.
// An item reader's position and end lie within the piece it read, and its
// position is always on a character boundary.
#include "params/paramtext.h"

#include <cstring>
#include <string>
#include <vector>

#include "pal/mbcs.h"
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

// --- The item reader -------------------------------------------------------

namespace {

// The bytes of the character at p (p < end): 2 for a lead byte followed by
// a trail byte in double-byte mode, else 1. A lead byte before a zero byte
// or the end is a character of its own, as in the run-time's routines.
inline int CharBytes(const char* p, const char* end, bool doubleByte) {
  return doubleByte && p + 1 < end && p[1] && zrpal::_ismbblead(static_cast<unsigned char>(*p)) ? 2
                                                                                                : 1;
}

// The first whole character `c` in [p, end) (never a trail byte), or end.
const char* FindChar(const char* p, const char* end, char c, bool doubleByte) {
  if (!doubleByte) {
    const void* found = std::memchr(p, c, static_cast<std::size_t>(end - p));
    return found ? static_cast<const char*>(found) : end;
  }
  while (p < end && *p != c) p += CharBytes(p, end, true);
  return p < end ? p : end;
}

// The start of the last character of [begin, end) (not empty).
const char* LastChar(const char* begin, const char* end, bool doubleByte) {
  if (!doubleByte) return end - 1;
  const char* last = begin;
  for (const char* p = begin; p < end; p += CharBytes(p, end, true)) last = p;
  return last;
}

// The end of line[0, end) less the white space and bars at its end.
int TrimmedEnd(const char* line, int end, bool doubleByte) {
  if (!doubleByte) {
    while (end > 0 && IsSpaceOrBar(line[end - 1])) --end;
    return end;
  }
  int kept = 0;
  for (int i = 0; i < end;) {
    const int n = CharBytes(line + i, line + end, true);
    if (n == 2 || !IsSpaceOrBar(line[i])) kept = i + n;
    i += n;
  }
  return kept;
}

bool DoubleByteMode() { return zrpal::_getmbcp() != 0; }

}  // namespace

CInputBuffer::CInputBuffer(CParamTextSource& source)
    : m_source(&source), m_buffer(new char[kLineMax + 1]), m_doubleByte(DoubleByteMode()) {}

CInputBuffer::CInputBuffer(std::unique_ptr<CParamTextSource> source)
    : m_owned(std::move(source)),
      m_source(m_owned.get()),
      m_buffer(new char[kLineMax + 1]),
      m_doubleByte(DoubleByteMode()) {}

bool CInputBuffer::ReadPiece(int kept) {
  char* line = m_buffer.get();
  const int max = kLineMax - kept;
  int n = m_source->ReadLine(line + kept, max);
  if (n < 0 || n > max) n = n < 0 ? 0 : max;  // a source that breaks the line rule
  // max bytes without a line feed: the line goes on (or the data ended
  // exactly there, and the next piece is empty).
  m_cut = n == max;
  m_position = 0;
  m_end = kept + n;
  // A zero byte stops the trimming: a line that runs into the zeros after a
  // memory file's text keeps its white space.
  if (!m_cut) m_end = TrimmedEnd(line, m_end, m_doubleByte);
  return n > 0;
}

int CInputBuffer::NextItem(char* out) {
  char* line = m_buffer.get();
  // Each pass consumes part of the piece or reads a new one; reading ends
  // at the first line of 0 bytes.
  for (;;) {
    if (m_position >= m_end) {
      if (m_cut) {
        // An empty next piece: the line ended exactly at the cut.
        if (!ReadPiece(0)) continue;
      } else {
        if (!ReadPiece(0)) return 0;
        ++m_line;
        m_skip = false;
      }
      if (m_skip) {
        m_position = m_end;
        continue;
      }
    }
    while (m_position < m_end && IsSpaceOrBar(line[m_position])) ++m_position;
    if (m_position >= m_end) continue;
    if (line[m_position] == ';') {  // a comment hides the rest of its line
      m_skip = m_cut;
      m_position = m_end;
      continue;
    }
    const char* start = line + m_position;
    const char* bar = FindChar(start, line + m_end, '|', m_doubleByte);
    if (bar == line + m_end && m_cut && m_position > 0) {
      // The item goes on in the next piece: keep it at the start of the
      // buffer and read the rest of the line after it.
      const int kept = m_end - m_position;
      std::memmove(line, start, static_cast<std::size_t>(kept));
      ReadPiece(kept);
      continue;
    }
    const std::size_t span = static_cast<std::size_t>(bar - start);
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

class CTreeReader {
 public:
  CTreeReader(CParamTextSource& input, IParam* root, CParamIncludeOpener* opener,
              CParamTextReport* report)
      : m_root(root),
        m_opener(opener),
        m_report(report),
        m_baseFolder(FolderOf(input.GetFileName())),
        m_doubleByte(DoubleByteMode()) {
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
  void Skip(ParamTextSkip why, const char* item) {
    if (!m_report) return;
    CInputBuffer& top = *m_stack.back();
    m_report->Skipped(why, top.Source().GetFileName(), top.Line(), item);
  }

  // The components between backslashes of [begin, end) (whole characters).
  int CountComponents(const char* begin, const char* end) const {
    int n = 1;
    for (const char* p = begin; (p = FindChar(p, end, '\\', m_doubleByte)) < end; ++p) ++n;
    return n;
  }

  void Handle(char* item, int length) {
    if (item[0] == ';') return;
    char* begin = item;
    char* end = item + length;
    while (begin < end && IsTextSpace(*begin)) ++begin;
    while (end > begin && IsTextSpace(end[-1])) --end;
    *end = 0;
    if (end - begin <= 1 || *begin == ';') return;
    if (*begin == '#') return Directive(begin, end);
    if (*begin == '[') return Header(begin, end);
    if (!m_current) return Skip(ParamTextSkip::kBeforeSection, begin);
    char* equals =
        static_cast<char*>(std::memchr(begin, '=', static_cast<std::size_t>(end - begin)));
    if (CountComponents(begin, equals ? equals : end) > kMaxPathComponents)
      return Skip(ParamTextSkip::kTooDeep, begin);
    if (equals) return Value(begin, equals, end);
    const CZRVariant flag(0);
    m_current->SetValue(begin, &flag);
  }

  // "#", white space, a word, white space, an argument up to white space.
  void Directive(char* item, char* end) {
    char* p = item + 1;
    while (p < end && IsTextSpace(*p)) ++p;
    char* word = p;
    while (p < end && !IsTextSpace(*p)) ++p;
    const std::size_t wordLength = static_cast<std::size_t>(p - word);
    while (p < end && IsTextSpace(*p)) ++p;
    char* argument = p;
    while (p < end && !IsTextSpace(*p)) ++p;
    char* argumentEnd = p;
    if (wordLength != 7 || argument == argumentEnd || zrpal::_strnicmp(word, "include", 7) != 0)
      return Skip(ParamTextSkip::kDirective, item);
    if (*argument == '"') ++argument;
    if (argumentEnd == end && argumentEnd > argument && argumentEnd[-1] == '"') --argumentEnd;
    *argumentEnd = 0;
    Include(argument);
  }

  void Include(const char* name) {
    if (!m_opener) return;
    if (static_cast<int>(m_stack.size()) > kMaxIncludeDepth || m_included >= kMaxIncludedFiles)
      return Skip(ParamTextSkip::kIncludeBounded, name);
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
    if (!opened) return Skip(ParamTextSkip::kIncludeMissing, name);
    if (IsOpen(opened->GetFileName())) return Skip(ParamTextSkip::kIncludeBounded, name);
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
    const bool closed = *LastChar(begin, end, m_doubleByte) == ']';
    if (closed) *--end = 0;
    char* p = end - begin > 2 ? begin + 2 : end;
    if (CountComponents(p, end) > kMaxPathComponents) {
      if (closed) *end = ']';  // the item whole again for the report
      return Skip(ParamTextSkip::kTooDeep, begin);
    }
    m_root->AddRef();
    m_current.Reset(m_root);
    // Components are what lies between backslashes; empty ones are skipped.
    while (p < end && m_current) {
      char* stop = const_cast<char*>(FindChar(p, end, '\\', m_doubleByte));
      *stop = 0;
      if (stop > p) m_current.Reset(m_current->OpenParam(p, 1));
      p = stop + 1;
    }
  }

  // name = value text; white space around the "=" is dropped.
  void Value(char* begin, char* equals, char* end) {
    char* nameEnd = equals;
    while (nameEnd > begin && IsTextSpace(nameEnd[-1])) --nameEnd;
    const char nameStop = *nameEnd;
    *nameEnd = 0;
    const char* text = equals + 1;
    while (text < end && IsTextSpace(*text)) ++text;
    CZRVariant value;
    if (!ParseValueText(text, &value)) {
      *nameEnd = nameStop;  // the item whole again for the report
      return Skip(ParamTextSkip::kBadValue, begin);
    }
    CMemParam::SetValueTaking(m_current.Get(), begin, value);
  }

  IParam* m_root;
  CParamIncludeOpener* m_opener;
  CParamTextReport* m_report;
  CXStringW m_baseFolder;
  bool m_doubleByte;
  std::vector<std::unique_ptr<CInputBuffer>> m_stack;
  CParamRef m_current;
  int m_included = 0;
};

}  // namespace

int ReadParamText(CParamTextSource& input, IParam* root, CParamIncludeOpener* opener,
                  CParamTextReport* report) {
  if (!root) return 0;
  CTreeReader reader(input, root, opener, report);
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
