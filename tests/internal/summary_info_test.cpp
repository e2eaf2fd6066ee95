// CIZRSummaryInfo over the engine's storages: the name table, the two sets
// an identifier selects, which values SetProperty takes, and a storage that
// offers no property set storage.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "pal/ole/propidl.h"
#include "pal/ole/storage.h"
#include "storage/summary_info.h"
#include "tests/params/param_test_util.h"

using namespace zrpal;

namespace {

constexpr DWORD kRw = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

// A compound file in memory and its summary information.
struct Doc {
  Doc() {
    EXPECT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes), S_OK);
    EXPECT_EQ(StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | kRw, 0, &root), S_OK);
    props = zr::NewSummaryInfo(root);
  }
  ~Doc() {
    props->Release();
    root->Release();
    bytes->Release();
  }
  bool HasStream(const char16_t* name) {
    IStream* s = nullptr;
    if (FAILED(root->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) return false;
    s->Release();
    return true;
  }
  std::string Get(const char* name) {
    tagZRPROPERTYVALUE v{};
    v.dwReserved = 7;
    if (!props->GetProperty(name, &v)) return "<none>";
    EXPECT_EQ(v.dwReserved, 0u);
    EXPECT_EQ(v.var.vt, ZRVT_STR);
    return v.var.pszVal;
  }
  ILockBytes* bytes = nullptr;
  IStorage* root = nullptr;
  IZRProperty* props = nullptr;
};

TEST(SummaryInfo, EachNameReachesItsSetAndNumber) {
  const struct {
    const char* name;
    const FMTID* set;
    PROPID id;
    const char16_t* stream;
  } cases[] = {
      {"Title", &FMTID_SummaryInformation, PIDSI_TITLE, u"\005SummaryInformation"},
      {"Last Author", &FMTID_SummaryInformation, PIDSI_LASTAUTHOR, u"\005SummaryInformation"},
      {"App name", &FMTID_SummaryInformation, PIDSI_APPNAME, u"\005SummaryInformation"},
      {"Category", &FMTID_DocSummaryInformation, PIDDSI_CATEGORY, u"\005DocumentSummaryInformation"},
      {"Company", &FMTID_DocSummaryInformation, PIDDSI_COMPANY, u"\005DocumentSummaryInformation"},
  };
  for (const auto& c : cases) {
    Doc d;
    CZRVariant value(c.name);
    ASSERT_EQ(d.props->SetProperty(c.name, &value), 1) << c.name;
    EXPECT_TRUE(d.HasStream(c.stream)) << c.name;
    EXPECT_FALSE(d.HasStream(c.set == &FMTID_SummaryInformation ? u"\005DocumentSummaryInformation"
                                                                : u"\005SummaryInformation"))
        << c.name;
    // The engine sees an 8-bit string under the property number, in an ANSI set.
    IPropertySetStorage* sets = nullptr;
    ASSERT_EQ(d.root->QueryInterface(IID_IPropertySetStorage, reinterpret_cast<void**>(&sets)), S_OK);
    IPropertyStorage* ps = nullptr;
    ASSERT_EQ(sets->Open(*c.set, STGM_READ | STGM_SHARE_EXCLUSIVE, &ps), S_OK);
    PROPSPEC spec{};
    spec.ulKind = PRSPEC_PROPID;
    spec.propid = c.id;
    PROPVARIANT v{};
    ASSERT_EQ(ps->ReadMultiple(1, &spec, &v), S_OK);
    EXPECT_EQ(v.vt, VT_LPSTR);
    EXPECT_STREQ(v.pszVal, c.name);
    PropVariantClear(&v);
    STATPROPSETSTG stat;
    ASSERT_EQ(ps->Stat(&stat), S_OK);
    EXPECT_EQ(stat.grfFlags & PROPSETFLAG_ANSI, PROPSETFLAG_ANSI);
    ps->Release();
    sets->Release();
  }
}

TEST(SummaryInfo, OnlyNonEmptyStringsAreWritten) {
  Doc d;
  CZRVariant empty(""), number(5L), text("x");
  CZRVariant wide(u"Caf\u00e9 \u00fcber");
  EXPECT_EQ(d.props->SetProperty("Title", &empty), 0);
  EXPECT_EQ(d.props->SetProperty("Title", &number), 0);
  EXPECT_EQ(d.props->SetProperty("No such name", &text), 0);
  EXPECT_FALSE(d.HasStream(u"\005SummaryInformation"));
  ASSERT_EQ(d.props->SetProperty("Subject", &wide), 1);
  EXPECT_EQ(d.Get("Subject"), "Caf\xC3\xA9 \xC3\xBC" "ber");  // the same text in the ANSI page (UTF-8 here)
  EXPECT_EQ(d.Get("Title"), "<none>");  // missing in a set that exists
}

