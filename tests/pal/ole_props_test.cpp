// Property sets of the compound-file engine, and interoperability with
// independent software: python3-olefile, gsf (libgsf-bin) and olecfinfo
// (libolecf-utils) read what the engine writes, and files other software
// wrote read as olefile reads them.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "ole_helpers.h"
#include "pal/codepage.h"
#include "pal/ole/propidl.h"
#include "pal/ole/propset_value.h"

using namespace ole_test;
namespace fmt = zrpal::ole::ps;

namespace {

const FMTID kOtherSet = {
    0x12345678, 0x9ABC, 0xDEF0, {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}};

PROPSPEC Id(PROPID id) {
  PROPSPEC s{};
  s.ulKind = PRSPEC_PROPID;
  s.propid = id;
  return s;
}
PROPSPEC Named(const char16_t* name) {
  PROPSPEC s{};
  s.ulKind = PRSPEC_LPWSTR;
  s.lpwstr = const_cast<LPOLESTR>(name);
  return s;
}

// A compound file on disk, removed at the end, and its property set storage.
struct File {
  explicit File(const std::string& name, bool create = true) : path(TempPath(name)) {
    const std::u16string w = Wide(path);
    const HRESULT hr = create ? StgCreateDocfile(w.c_str(), STGM_CREATE | kRw, 0, &root)
                              : StgOpenStorage(w.c_str(), nullptr, kRw, nullptr, 0, &root);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(root->QueryInterface(IID_IPropertySetStorage, reinterpret_cast<void**>(&sets)), S_OK);
  }
  void Close() {
    if (sets) sets->Release();
    if (root) root->Release();
    sets = nullptr;
    root = nullptr;
  }
  ~File() {
    Close();
    unlink(path.c_str());
  }
  std::string path;
  IStorage* root = nullptr;
  IPropertySetStorage* sets = nullptr;
};

// The bytes a value encodes to: two values are equal when these are.
std::string Encoded(const PROPVARIANT& v) {
  fmt::Bytes b;
  if (FAILED(fmt::EncodeValue(v, CP_WINUNICODE, b))) return "<not encodable>";
  return std::string(b.begin(), b.end());
}

// One value of each decoded type (vectors included).
std::vector<PROPVARIANT> SampleValues() {
  static char text[] = "caf\xC3\xA9 text";  // UTF-8, the test process's ANSI code page
  static char16_t wide[] = u"wide \u0416";
  static BYTE blob[] = {1, 2, 3, 4, 5};
  static CLSID clsid = {0xA1B2C3D4, 0x1122, 0x3344, {5, 6, 7, 8, 9, 10, 11, 12}};
  static BYTE clip[] = {9, 8, 7};
  static CLIPDATA cf = {4 + sizeof clip, -3, clip};
  static short shorts[] = {-1, 2, 300};
  static char one[] = "one", two[] = "two2";
  static LPSTR texts[] = {one, two};
  static PROPVARIANT mixed[2];
  mixed[0].vt = VT_LPSTR;
  mixed[0].pszVal = one;
  mixed[1].vt = VT_I4;
  mixed[1].lVal = 7;
  std::vector<PROPVARIANT> v(17);
  v[0].vt = VT_I2, v[0].iVal = -12345;
  v[1].vt = VT_I4, v[1].lVal = -7;
  v[2].vt = VT_UI4, v[2].ulVal = 0xFEDCBA98;
  v[3].vt = VT_R8, v[3].dblVal = 3.25;
  v[4].vt = VT_BOOL, v[4].boolVal = VARIANT_TRUE;
  v[5].vt = VT_FILETIME, v[5].filetime = {0x89ABCDEF, 0x01D9F000};
  v[6].vt = VT_LPSTR, v[6].pszVal = text;
  v[7].vt = VT_LPWSTR, v[7].pwszVal = wide;
  v[8].vt = VT_BLOB, v[8].blob = {sizeof blob, blob};
  v[9].vt = VT_CF, v[9].pclipdata = &cf;
  v[10].vt = VT_CLSID, v[10].puuid = &clsid;
  v[11].vt = VT_VECTOR | VT_I2, v[11].cai = {3, shorts};
  v[12].vt = VT_VECTOR | VT_LPSTR, v[12].calpstr = {2, texts};
  v[13].vt = VT_VECTOR | VT_VARIANT, v[13].capropvar = {2, mixed};
  v[14].vt = VT_UI1, v[14].bVal = 200;
  v[15].vt = VT_I8, v[15].hVal.QuadPart = -1234567890123ll;
  v[16].vt = VT_EMPTY;
  return v;
}

class PropValues : public ::testing::TestWithParam<DWORD> {};

TEST_P(PropValues, EveryDecodedTypeSurvivesWriteAndReopen) {
  const auto values = SampleValues();
  std::vector<PROPSPEC> specs;
  for (std::size_t i = 0; i < values.size(); ++i) specs.push_back(Id(static_cast<PROPID>(10 + i)));
  File written("values" + std::to_string(GetParam()));
  IPropertyStorage* ps = nullptr;
  ASSERT_EQ(written.sets->Create(kOtherSet, nullptr, GetParam(), STGM_CREATE | kRw, &ps), S_OK);
  ASSERT_EQ(ps->WriteMultiple(static_cast<ULONG>(values.size()), specs.data(), values.data(), 2),
            S_OK);
  ps->Release();  // a direct set is written on release
  written.Close();
  File f("values" + std::to_string(GetParam()), false);
  ASSERT_EQ(f.sets->Open(kOtherSet, kRead, &ps), S_OK);
  std::vector<PROPVARIANT> got(values.size());
  ASSERT_EQ(ps->ReadMultiple(static_cast<ULONG>(values.size()), specs.data(), got.data()), S_OK);
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(Encoded(got[i]), Encoded(values[i])) << "type 0x" << std::hex << values[i].vt;
  FreePropVariantArray(static_cast<ULONG>(got.size()), got.data());
  STATPROPSETSTG stat;
  ASSERT_EQ(ps->Stat(&stat), S_OK);
  EXPECT_EQ(stat.grfFlags & PROPSETFLAG_ANSI, GetParam() & PROPSETFLAG_ANSI);
  ps->Release();
}

INSTANTIATE_TEST_SUITE_P(UnicodeAndAnsi, PropValues, ::testing::Values(0u, PROPSETFLAG_ANSI));

TEST(PropSets, NamesMapToNewIdentifiersAndMatchWithoutCase) {
  File f("names");
  IPropertyStorage* ps = nullptr;
  ASSERT_EQ(f.sets->Create(FMTID_UserDefinedProperties, nullptr, 0, STGM_CREATE | kRw, &ps), S_OK);
  PROPSPEC specs[] = {Named(u"Client"), Named(u"Due")};
  PROPVARIANT values[2] = {};
  values[0].vt = VT_LPWSTR, values[0].pwszVal = const_cast<LPWSTR>(u"Acme");
  values[1].vt = VT_I4, values[1].lVal = 42;
  ASSERT_EQ(ps->WriteMultiple(2, specs, values, 100), S_OK);
  PROPID ids[] = {100, 101, 102};
  LPOLESTR names[3];
  ASSERT_EQ(ps->ReadPropertyNames(3, ids, names), S_OK);
  EXPECT_EQ(std::u16string(names[0]), u"Client");
  EXPECT_EQ(std::u16string(names[1]), u"Due");
  EXPECT_EQ(names[2], nullptr);
  for (LPOLESTR n : names) CoTaskMemFree(n);
  PROPSPEC upper = Named(u"CLIENT");
  PROPVARIANT v{};
  ASSERT_EQ(ps->ReadMultiple(1, &upper, &v), S_OK);
  EXPECT_EQ(std::u16string(v.pwszVal), u"Acme");
  PropVariantClear(&v);
  PROPSPEC missing = Named(u"Nobody");
  EXPECT_EQ(ps->ReadMultiple(1, &missing, &v), S_FALSE);
  EXPECT_EQ(v.vt, VT_EMPTY);
  IEnumSTATPROPSTG* e = nullptr;
  ASSERT_EQ(ps->Enum(&e), S_OK);
  STATPROPSTG st[3];
  ULONG n = 0;
  EXPECT_EQ(e->Next(3, st, &n), S_FALSE);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(st[0].propid, 100u);
  EXPECT_EQ(st[0].vt, VT_LPWSTR);
  EXPECT_EQ(std::u16string(st[1].lpwstrName), u"Due");
  for (ULONG i = 0; i < n; ++i) CoTaskMemFree(st[i].lpwstrName);
  e->Release();
  PROPSPEC dict = Id(PID_DICTIONARY);
  EXPECT_EQ(ps->WriteMultiple(1, &dict, values, 2), STG_E_INVALIDPARAMETER);
  PROPVARIANT bad{};
  bad.vt = VT_DISPATCH;
  EXPECT_EQ(ps->WriteMultiple(1, specs, &bad, 2), STG_E_INVALIDPARAMETER);
  ps->Release();
}

TEST(PropSets, DoubleByteCodePageStoresItsOwnBytes) {
  File f("cp932");
  IPropertyStorage* ps = nullptr;
  ASSERT_EQ(
      f.sets->Create(FMTID_SummaryInformation, nullptr, PROPSETFLAG_ANSI, STGM_CREATE | kRw, &ps),
      S_OK);
  PROPSPEC cp = Id(PID_CODEPAGE), title = Id(PIDSI_TITLE);
  PROPVARIANT v{};
  v.vt = VT_I2, v.iVal = 932;
  ASSERT_EQ(ps->WriteMultiple(1, &cp, &v, 2), S_OK);
  v.vt = VT_LPSTR,
  v.pszVal = const_cast<char*>("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");  // 日本語 in UTF-8
  ASSERT_EQ(ps->WriteMultiple(1, &title, &v, 2), S_OK);
  // Once the set holds values its code page stays.
  v.vt = VT_I2, v.iVal = 1252;
  EXPECT_EQ(ps->WriteMultiple(1, &cp, &v, 2), STG_E_INVALIDPARAMETER);
  ps->Release();
  EXPECT_NE(Get(f.root, u"\005SummaryInformation").find("\x93\xFA\x96\x7B\x8C\xEA"),
            std::string::npos);
  ASSERT_EQ(f.sets->Open(FMTID_SummaryInformation, kRead, &ps), S_OK);
  ASSERT_EQ(ps->ReadMultiple(1, &title, &v), S_OK);
  EXPECT_STREQ(v.pszVal, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
  PropVariantClear(&v);
  ps->Release();
}

TEST(PropSets, UserDefinedSectionLivesBesideTheDocumentSummarySet) {
  File f("userdef");
  IPropertyStorage* doc = nullptr;
  IPropertyStorage* user = nullptr;
  PROPSPEC company = Id(PIDDSI_COMPANY), client = Named(u"Client");
  PROPVARIANT v{};
  v.vt = VT_LPSTR, v.pszVal = const_cast<char*>("Acme");
  ASSERT_EQ(f.sets->Create(FMTID_UserDefinedProperties, nullptr, PROPSETFLAG_ANSI, kRw, &user),
            S_OK);
  ASSERT_EQ(user->WriteMultiple(1, &client, &v, PID_FIRST_NAME_DEFAULT), S_OK);
  user->Release();
  // The stream holds both sets now; the document summary set is empty.
  EXPECT_EQ(f.sets->Create(FMTID_UserDefinedProperties, nullptr, 0, kRw, &user),
            STG_E_FILEALREADYEXISTS);
  ASSERT_EQ(f.sets->Open(FMTID_DocSummaryInformation, kRw, &doc), S_OK);
  ASSERT_EQ(doc->WriteMultiple(1, &company, &v, 2), S_OK);
  doc->Release();
  ASSERT_EQ(f.sets->Open(FMTID_UserDefinedProperties, kRead, &user), S_OK);
  ASSERT_EQ(user->ReadMultiple(1, &client, &v), S_OK);
  EXPECT_STREQ(v.pszVal, "Acme");
  PropVariantClear(&v);
  user->Release();
  IEnumSTATPROPSETSTG* e = nullptr;
  ASSERT_EQ(f.sets->Enum(&e), S_OK);
  STATPROPSETSTG st[4];
  ULONG n = 0;
  e->Next(4, st, &n);
  e->Release();
  ASSERT_EQ(n, 2u);
  EXPECT_TRUE(st[0].fmtid == FMTID_DocSummaryInformation &&
              st[1].fmtid == FMTID_UserDefinedProperties);
  ASSERT_EQ(f.sets->Delete(FMTID_UserDefinedProperties), S_OK);
  EXPECT_EQ(f.sets->Open(FMTID_UserDefinedProperties, kRead, &user), STG_E_FILENOTFOUND);
  ASSERT_EQ(f.sets->Open(FMTID_DocSummaryInformation, kRead, &doc), S_OK);
  EXPECT_EQ(doc->ReadMultiple(1, &company, &v), S_OK);
  PropVariantClear(&v);
  doc->Release();
  f.Close();
  EXPECT_NE(RunCommand("/usr/bin/python3 " + DataDir() + "/props_dump.py " + f.path)
                .find("D|15|b:41636d65"),
            std::string::npos);
}

// A summary stream written by hand: code page 1252, a VT_DECIMAL and a
// vector of VT_BSTR (types the engine keeps without decoding, with odd
// padding bytes), and a title.
std::string U32(std::uint32_t v) {
  return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
const std::string kDecimal =
    U32(VT_DECIMAL) +
    std::string("\x00\x00\x02\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\xAA\xBB\xCC\xDD",
                20);
const std::string kBstrs = U32(VT_VECTOR | VT_BSTR) + U32(1) + U32(3) + std::string("ab\0\x77", 4);

std::string HandMadeSet(std::uint32_t titleType = VT_LPSTR) {
  const std::string props[] = {U32(VT_I2) + U32(1252), kDecimal, kBstrs,
                               U32(titleType) + U32(6) + std::string("Hello\0\0\0", 8)};
  const PROPID ids[] = {1, 30, 31, 2};
  std::string table, body;
  std::uint32_t at = 8 + 8 * 4;
  for (int i = 0; i < 4; ++i) {
    table += U32(ids[i]) + U32(at);
    body += props[i];
    at += static_cast<std::uint32_t>(props[i].size());
  }
  fmt::Bytes id;
  fmt::PutGuid(id, FMTID_SummaryInformation);
  return std::string("\xFE\xFF\x00\x00", 4) + U32(0x00020006) + std::string(16, '\0') + U32(1) +
         std::string(id.begin(), id.end()) + U32(48) + U32(at) + U32(4) + table + body;
}

TEST(PropSets, TypesNotDecodedAreKeptByteForByte) {
  File f("kept");
  const std::string original = HandMadeSet();
  Put(f.root, u"\005SummaryInformation", original);
  IPropertyStorage* ps = nullptr;
  ASSERT_EQ(f.sets->Open(FMTID_SummaryInformation, kRw, &ps), S_OK);
  PROPSPEC dec = Id(30), title = Id(PIDSI_TITLE), author = Id(PIDSI_AUTHOR);
  PROPVARIANT v{};
  EXPECT_EQ(ps->ReadMultiple(1, &dec, &v), STG_E_UNIMPLEMENTEDFUNCTION);
  ASSERT_EQ(ps->ReadMultiple(1, &title, &v), S_OK);
  EXPECT_STREQ(v.pszVal, "Hello");
  PropVariantClear(&v);
  v.vt = VT_LPSTR, v.pszVal = const_cast<char*>("Someone");
  ASSERT_EQ(ps->WriteMultiple(1, &author, &v, 2), S_OK);
  ASSERT_EQ(ps->Commit(STGC_DEFAULT), S_OK);
  ps->Release();
  const std::string now = Get(f.root, u"\005SummaryInformation");
  EXPECT_NE(now, original);
  EXPECT_NE(now.find(kDecimal), std::string::npos);
  EXPECT_NE(now.find(kBstrs), std::string::npos);
}

TEST(PropSets, MalformedSetsFailWithAnError) {
  const std::string good = HandMadeSet();
  auto put32 = [](std::string s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = char(v >> (8 * i));
    return s;
  };
  const std::pair<const char*, std::string> cases[] = {
      {"byte order", put32(good, 0, 0xFFFF)},
      {"format version 2", put32(good, 0, 0x0002FFFE)},
      {"section offset past the stream", put32(good, 44, 5000)},
      {"two sections, one pair", put32(good, 24, 2)},
      {"section size past the stream", put32(good, 48, 900)},
      {"count larger than the section", put32(good, 52, 1000)},
      {"property offset past the section", put32(good, 48 + 12, 4000)},
      {"string longer than its property", put32(good, good.size() - 12, 200)},
      {"unknown type", HandMadeSet(0x0077)},
      {"truncated", good.substr(0, 40)},
      {"empty", std::string()},
  };
  File f("malformed");
  for (const auto& [what, bytes] : cases) {
    Put(f.root, u"\005SummaryInformation", bytes);
    IPropertyStorage* ps = nullptr;
    const HRESULT hr = f.sets->Open(FMTID_SummaryInformation, kRead, &ps);
    EXPECT_TRUE(FAILED(hr)) << what;
    if (SUCCEEDED(hr)) ps->Release();
  }
  Put(f.root, u"\005SummaryInformation", good);
  IPropertyStorage* ps = nullptr;
  EXPECT_EQ(f.sets->Open(FMTID_SummaryInformation, kRead, &ps), S_OK);
  if (ps) ps->Release();
}

TEST(PropSets, StreamNamesOfFormatIdentifiers) {
  OLECHAR name[32];
  FMTID back;
  ASSERT_EQ(FmtIdToPropStgName(&FMTID_UserDefinedProperties, name), S_OK);
  EXPECT_EQ(std::u16string(name), u"\005DocumentSummaryInformation");
  ASSERT_EQ(FmtIdToPropStgName(&kOtherSet, name), S_OK);
  EXPECT_EQ(std::u16string(name).size(), 27u);
  ASSERT_EQ(PropStgNameToFmtId(name, &back), S_OK);
  EXPECT_TRUE(back == kOtherSet);
  for (OLECHAR* c = name + 1; *c; ++c)
    if (*c >= u'a' && *c <= u'z') *c = static_cast<OLECHAR>(*c - 32);
  ASSERT_EQ(PropStgNameToFmtId(name, &back), S_OK);
  EXPECT_TRUE(back == kOtherSet);
  EXPECT_EQ(PropStgNameToFmtId(const_cast<LPOLESTR>(u"\005notaname"), &back), STG_E_INVALIDNAME);
}

std::string Hex(const void* p, std::size_t n) {
  std::string s;
  char b[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, 3, "%02x", static_cast<const BYTE*>(p)[i]);
    s += b;
  }
  return s;
}

// A value as props_dump.py prints it ("" for the types it does not print).
std::string ValueText(const PROPVARIANT& v, WORD codePage) {
  if (v.vt == VT_I2) return std::to_string(v.iVal);
  if (v.vt == VT_UI2) return std::to_string(v.uiVal);
  if (v.vt == VT_UI1) return std::to_string(v.bVal);
  if (v.vt == VT_I4 || v.vt == VT_UI4 || v.vt == VT_INT || v.vt == VT_UINT || v.vt == VT_ERROR)
    return std::to_string(v.ulVal);
  if (v.vt == VT_BOOL) return v.boolVal ? "True" : "False";
  if (v.vt == VT_FILETIME) return std::to_string(Time(v.filetime) / 10000000);
  if (v.vt == VT_BLOB) return "b:" + Hex(v.blob.pBlobData, v.blob.cbSize);
  if (v.vt == VT_LPWSTR) return "w:" + Hex(Utf8(v.pwszVal).data(), Utf8(v.pwszVal).size());
  if (v.vt == VT_CF) {
    const LONG format = v.pclipdata->ulClipFmt;
    return "b:" + Hex(&format, 4) + Hex(v.pclipdata->pClipData, v.pclipdata->cbSize - 4);
  }
  if (v.vt != VT_LPSTR) return "";
  // Back to the set's code page, as olefile gives the bytes.
  std::u16string w;
  std::string bytes;
  fmt::TextToWide(CP_ACP, v.pszVal, std::strlen(v.pszVal), &w);
  fmt::WideToText(codePage, w, &bytes);
  return "b:" + Hex(bytes.data(), bytes.size());
}

// The engine's listing of a file's two sets in props_dump.py's form.
std::string EngineDump(IStorage* root) {
  IPropertySetStorage* sets = nullptr;
  root->QueryInterface(IID_IPropertySetStorage, reinterpret_cast<void**>(&sets));
  std::vector<std::string> lines;
  const std::pair<const char*, const FMTID*> setList[] = {{"S", &FMTID_SummaryInformation},
                                                          {"D", &FMTID_DocSummaryInformation}};
  for (const auto& [tag, fmtid] : setList) {
    IPropertyStorage* ps = nullptr;
    if (FAILED(sets->Open(*fmtid, kRead, &ps))) continue;
    PROPSPEC cp = Id(PID_CODEPAGE);
    PROPVARIANT cpv{};
    if (ps->ReadMultiple(1, &cp, &cpv) == S_OK) lines.push_back(tag + ("|1|" + ValueText(cpv, 0)));
    IEnumSTATPROPSTG* e = nullptr;
    ps->Enum(&e);
    STATPROPSTG st;
    while (e->Next(1, &st, nullptr) == S_OK) {
      PROPSPEC spec = Id(st.propid);
      PROPVARIANT v{};
      const std::string value =
          ps->ReadMultiple(1, &spec, &v) == S_OK ? ValueText(v, static_cast<WORD>(cpv.iVal)) : "";
      if (!value.empty()) lines.push_back(tag + ("|" + std::to_string(st.propid) + "|" + value));
      PropVariantClear(&v);
      CoTaskMemFree(st.lpwstrName);
    }
    e->Release();
    ps->Release();
  }
  sets->Release();
  std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
    return a[0] != b[0] ? a[0] == 'S' : std::stoul(a.substr(2)) < std::stoul(b.substr(2));
  });
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// olefile's listing without its get_metadata lines.
std::string OlefileDump(const std::string& path) {
  std::istringstream in(
      RunCommand("/usr/bin/python3 " + DataDir() + "/props_dump.py '" + path + "'"));
  std::string out, line;
  while (std::getline(in, line))
    if (line.rfind("S|", 0) == 0 || line.rfind("D|", 0) == 0) out += line + "\n";
  return out;
}

std::string Pattern(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 9)) & 0xFF);
  return s;
}

