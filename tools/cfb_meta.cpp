// zrtool cfb meta - the document properties of a compound file.
//
//   zrtool cfb meta FILE               every property of the summary set,
//                                      the document summary set and its
//                                      user-defined set, one a line:
//                                      set, identifier, name, type, value
//   zrtool cfb meta FILE NAME=VALUE..  sets the named summary properties
//                                      ("Title", "Author", "Company", ...:
//                                      the names of IZRProperty) as 8-bit
//                                      strings and commits the file
//
// Reading goes through the engine's IPropertyStorage; writing through the
// library's summary-information object, as a caller of IZRProperty writes.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "pal/codepage.h"
#include "pal/ole/propidl.h"
#include "pal/ole/storage.h"
#include "storage/summary_info.h"

using namespace zrpal;

namespace {

constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

std::string Utf8(const WCHAR* s) {
  std::string out;
  if (!s) return out;
  const int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
  if (n > 1) {
    out.resize(static_cast<std::size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
  }
  return out;
}

std::string AnsiToUtf8(const char* s) {
  if (!s || !*s) return "";
  const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  if (n <= 0) return s;
  std::u16string w(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, s, -1, w.data(), n);
  return Utf8(w.c_str());
}

const char* SummaryName(PROPID id) {
  static const char* const kNames[] = {nullptr,     nullptr,        "title",        "subject",
                                       "author",    "keywords",     "comments",     "template",
                                       "last author", "revision",   "edit time",    "last printed",
                                       "created",   "last saved",   "pages",        "words",
                                       "characters", "thumbnail",   "application",  "security"};
  return id < std::size(kNames) ? kNames[id] : nullptr;
}

const char* DocSummaryName(PROPID id) {
  static const char* const kNames[] = {nullptr,   nullptr,  "category", "presentation target",
                                       "bytes",   "lines",  "paragraphs", "slides",
                                       "notes",   "hidden slides", "multimedia clips", "scale",
                                       "heading pairs", "titles of parts", "manager", "company",
                                       "links up to date"};
  return id < std::size(kNames) ? kNames[id] : nullptr;
}

std::string Time(const FILETIME& ft) {
  const std::uint64_t t = ft.dwLowDateTime | std::uint64_t{ft.dwHighDateTime} << 32;
  constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;  // 1970 in 100 ns since 1601
  if (t < kUnixEpoch) {  // a duration (edit time) or a date before 1970
    char buf[40];
    std::snprintf(buf, sizeof buf, "%" PRIu64 " s", t / 10000000u);
    return buf;
  }
  const std::time_t s = static_cast<std::time_t>((t - kUnixEpoch) / 10000000u);
  std::tm tm{};
  gmtime_r(&s, &tm);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return buf;
}

std::string Value(const PROPVARIANT& v);

std::string Element(VARTYPE t, const BYTE* at) {
  PROPVARIANT e{};
  e.vt = t;
  std::memcpy(&e.cVal, at, t == VT_VARIANT ? 0 : sizeof e.hVal);
  if (t == VT_VARIANT) return Value(*reinterpret_cast<const PROPVARIANT*>(at));
  if (t == VT_LPSTR || t == VT_LPWSTR) std::memcpy(&e.pszVal, at, sizeof(void*));
  return Value(e);
}

std::string Value(const PROPVARIANT& v) {
  char buf[64];
  if (v.vt & VT_VECTOR) {
    const VARTYPE t = v.vt & ~VT_VECTOR;
    std::size_t size = t == VT_VARIANT ? sizeof(PROPVARIANT)
                       : t == VT_LPSTR || t == VT_LPWSTR ? sizeof(void*)
                       : t == VT_I2 || t == VT_UI2 || t == VT_BOOL ? 2
                       : t == VT_I1 || t == VT_UI1 ? 1
                       : t == VT_I4 || t == VT_UI4 || t == VT_R4 || t == VT_ERROR ? 4
                       : t == VT_CLSID || t == VT_CF ? 16 : 8;
    std::string out = "[";
    for (ULONG i = 0; i < v.caub.cElems; ++i) {
      if (i) out += ", ";
      const BYTE* at = v.caub.pElems + i * size;
      if (t == VT_CLSID || t == VT_CF) out += "<" + std::to_string(size) + " bytes>";
      else out += Element(t, at);
    }
    return out + "]";
  }
  switch (v.vt) {
    case VT_EMPTY: return "(empty)";
    case VT_NULL: return "(null)";
    case VT_I1: return std::to_string(v.cVal);
    case VT_UI1: return std::to_string(v.bVal);
    case VT_I2: return std::to_string(v.iVal);
    case VT_UI2: return std::to_string(v.uiVal);
    case VT_I4: case VT_INT: return std::to_string(v.lVal);
    case VT_UI4: case VT_UINT: return std::to_string(v.ulVal);
    case VT_ERROR: std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v.scode)); return buf;
    case VT_I8: return std::to_string(v.hVal.QuadPart);
    case VT_UI8: return std::to_string(v.uhVal.QuadPart);
    case VT_R4: std::snprintf(buf, sizeof buf, "%g", v.fltVal); return buf;
    case VT_R8: case VT_DATE: std::snprintf(buf, sizeof buf, "%g", v.dblVal); return buf;
    case VT_CY: std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(v.cyVal) / 10000); return buf;
    case VT_BOOL: return v.boolVal ? "true" : "false";
    case VT_FILETIME: return Time(v.filetime);
    case VT_LPSTR: return "\"" + AnsiToUtf8(v.pszVal) + "\"";
    case VT_LPWSTR: return "\"" + Utf8(v.pwszVal) + "\"";
    case VT_BLOB: return "<" + std::to_string(v.blob.cbSize) + " bytes>";
    case VT_CF: return "<clipboard format " + std::to_string(v.pclipdata->ulClipFmt) + ", " +
                       std::to_string(v.pclipdata->cbSize - 4) + " bytes>";
    case VT_CLSID:
      std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-...}", static_cast<unsigned>(v.puuid->Data1),
                    v.puuid->Data2, v.puuid->Data3);
      return buf;
    default: return "?";
  }
}

