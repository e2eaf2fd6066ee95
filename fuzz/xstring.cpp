// Fuzzes the editing, searching, comparing, copying, concatenating and path
// members of CXString and CXStringW with arbitrary texts (paths and names
// come from outside), indices, counts and single characters, and the
// conversion between the two widths. Each wide operation, and each 8-bit
// one in single-byte mode (1252 or the plain single-byte setting), is
// checked against a plain std::basic_string model of the documented rules;
// under the double-byte code pages 932, 936, 949 and 950 the 8-bit string is
// checked for consistency (any byte sequence, broken double-byte characters
// included, must be handled without reading or writing outside the buffer,
// and sizes, copies and searches must agree with each other). Copies made
// along the way must never change when the string they came from does. The conversion
// follows the ANSI code page: run under each with scripts/fuzz's CODEPAGE.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "fuzz/check.h"
#include "pal/mbcs.h"
#include "pal/wstr.h"
#include "zr/xstring.h"

namespace {

// --- The model: the documented rules over std::basic_string ----------------

template <class Unit>
using Model = std::basic_string<Unit>;

template <class Unit>
struct Range {
  std::size_t begin, end;
};

template <class Unit>
Range<Unit> ModelRange(const Model<Unit>& m, int index, int count) {
  const std::int64_t length = static_cast<std::int64_t>(m.size());
  std::int64_t at = index;
  if (at < 0 || at >= length) at = length;
  std::int64_t first = std::max<std::int64_t>(std::min(at, at + count), 0);
  std::int64_t last = std::min(std::max(at, at + count), length);
  if (first >= last) return {0, 0};
  return {static_cast<std::size_t>(first), static_cast<std::size_t>(last)};
}

bool IsSpace(char c) { return zrpal::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsSpace(WCHAR c) { return zrpal::iswspace(c) != 0; }

template <class Unit>
Unit AsciiUpper(Unit c) {
  return c >= 'a' && c <= 'z' ? static_cast<Unit>(c - 32) : c;
}
template <class Unit>
Unit AsciiLower(Unit c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Unit>(c + 32) : c;
}

// --- Inputs ------------------------------------------------------------------

// Texts are drawn from a small alphabet so that searches and delimiters hit.
template <class Unit>
Model<Unit> TextFrom(FuzzedDataProvider& in) {
  static constexpr unsigned char kAlphabet[] = {'a', 'b', 'A', '.', '\\', '/', ':', ' ', '\t',
                                                0x82, 0xA0, 0x95, 0x5C, 0x81, 0xFF, 'z'};
  Model<Unit> text;
  const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 12);
  for (std::size_t i = 0; i < n && in.remaining_bytes(); ++i) {
    const unsigned char b = in.ConsumeIntegral<unsigned char>();
    Unit u = b & 0x80 ? static_cast<Unit>(b) : static_cast<Unit>(kAlphabet[b % sizeof kAlphabet]);
    if (sizeof(Unit) == 2 && b == 0x7F) u = static_cast<Unit>(0x3000);  // a wide space
    if (u) text.push_back(u);
  }
  return text;
}

// A character argument: a unit of the alphabet, or for the 8-bit class
// a double-byte code now and then. Never 0 (that has rules of its own).
template <class Unit>
WCHAR CharFrom(FuzzedDataProvider& in) {
  const Model<Unit> one = TextFrom<Unit>(in);
  WCHAR ch = one.empty() ? WCHAR{'a'} : static_cast<WCHAR>(static_cast<std::make_unsigned_t<Unit>>(one[0]));
  if (sizeof(Unit) == 1 && in.ConsumeBool()) ch = static_cast<WCHAR>(ch << 8 | 0x41);
  return ch;
}

template <class Unit>
Model<Unit> AsciiLowered(Model<Unit> m) {
  for (Unit& c : m) c = AsciiLower(c);
  return m;
}

template <class Unit>
int Sign(const Model<Unit>& a, const Model<Unit>& b) {
  const int c = a.compare(b);
  return (c > 0) - (c < 0);
}

int IndexFrom(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return in.ConsumeIntegralInRange<int>(-3, 40);
    case 1: return in.ConsumeIntegral<int>();
    default: return in.ConsumeIntegralInRange<int>(0, 12);
  }
}

