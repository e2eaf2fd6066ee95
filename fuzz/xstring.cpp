// Fuzzes the editing, searching and path members of CXString and CXStringW
// with arbitrary texts (paths and names come from outside), indices and
// counts. Each wide operation, and each 8-bit one in single-byte mode, is
// checked against a plain std::basic_string model of the documented rules;
// in code page 932 the 8-bit string is only checked for consistency (any
// byte sequence, broken double-byte characters included, must be handled
// without reading or writing outside the buffer). Copies made along the way
// must never change when the original does.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pal/mbcs.h"
#include "pal/wstr.h"
#include "zr/xstring.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "mismatch: %s\n", what);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

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
    switch (in_.ConsumeIntegralInRange<int>(0, 15)) {
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
      Check(snapshots_[i] == static_cast<const Unit*>(copies_[i]), "a copy changed with its original");
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
  const bool dbcs = in.ConsumeBool();
  zrpal::_setmbcp(dbcs ? 932 : 0);
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