// A tree with streams on both sides of the mini-stream cutoff, nested
// storages, a non-ASCII name, CLSIDs, state bits and times.
void Populate(IStorage* root) {
  const CLSID rootClass = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
  ASSERT_EQ(root->SetClass(rootClass), S_OK);
  const std::size_t sizes[] = {0, 1, 63, 64, 4095, 4096, 4097, 100000};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    const std::u16string name = u"s" + Wide(std::to_string(sizes[i]));
    Put(root, name.c_str(), Pattern(sizes[i], static_cast<unsigned>(i)));
  }
  IStorage* sub = nullptr;
  ASSERT_EQ(root->CreateStorage(u"Sub\u00e9\u0416", kRw, 0, 0, &sub), S_OK);
  ASSERT_EQ(sub->SetStateBits(0xA5, 0xFF), S_OK);
  Put(sub, u"\u0005SummaryInformation", Pattern(300, 9));
  IStorage* deep = nullptr;
  ASSERT_EQ(sub->CreateStorage(u"deep", kRw, 0, 0, &deep), S_OK);
  Put(deep, u"leaf", Pattern(9000, 3));
  deep->Release();
  sub->Release();
  const FILETIME when{0x12345678, 0x01D00000};
  ASSERT_EQ(root->SetElementTimes(u"Sub\u00e9\u0416", &when, nullptr, &when), S_OK);
}