// --- One width ---------------------------------------------------------------

template <class S, class Unit>
class Run {
 public:
  // `modelled`: the model holds (always for the wide class; in single-byte
  // mode for the 8-bit one).
  Run(FuzzedDataProvider& in, bool modelled) : in_(in), modelled_(modelled) {}

  void Step() {
    const Model<Unit> text = TextFrom<Unit>(in_);
    const int index = IndexFrom(in_);
    const int count = IndexFrom(in_);
    Snapshot();
    switch (in_.ConsumeIntegralInRange<int>(0, 22)) {
      case 0:
        s_ = text.c_str();
        m_ = text;
        break;
      case 1: {
        s_.Insert(index, text.c_str());
        if (!text.empty()) {
          const std::size_t at = index < 0 || static_cast<std::size_t>(index) > m_.size() ? m_.size() : index;
          m_.insert(at, text);
        }
        break;
      }
      case 2: {
        s_.Delete(index, count);
        const Range<Unit> r = ModelRange(m_, index, count);
        m_.erase(r.begin, r.end - r.begin);
        break;
      }
      case 3: {
        s_.Replace(index, count, text.c_str());
        const Range<Unit> r = ModelRange(m_, index, count);
        if (!text.empty() && r.end > r.begin) m_.replace(r.begin, r.end - r.begin, text);
        break;
      }
      case 4: {
        S out(text.c_str());
        const int n = s_.Extract(index, count, out);
        const Range<Unit> r = ModelRange(m_, index, count);
        Check(!modelled_ || Model<Unit>(static_cast<const Unit*>(out)) == m_.substr(r.begin, r.end - r.begin),
              "Extract output");
        Check(!modelled_ || n == static_cast<int>(r.end - r.begin), "Extract size");
        break;
      }
      case 5: {
        s_.Extract(index, count);
        const Range<Unit> r = ModelRange(m_, index, count);
        m_ = m_.substr(r.begin, r.end - r.begin);
        break;
      }
      case 6: {
        const Model<Unit> with = TextFrom<Unit>(in_);
        const int done = s_.FindReplace(text.c_str(), with.c_str());
        const std::size_t at = m_.find(text);
        Check(!modelled_ || done == (at != Model<Unit>::npos), "FindReplace result");
        if (at != Model<Unit>::npos) m_.replace(at, text.size(), with);
        break;
      }
      case 7: {
        s_.TrimLeft();
        std::size_t i = 0;
        while (i < m_.size() && IsSpace(m_[i])) ++i;
        m_.erase(0, i);
        break;
      }
      case 8: {
        s_.TrimRight();
        std::size_t n = m_.size();
        while (n > 0 && IsSpace(m_[n - 1])) --n;
        m_.resize(n);
        break;
      }
      case 9:
        s_.Upper();
        for (Unit& c : m_) c = AsciiUpper(c);
        break;
      case 10:
        s_.Lower();
        for (Unit& c : m_) c = AsciiLower(c);
        break;
      case 11: {
        const int found = s_.Find(text.c_str(), index);
        const std::size_t start = std::min<std::size_t>(static_cast<unsigned>(index), m_.size());
        const std::size_t at = m_.empty() ? Model<Unit>::npos : m_.find(text, start);
        Check(!modelled_ || found == (at == Model<Unit>::npos ? -1 : static_cast<int>(at)), "Find");
        break;
      }
      case 12: {
        const int found = s_.FindRevOnOf(text.c_str());
        const std::size_t at = m_.empty() || text.empty() ? Model<Unit>::npos : m_.find_last_of(text);
        Check(!modelled_ || found == (at == Model<Unit>::npos ? -1 : static_cast<int>(at)), "FindRevOnOf");
        break;
      }
      case 13: {
        s_ += text.c_str();
        m_ += text;
        break;
      }
      case 14: {
        // Paths: whatever the text, the parts are pieces of it.
        Unit buf[64];
        const S name = s_.FileName();
        const S path = s_.FilePath();
        const int baseLength = s_.GetFileName(nullptr);
        Check(baseLength <= name.GetSize(), "GetFileName length");
        if (s_.GetSize() < 60) {
          s_.GetFileExt(buf);
          s_.GetFilePath(buf);
        }
        Check(path.GetSize() + name.GetSize() <= s_.GetSize(), "path parts");
        s_.ChangeFileExt(text.c_str());
        m_ = static_cast<const Unit*>(s_);
        break;
      }
      case 16:
        Compare(text, count);
        break;
      case 17: {
        const int found = s_.FindOnOf(text.c_str(), index);
        const std::size_t start = std::min<std::size_t>(static_cast<unsigned>(index), m_.size());
        const std::size_t at = m_.empty() ? Model<Unit>::npos : m_.find_first_of(text, start);
        Check(!modelled_ || found == (at == Model<Unit>::npos ? -1 : static_cast<int>(at)), "FindOnOf");
        Check(found >= -1 && found <= s_.GetLength(), "FindOnOf range");
        break;
      }
      case 18:
        Copies(static_cast<unsigned>(index), static_cast<unsigned>(count));
        break;
      case 19:
        Concatenations(text);
        break;
      case 20:
        Characters(index);
        break;
      case 21:
        if constexpr (sizeof(Unit) == 2) {
          // Case-insensitive search: ASCII letters fold, nothing else.
          const int found = s_.FindI(text.c_str());
          const std::size_t at = m_.empty() ? Model<Unit>::npos : AsciiLowered(m_).find(AsciiLowered(text));
          Check(found == (at == Model<Unit>::npos ? -1 : static_cast<int>(at)), "FindI");
        } else {
          s_.FindReplace(text.c_str(), CharFrom<Unit>(in_));
          m_ = static_cast<const Unit*>(s_);
        }
        break;
      case 22:
        Conversions();
        break;
      default: {
        const S before(s_);
        const int result = s_.ReducePathString(index % 64);
        Check(result == 0 || result == 1, "ReducePathString result");
        if (result == 0) Check(Model<Unit>(static_cast<const Unit*>(before)) == static_cast<const Unit*>(s_),
                               "ReducePathString 0 changes nothing");
        m_ = static_cast<const Unit*>(s_);
        break;
      }
    }
    Verify();
  }

