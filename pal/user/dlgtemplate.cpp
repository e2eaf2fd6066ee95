// pal/user/dlgtemplate.cpp - parsing and writing dialog templates.
//
// Invariants of the reader: `pos` never passes `size`; every field is
// checked to fit before it is copied out (memcpy, so the block needs no
// alignment); strings are walked only up to the block's end, so a string
// without a terminator is a truncated template, never a read past it.
// The host is little-endian, as the format is (checked below).
#include "pal/user/dlgtemplate.h"

#include <bit>
#include <cstring>
#include <new>

namespace zrpal::dlg {

static_assert(std::endian::native == std::endian::little, "templates are read in place as little-endian");

namespace {

class Reader {
 public:
  Reader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}

  std::size_t Pos() const { return m_pos; }

  bool Read(void* out, std::size_t bytes) {
    if (m_size - m_pos < bytes) return false;
    std::memcpy(out, m_data + m_pos, bytes);
    m_pos += bytes;
    return true;
  }
  bool Word(WORD* out) { return Read(out, sizeof *out); }

  // Moves to the next multiple of `alignment`; false when that is past the end.
  bool Align(std::size_t alignment) {
    const std::size_t aligned = (m_pos + alignment - 1) / alignment * alignment;
    if (aligned > m_size) return false;
    m_pos = aligned;
    return true;
  }

  // A zero-terminated UTF-16 string; false when no terminator fits.
  bool String(std::u16string* out) {
    out->clear();
    for (;;) {
      WORD unit;
      if (!Word(&unit)) return false;
      if (unit == 0) return true;
      out->push_back(static_cast<char16_t>(unit));
    }
  }

  // A sz_Or_Ord field. `allowNone`: 0x0000 means absent (menu, class);
  // a title's 0x0000 is the empty string, which is the same bytes.
  bool Field(NameOrOrdinal* out) {
    WORD first;
    if (!Word(&first)) return false;
    if (first == kOrdinalMarker) {
      out->kind = NameOrOrdinal::Kind::kOrdinal;
      out->text.clear();
      return Word(&out->ordinal);
    }
    out->ordinal = 0;
    if (first == 0) {
      out->kind = NameOrOrdinal::Kind::kNone;
      out->text.clear();
      return true;
    }
    out->kind = NameOrOrdinal::Kind::kText;
    std::u16string rest;
    if (!String(&rest)) return false;
    out->text.assign(1, static_cast<char16_t>(first));
    out->text += rest;
    return true;
  }

 private:
  const BYTE* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

class Writer {
 public:
  explicit Writer(std::vector<BYTE>* out) : m_out(out) { m_out->clear(); }

  void Bytes(const void* p, std::size_t n) {
    const BYTE* b = static_cast<const BYTE*>(p);
    m_out->insert(m_out->end(), b, b + n);
  }
  void Word(WORD w) { Bytes(&w, sizeof w); }
  void Pad(std::size_t alignment) {
    while (m_out->size() % alignment != 0) m_out->push_back(0);
  }
  void String(const std::u16string& s) {
    Bytes(s.data(), s.size() * sizeof(char16_t));
    Word(0);
  }
  void Field(const NameOrOrdinal& f) {
    switch (f.kind) {
      case NameOrOrdinal::Kind::kNone: Word(0); break;
      case NameOrOrdinal::Kind::kOrdinal: Word(kOrdinalMarker); Word(f.ordinal); break;
      case NameOrOrdinal::Kind::kText: String(f.text); break;
    }
  }