// Lists one set; 0 when it is missing, 1 when listed, -1 on an error.
int ListSet(IPropertySetStorage* sets, REFFMTID fmtid, const char* label, const char* (*nameOf)(PROPID)) {
  IPropertyStorage* set = nullptr;
  HRESULT hr = sets->Open(fmtid, kRead, &set);
  if (hr == STG_E_FILENOTFOUND) return 0;
  if (FAILED(hr)) {
    std::printf("%s: error 0x%08X\n", label, static_cast<unsigned>(hr));
    return -1;
  }
  PROPSPEC spec{};
  spec.ulKind = PRSPEC_PROPID;
  spec.propid = PID_CODEPAGE;
  PROPVARIANT cp{};
  if (set->ReadMultiple(1, &spec, &cp) == S_OK)
    std::printf("%s\t1\tcode page\tVT_I2\t%u\n", label, static_cast<unsigned>(static_cast<WORD>(cp.iVal)));
  IEnumSTATPROPSTG* e = nullptr;
  int rc = 1;
  if (SUCCEEDED(set->Enum(&e))) {
    STATPROPSTG st;
    while (e->Next(1, &st, nullptr) == S_OK) {
      spec.propid = st.propid;
      PROPVARIANT v{};
      hr = set->ReadMultiple(1, &spec, &v);
      std::string name = st.lpwstrName ? Utf8(st.lpwstrName) : (nameOf && nameOf(st.propid) ? nameOf(st.propid) : "");
      std::printf("%s\t%u\t%s\t0x%04X\t%s\n", label, static_cast<unsigned>(st.propid), name.c_str(), st.vt,
                  SUCCEEDED(hr) ? Value(v).c_str() : "(not readable)");
      PropVariantClear(&v);
      CoTaskMemFree(st.lpwstrName);
    }
    e->Release();
  }
  set->Release();
  return rc;
}

}  // namespace

int CfbMeta(int argc, char** argv) {
  // argv: "meta" FILE [NAME=VALUE...]
  if (argc < 2) return 2;
  const std::string file = argv[1];
  const std::u16string wfile(file.begin(), file.end());
  IStorage* root = nullptr;
  if (argc == 2) {
    HRESULT hr = StgOpenStorage(wfile.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &root);
    if (FAILED(hr)) {
      std::fprintf(stderr, "zrtool cfb: %s: opening: error 0x%08X\n", file.c_str(), static_cast<unsigned>(hr));
      return 1;
    }
    IPropertySetStorage* sets = nullptr;
    root->QueryInterface(IID_IPropertySetStorage, reinterpret_cast<void**>(&sets));
    int rc = 0;
    if (ListSet(sets, FMTID_SummaryInformation, "summary", SummaryName) < 0) rc = 1;
    if (ListSet(sets, FMTID_DocSummaryInformation, "document", DocSummaryName) < 0) rc = 1;
    if (ListSet(sets, FMTID_UserDefinedProperties, "user", nullptr) < 0) rc = 1;
    sets->Release();
    root->Release();
    return rc;
  }
  HRESULT hr = StgOpenStorage(wfile.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED,
                              nullptr, 0, &root);
  if (hr == STG_E_FILENOTFOUND)
    hr = StgCreateDocfile(wfile.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED, 0,
                          &root);
  if (FAILED(hr)) {
    std::fprintf(stderr, "zrtool cfb: %s: opening: error 0x%08X\n", file.c_str(), static_cast<unsigned>(hr));
    return 1;
  }
  IZRProperty* props = zr::NewSummaryInfo(root);
  int rc = 0;
  for (int i = 2; i < argc; ++i) {
    const char* eq = std::strchr(argv[i], '=');
    if (!eq) {
      std::fprintf(stderr, "zrtool cfb: %s: not NAME=VALUE\n", argv[i]);
      rc = 2;
      break;
    }
    const std::string name(argv[i], static_cast<std::size_t>(eq - argv[i]));
    CZRVariant value(eq + 1);
    if (!props->SetProperty(name.c_str(), &value)) {
      std::fprintf(stderr, "zrtool cfb: %s: %s: not written (unknown name or empty value)\n", file.c_str(),
                   name.c_str());
      rc = 1;
      break;
    }
  }
  props->Release();
  if (rc == 0 && FAILED(hr = root->Commit(STGC_DEFAULT))) {
    std::fprintf(stderr, "zrtool cfb: %s: committing: error 0x%08X\n", file.c_str(), static_cast<unsigned>(hr));
    rc = 1;
  }
  root->Release();
  return rc;
}