TEST(SummaryInfo, RemovedNamesAreUnknown) {
  Doc d;
  CZRVariant text("Ann");
  ASSERT_EQ(d.props->SetProperty("Author", &text), 1);
  EXPECT_EQ(d.props->RemovePropertyName("Author"), 1);
  EXPECT_EQ(d.props->RemovePropertyName("Author"), 0);
  EXPECT_EQ(d.Get("Author"), "<none>");
  EXPECT_EQ(d.props->SetProperty("Author", &text), 0);
  EXPECT_EQ(zrtest::Names(d.props->EnumPropertyNames()).size(), 8u);
  d.props->RemoveAllPropertyNames();
  EXPECT_EQ(d.props->SetProperty("Title", &text), 0);
  CTEnum<const char*>* e = d.props->EnumPropertyNames();
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(zrtest::Names(e).empty());
}

// Office's files: the text GetProperty gives for each name of the table is
// what olefile reads there (decoded with the set's code page), and a name
// olefile finds no value for gives 0.
TEST(SummaryInfo, OfficeFilesAgreeWithOlefile) {
  const std::pair<const char*, const char*> fields[] = {
      {"Title", "title"},         {"Subject", "subject"},   {"Author", "author"},
      {"Keywords", "keywords"},   {"Comments", "comments"}, {"Last Author", "last_saved_by"},
      {"App name", "creating_application"}, {"Category", "category"}, {"Company", "company"}};
  const std::string data = std::getenv("ZR_TEST_DATA") ? std::getenv("ZR_TEST_DATA") : "tests/data";
  int files = 0;
  for (const char* file : {"clam.ole.doc", "clam.ppt", "namesdemo.xls", "msibuild.msi"}) {
    const std::string path = std::string(ZR_CFB_SAMPLES) + "/" + file;
    std::FILE* p = popen(("/usr/bin/python3 " + data + "/props_dump.py '" + path + "' 2>/dev/null").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::map<std::string, std::string> olefile;
    char line[4096];
    while (std::fgets(line, sizeof line, p)) {
      std::string l(line);
      if (l.rfind("T|", 0) != 0) continue;
      const std::size_t bar = l.find('|', 2);
      std::string text;
      for (std::size_t i = bar + 1; i + 1 < l.size() && l[i] != '\n'; i += 2)
        text += static_cast<char>(std::stoi(l.substr(i, 2), nullptr, 16));
      olefile[l.substr(2, bar - 2)] = text;
    }
    if (pclose(p) != 0) continue;  // the sample is not installed
    ++files;
    IStorage* root = nullptr;
    const std::u16string wide(path.begin(), path.end());
    ASSERT_EQ(StgOpenStorage(wide.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &root), S_OK);
    IZRProperty* props = zr::NewSummaryInfo(root);
    for (const auto& [name, field] : fields) {
      tagZRPROPERTYVALUE v{};
      const int found = props->GetProperty(name, &v);
      const auto it = olefile.find(field);
      ASSERT_EQ(found, it != olefile.end() ? 1 : 0) << file << " " << name;
      if (found) {
        EXPECT_EQ(std::string(v.var.pszVal), it->second) << file << " " << name;
      }
    }
    props->Release();
    root->Release();
  }
  EXPECT_GE(files, 3);
}

// A storage that answers nothing but IStorage.
struct PlainStorage final : IStorage {
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(this, riid, object, IID_IStorage);
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT CreateStream(const OLECHAR*, DWORD, DWORD, DWORD, IStream**) override { return E_NOTIMPL; }
  HRESULT OpenStream(const OLECHAR*, void*, DWORD, DWORD, IStream**) override { return E_NOTIMPL; }
  HRESULT CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**) override { return E_NOTIMPL; }
  HRESULT OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) override { return E_NOTIMPL; }
  HRESULT CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
  HRESULT MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override { return E_NOTIMPL; }
  HRESULT Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT Revert() override { return E_NOTIMPL; }
  HRESULT EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) override { return E_NOTIMPL; }
  HRESULT DestroyElement(const OLECHAR*) override { return E_NOTIMPL; }
  HRESULT RenameElement(const OLECHAR*, const OLECHAR*) override { return E_NOTIMPL; }
  HRESULT SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) override {
    return E_NOTIMPL;
  }
  HRESULT SetClass(REFCLSID) override { return E_NOTIMPL; }
  HRESULT SetStateBits(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  ULONG refs = 1;
};

TEST(SummaryInfo, StorageWithoutPropertySetsAnswersZeroEverywhere) {
  PlainStorage plain;
  IZRProperty* props = zr::NewSummaryInfo(&plain);
  CZRVariant text("x");
  tagZRPROPERTYVALUE v{};
  EXPECT_EQ(props->GetProperty("Title", &v), 0);
  EXPECT_EQ(props->SetProperty("Title", &text), 0);
  EXPECT_EQ(props->RemovePropertyName("Title"), 0);
  CTEnum<const char*>* e = props->EnumPropertyNames();
  const char* name = nullptr;
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Next(1, &name, nullptr), 0);
  e->Release();
  props->Release();
  EXPECT_EQ(plain.refs, 1u);
}

}  // namespace