class OleWritten : public ::testing::TestWithParam<unsigned> {};

TEST_P(OleWritten, IndependentToolsReadWhatTheEngineWrites) {
  const std::string path = TempPath("written" + std::to_string(GetParam()) + ".cfb");
  IStorage* root = nullptr;
  STGOPTIONS options{1, 0, GetParam() == 4 ? 4096u : 512u, nullptr};
  ASSERT_EQ(StgCreateStorageEx(Wide(path).c_str(), STGM_CREATE | kRw, STGFMT_DOCFILE, 0, &options,
                               nullptr, IID_IStorage, reinterpret_cast<void**>(&root)),
            S_OK);
  Populate(root);
  ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
  const std::string ours = Listing(root);
  root->Release();

  EXPECT_EQ(OleDump(path), ours);
  const std::string gsfList = RunCommand("gsf list '" + path + "' 2>&1");
  EXPECT_NE(gsfList.find("s100000"), std::string::npos) << gsfList;
  EXPECT_NE(gsfList.find("deep"), std::string::npos) << gsfList;
  EXPECT_EQ(RunCommand("gsf cat '" + path + "' s4097"), Pattern(4097, 6));
  EXPECT_EQ(RunCommand("gsf cat '" + path + "' s63"), Pattern(63, 2));
  const std::string info = RunCommand("olecfinfo '" + path + "' 2>&1");
  EXPECT_EQ(info.find("<failed>"), std::string::npos) << info;
  EXPECT_NE(info.find(GetParam() == 4 ? "Sector size\t\t: 4096" : "Sector size\t\t: 512"),
            std::string::npos)
      << info;
  unlink(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Versions, OleWritten, ::testing::Values(3u, 4u));

// Files Office, gsf createole and msibuild wrote: the engine lists each as
// olefile does, a CopyTo copy lists the same, the property sets read as
// olefile reads them, and a title written into a file with summary
// information leaves every other property of both sets as it was.
TEST(OleRealFiles, ListingsPropertiesAndCopiesMatchOlefile) {
  DIR* d = opendir(ZR_CFB_SAMPLES);
  ASSERT_TRUE(d) << ZR_CFB_SAMPLES;
  int files = 0, titled = 0;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    const std::string file = std::string(ZR_CFB_SAMPLES) + "/" + e->d_name;
    const std::string work = TempPath(e->d_name),
                      copyPath = TempPath(std::string("copy_") + e->d_name);
    SCOPED_TRACE(file);
    ++files;
    ASSERT_EQ(RunCommand("cp '" + file + "' '" + work + "'"), "");
    IStorage* stg = nullptr;
    ASSERT_EQ(StgOpenStorage(Wide(work).c_str(), nullptr, kRw, nullptr, 0, &stg), S_OK);
    const std::string expected = OleDump(file);
    EXPECT_EQ(Listing(stg), expected);
    IStorage* copy = nullptr;
    ASSERT_EQ(StgCreateDocfile(Wide(copyPath).c_str(), STGM_CREATE | kRw, 0, &copy), S_OK);
    ASSERT_EQ(stg->CopyTo(0, nullptr, nullptr, copy), S_OK);
    STATSTG st;
    ASSERT_EQ(stg->Stat(&st, STATFLAG_NONAME), S_OK);
    ASSERT_EQ(copy->SetElementTimes(nullptr, &st.ctime, nullptr, &st.mtime), S_OK);
    ASSERT_EQ(copy->Commit(STGC_DEFAULT), S_OK);
    copy->Release();
    EXPECT_EQ(OleDump(copyPath), expected);
    unlink(copyPath.c_str());

    const std::string before = OlefileDump(file);
    EXPECT_EQ(EngineDump(stg), before);
    IPropertySetStorage* sets = nullptr;
    stg->QueryInterface(IID_IPropertySetStorage, reinterpret_cast<void**>(&sets));
    IPropertyStorage* ps = nullptr;
    const bool retitled =
        before.rfind("S|", 0) == 0 && sets->Open(FMTID_SummaryInformation, kRw, &ps) == S_OK;
    if (retitled) {
      ++titled;
      PROPSPEC title = Id(PIDSI_TITLE);
      PROPVARIANT v{};
      v.vt = VT_LPSTR, v.pszVal = const_cast<char*>("Changed");
      EXPECT_EQ(ps->WriteMultiple(1, &title, &v, 2), S_OK);
      ps->Release();
    }
    sets->Release();
    stg->Release();
    // Every other property, of both sets, is as it was.
    std::string changed;
    std::istringstream in(before);
    std::string line;
    bool placed = !retitled;
    while (std::getline(in, line)) {
      const bool late = line.rfind("S|", 0) != 0 || std::stoul(line.substr(2)) > 2;
      if (late && !placed) changed += "S|2|b:4368616e676564\n", placed = true;
      if (!retitled || line.rfind("S|2|", 0) != 0) changed += line + "\n";
    }
    EXPECT_EQ(OlefileDump(work), changed);
    unlink(work.c_str());
  }
  closedir(d);
  EXPECT_GE(files, 5);  // two Office files of clamav, namesdemo.xls, gsf and msibuild output
  EXPECT_GE(titled, 3);
}

}  // namespace