 private:
  std::vector<BYTE>* m_out;
};

ParseResult ParseItem(Reader& r, bool extended, DialogItem* item) {
  if (!r.Align(kItemAlignment)) return ParseResult::kTruncated;
  if (extended) {
    DLGITEMTEMPLATEEX h;
    if (!r.Read(&h, sizeof h)) return ParseResult::kTruncated;
    item->helpId = h.helpID;
    item->exStyle = h.exStyle;
    item->style = h.style;
    item->x = h.x, item->y = h.y, item->cx = h.cx, item->cy = h.cy;
    item->id = h.id;
  } else {
    DLGITEMTEMPLATE h;
    if (!r.Read(&h, sizeof h)) return ParseResult::kTruncated;
    item->helpId = 0;
    item->exStyle = h.dwExtendedStyle;
    item->style = h.style;
    item->x = h.x, item->y = h.y, item->cx = h.cx, item->cy = h.cy;
    item->id = h.id;
  }
  if (!r.Field(&item->windowClass) || !r.Field(&item->title)) return ParseResult::kTruncated;
  // A control without a class cannot be created.
  if (item->windowClass.kind == NameOrOrdinal::Kind::kNone) return ParseResult::kBadField;
  WORD extra;
  if (!r.Word(&extra)) return ParseResult::kTruncated;
  item->creationData.resize(extra);
  if (extra && !r.Read(item->creationData.data(), extra)) return ParseResult::kTruncated;
  return ParseResult::kOk;
}

}  // namespace

ParseResult ParseDialogTemplate(const void* data, std::size_t size, DialogForm* out) try {
  Reader r(static_cast<const BYTE*>(data), size);
  DialogForm& f = *out;
  f = DialogForm();
  WORD count = 0;
  WORD probe[2];
  if (size < sizeof probe) return ParseResult::kTruncated;
  std::memcpy(probe, data, sizeof probe);
  f.extended = probe[1] == kExtendedSignature;
  if (f.extended) {
    DLGTEMPLATEEX h;
    if (!r.Read(&h, sizeof h)) return ParseResult::kTruncated;
    if (h.dlgVer != kExtendedVersion) return ParseResult::kBadField;
    f.helpId = h.helpID;
    f.exStyle = h.exStyle;
    f.style = h.style;
    count = h.cDlgItems;
    f.x = h.x, f.y = h.y, f.cx = h.cx, f.cy = h.cy;
  } else {
    DLGTEMPLATE h;
    if (!r.Read(&h, sizeof h)) return ParseResult::kTruncated;
    f.exStyle = h.dwExtendedStyle;
    f.style = h.style;
    count = h.cdit;
    f.x = h.x, f.y = h.y, f.cx = h.cx, f.cy = h.cy;
  }
  if (!r.Field(&f.menu) || !r.Field(&f.windowClass) || !r.Field(&f.title))
    return ParseResult::kTruncated;
  // A title is never an ordinal; absent means empty.
  if (f.title.IsOrdinal()) return ParseResult::kBadField;
  if (f.HasFont()) {
    if (!r.Word(&f.pointSize)) return ParseResult::kTruncated;
    if (f.extended) {
      if (!r.Word(&f.weight) || !r.Read(&f.italic, 1) || !r.Read(&f.charset, 1))
        return ParseResult::kTruncated;
    }
    if (!r.String(&f.face)) return ParseResult::kTruncated;
  }
  // Each item takes at least its header, so a count the block cannot hold is
  // refused before anything is reserved for it.
  const std::size_t itemBytes = f.extended ? sizeof(DLGITEMTEMPLATEEX) : sizeof(DLGITEMTEMPLATE);
  if (count > (size - r.Pos()) / itemBytes) return ParseResult::kTruncated;
  f.items.resize(count);
  for (DialogItem& item : f.items) {
    const ParseResult result = ParseItem(r, f.extended, &item);
    if (result != ParseResult::kOk) return result;
  }
  return ParseResult::kOk;
} catch (const std::bad_alloc&) {
  return ParseResult::kNoMemory;
}

bool WriteDialogTemplate(const DialogForm& f, std::vector<BYTE>* out) try {
  Writer w(out);
  if (f.items.size() > kMaxItems) return false;
  const WORD count = static_cast<WORD>(f.items.size());
  if (f.extended) {
    const DLGTEMPLATEEX h{kExtendedVersion, kExtendedSignature, f.helpId, f.exStyle, f.style,
                          count, f.x, f.y, f.cx, f.cy};
    w.Bytes(&h, sizeof h);
  } else {
    const DLGTEMPLATE h{f.style, f.exStyle, count, f.x, f.y, f.cx, f.cy};
    w.Bytes(&h, sizeof h);
  }
  w.Field(f.menu);
  w.Field(f.windowClass);
  w.Field(f.title);
  if (f.HasFont()) {
    w.Word(f.pointSize);
    if (f.extended) {
      w.Word(f.weight);
      w.Bytes(&f.italic, 1);
      w.Bytes(&f.charset, 1);
    }
    w.String(f.face);
  }
  for (const DialogItem& item : f.items) {
    w.Pad(kItemAlignment);
    if (f.extended) {
      const DLGITEMTEMPLATEEX h{item.helpId, item.exStyle, item.style, item.x, item.y,
                                item.cx,     item.cy,      item.id};
      w.Bytes(&h, sizeof h);
    } else {
      const DLGITEMTEMPLATE h{item.style, item.exStyle, item.x,  item.y,
                              item.cx,    item.cy,      static_cast<WORD>(item.id)};
      w.Bytes(&h, sizeof h);
    }
    w.Field(item.windowClass);
    w.Field(item.title);
    if (item.creationData.size() > 0xFFFF) return false;
    w.Word(static_cast<WORD>(item.creationData.size()));
    w.Bytes(item.creationData.data(), item.creationData.size());
  }
  return true;
} catch (const std::bad_alloc&) {
  return false;
}

}  // namespace zrpal::dlg