 private:
  // Comparisons: the sign of a comparison of the units (as unsigned), ASCII
  // letters folded for the case-insensitive ones, n characters for the N
  // forms (a negative n reads as unsigned: everything). Always -1, 0 or 1
  // and antisymmetric.
  void Compare(const Model<Unit>& text, int n) {
    const S other(text.c_str());
    const int results[] = {s_.Compare(text.c_str()), s_.CompareI(text.c_str()),
                           s_.CompareN(text.c_str(), n), s_.CompareIN(text.c_str(), n)};
    const int reversed[] = {other.Compare(s_), other.CompareI(s_), other.CompareN(s_, n),
                            other.CompareIN(s_, n)};
    for (std::size_t i = 0; i < 4; ++i) {
      Check(results[i] >= -1 && results[i] <= 1, "comparison range");
      Check(results[i] == -reversed[i], "comparison antisymmetric");
    }
    Check(s_.Compare(static_cast<const Unit*>(nullptr)) == 1, "comparison with null");
    if (!modelled_) return;
    const std::size_t units = static_cast<unsigned>(n);
    const Model<Unit> a = m_.substr(0, std::min(units, m_.size()));
    const Model<Unit> b = text.substr(0, std::min(units, text.size()));
    Check(results[0] == Sign(m_, text), "Compare");
    Check(results[1] == Sign(AsciiLowered(m_), AsciiLowered(text)), "CompareI");
    Check(results[2] == Sign(a, b), "CompareN");
    Check(results[3] == Sign(AsciiLowered(a), AsciiLowered(b)), "CompareIN");
  }

