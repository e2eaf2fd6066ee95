// Interoperability of the compound-file engine with independent software:
// files it writes are read by python3-olefile, gsf (libgsf-bin) and
// olecfinfo (libolecf-utils). Files other software wrote are read in
// ole_props_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "ole_helpers.h"

using namespace ole_test;

namespace {

IStorage* CreateFileStorage(const std::string& path, unsigned version) {
  IStorage* stg = nullptr;
  const std::u16string wide = Wide(path);
  STGOPTIONS options{1, 0, version == 4 ? 4096u : 512u, nullptr};
  EXPECT_EQ(StgCreateStorageEx(wide.c_str(), STGM_CREATE | kRw, STGFMT_DOCFILE, 0, &options,
                               nullptr, IID_IStorage, reinterpret_cast<void**>(&stg)),
            S_OK);
  return stg;
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
  IStorage* root = CreateFileStorage(path, GetParam());
  ASSERT_TRUE(root);
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

}  // namespace