  // Sizes of prefixes and copies out: the model's prefixes; in double-byte
  // mode, whole characters that agree with each other.
  void Copies(unsigned start, unsigned n) {
    const std::size_t size = static_cast<std::size_t>(s_.GetSize());
    std::vector<Unit> out(size + 2, Unit{0x5A});
    Check(s_.Copy(out.data()) == static_cast<int>(size), "Copy size");
    Check(Model<Unit>(out.data()) == static_cast<const Unit*>(s_), "Copy content");
    Check(s_.Copy(static_cast<Unit*>(nullptr)) == 0, "Copy to null");
    const int prefix = s_.GetSize(n);
    Check(prefix >= 0 && static_cast<std::size_t>(prefix) <= size, "GetSize(n) range");
    std::fill(out.begin(), out.end(), Unit{0x5A});
    Check(s_.Copy(out.data(), n) == prefix, "Copy(n) size");
    Check(out[static_cast<std::size_t>(prefix)] == 0 && out[static_cast<std::size_t>(prefix) + 1] == 0x5A,
          "Copy(n) terminator");
    const int middle = s_.GetSize(start, n);
    Check(middle >= 0 && static_cast<std::size_t>(s_.GetSize(start) + middle) <= size, "GetSize(start, n)");
    const unsigned fit = n % static_cast<unsigned>(size + 3);
    std::fill(out.begin(), out.end(), Unit{0x5A});
    const int fitted = s_.CopyFit(out.data(), fit);
    if (fit == 0) {
      Check(fitted == 0 && out[0] == 0x5A, "CopyFit 0");
    } else {
      Check(fitted >= 0 && static_cast<unsigned>(fitted) < fit && out[static_cast<std::size_t>(fitted)] == 0,
            "CopyFit size");
      Check(std::equal(out.begin(), out.begin() + fitted, static_cast<const Unit*>(s_)), "CopyFit content");
      // A whole-character prefix: the size of some number of characters,
      // and the next character would not have fitted.
      unsigned chars = 0;
      while (s_.GetSize(chars + 1) <= fitted && chars < size) ++chars;
      Check(s_.GetSize(chars) == fitted, "CopyFit whole characters");
      Check(static_cast<unsigned>(s_.GetSize(chars + 1)) > fit - 1 || fitted == static_cast<int>(size),
            "CopyFit longest");
    }
    if (!modelled_) return;
    Check(prefix == static_cast<int>(std::min<std::size_t>(n, m_.size())), "GetSize(n)");
    const std::size_t from = std::min<std::size_t>(start, m_.size());
    Check(middle == static_cast<int>(std::min<std::size_t>(n, m_.size() - from)), "GetSize(start, n)");
    Check(fit == 0 || fitted == static_cast<int>(std::min<std::size_t>(fit - 1, m_.size())), "CopyFit");
  }

  // The operator+ forms against the model; none changes its operands.
  void Concatenations(const Model<Unit>& text) {
    const S other(text.c_str());
    const WCHAR ch = CharFrom<Unit>(in_);
    const S results[] = {s_ + other, s_ + text.c_str(), text.c_str() + s_, s_ + ch, ch + s_};
    const Model<Unit> self(static_cast<const Unit*>(s_));
    Check(Model<Unit>(static_cast<const Unit*>(results[0])) == self + text, "operator+ strings");
    Check(Model<Unit>(static_cast<const Unit*>(results[1])) == self + text, "operator+ text");
    Check(Model<Unit>(static_cast<const Unit*>(results[2])) == text + self, "text + operator");
    const Unit u = static_cast<Unit>(sizeof(Unit) == 1 ? ch & 0xFF : ch);
    if (modelled_) {
      Check(Model<Unit>(static_cast<const Unit*>(results[3])) == self + u, "operator+ char");
      Check(Model<Unit>(static_cast<const Unit*>(results[4])) == u + self, "char + operator");
    } else {
      Check(results[3].GetSize() > s_.GetSize() && results[4].GetSize() > s_.GetSize(), "operator+ char grows");
    }
    s_ = results[in_.ConsumeIntegralInRange<std::size_t>(0, 4)];
    m_ = static_cast<const Unit*>(s_);
  }

  // Character arguments: inserting, appending and searching for one.
  void Characters(int index) {
    const WCHAR ch = CharFrom<Unit>(in_);
    // In single-byte mode a code whose high byte is no lead byte is its low
    // byte.
    const Unit u = static_cast<Unit>(sizeof(Unit) == 1 ? ch & 0xFF : ch);
    const std::size_t start = std::min<std::size_t>(static_cast<unsigned>(index), m_.size());
    const int found = s_.Find(ch, index);
    const std::size_t at = m_.empty() ? Model<Unit>::npos : m_.find(u, start);
    Check(!modelled_ || found == (at == Model<Unit>::npos ? -1 : static_cast<int>(at)), "Find(ch)");
    const int last = s_.FindRev(ch);
    const std::size_t lastAt = m_.empty() ? Model<Unit>::npos : m_.rfind(u);
    Check(!modelled_ || last == (lastAt == Model<Unit>::npos ? -1 : static_cast<int>(lastAt)), "FindRev(ch)");
    Check(found >= -1 && found <= s_.GetLength() && last >= -1 && last < s_.GetLength() + 1, "char search range");
    switch (in_.ConsumeIntegralInRange<int>(0, 2)) {
      case 0:
        s_ += ch;
        if (modelled_) m_ += u;
        break;
      case 1: {
        s_.Insert(index, ch);
        if (modelled_) m_.insert(index < 0 || static_cast<std::size_t>(index) > m_.size() ? m_.size() : index, 1, u);
        break;
      }
      default:
        s_.FindReplace(ch, CharFrom<Unit>(in_));
        m_ = static_cast<const Unit*>(s_);
        break;
    }
    if (!modelled_) m_ = static_cast<const Unit*>(s_);
  }

  // Conversion to the other width and back, through the ANSI code page:
  // ASCII text is the same text in both widths; anything converts without
  // fault; a text converted twice in the same direction gives the same.
  void Conversions() {
    using Other = std::conditional_t<sizeof(Unit) == 1, CXStringW, CXString>;
    const Other there(static_cast<const Unit*>(s_));
    const S back(static_cast<const typename std::conditional_t<sizeof(Unit) == 1, WCHAR, char>*>(there));
    const bool ascii = std::all_of(m_.begin(), m_.end(), [](Unit c) { return c > 0 && c < 0x80; });
    if (modelled_ && ascii) {
      Check(Model<Unit>(static_cast<const Unit*>(back)) == m_, "ASCII round trip");
      Check(there.GetSize() == s_.GetSize(), "ASCII converts unit for unit");
    }
    const Other again(static_cast<const Unit*>(s_));
    Check(again.Compare(there) == 0, "conversion is a function");
    Other assigned;
    assigned = static_cast<const Unit*>(s_);
    Check(assigned.Compare(there) == 0, "assignment converts as construction");
  }

  void Snapshot() {
    copies_.push_back(s_);
    snapshots_.push_back(static_cast<const Unit*>(s_));
    if (copies_.size() > 4) {
      copies_.erase(copies_.begin());
      snapshots_.erase(snapshots_.begin());
    }
  }

  void Verify() {
    const Unit* p = s_;
    Check(s_.GetSize() == static_cast<int>(std::char_traits<Unit>::length(p)), "GetSize");
    Check(s_.GetLength() <= s_.GetSize(), "GetLength");
    if (modelled_) Check(m_ == p, "content");
    for (std::size_t i = 0; i < copies_.size(); ++i)
      Check(snapshots_[i] == static_cast<const Unit*>(copies_[i]), "a copy changed with the string it came from");
  }

  FuzzedDataProvider& in_;
  bool modelled_;
  S s_;
  Model<Unit> m_;
  std::vector<S> copies_;
  std::vector<Model<Unit>> snapshots_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // The multibyte code page of the 8-bit class: single-byte (the plain
  // setting and 1252, modelled) or double-byte.
  constexpr int kCodePages[] = {zrpal::_MB_CP_SBCS, 1252, 932, 936, 949, 950};
  const int codePage = in.PickValueInArray(kCodePages);
  Check(zrpal::_setmbcp(codePage) == 0, "_setmbcp");
  const bool dbcs = zrpal::_getmbcp() != 0;
  Run<CXString, char> narrow(in, !dbcs);
  Run<CXStringW, WCHAR> wide(in, true);
  for (int step = 0; step < 64 && in.remaining_bytes(); ++step) {
    if (in.ConsumeBool())
      narrow.Step();
    else
      wide.Step();
  }
  zrpal::_setmbcp(0);
  return 0;
}
