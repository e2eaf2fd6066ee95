// The registry back-end of the parameter trees, its raw values checked
// through the platform layer.
#include "zr/regparam.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/pal/registry_fixture.h"
#include "tests/params/param_test_util.h"
#include "tests/streams/stream_test_util.h"

namespace zrpal {
namespace {

using zrtest::Bytes;
using zrtest::Cat;
using zrtest::LE32;
using zrtest::LEDouble;
using zrtest::Names;
using zrtest::Tree;

class RegParamTest : public regtest::RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    RegCloseKey(regtest::Create(HKEY_CURRENT_USER, u"Software\\Test"));
    m_tree = new_IParamCUReg(u"Software\\Test");
    ASSERT_NE(m_tree, nullptr);
    m_key = regtest::Open(HKEY_CURRENT_USER, u"Software\\Test");
  }
  void TearDown() override {
    if (m_tree) m_tree->Release();
    RegCloseKey(m_key);
    RegistryTest::TearDown();
  }

  // The raw value: its type and bytes (type ~0 when there is none).
  Bytes Raw(const char* name, DWORD* type) {
    Bytes data(256);
    DWORD size = 256;
    *type = ~DWORD{0};
    if (RegQueryValueExA(m_key, name, nullptr, type, data.data(), &size)) return {};
    data.resize(size);
    return data;
  }
  void PutRaw(const char* name, DWORD type, const Bytes& data) {
    ASSERT_EQ(RegSetValueExA(m_key, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }

  IParam* m_tree = nullptr;
  HKEY m_key = nullptr;
};

TEST_F(RegParamTest, FactoriesOpenOnlyExistingKeys) {
  EXPECT_EQ(new_IParamCUReg(u"Software\\Missing"), nullptr);
  EXPECT_EQ(new_IParamLMReg(u"Software\\Missing"), nullptr);
  RegCloseKey(regtest::Create(HKEY_LOCAL_MACHINE, u"Software\\There"));
  Tree machine(new_IParamLMReg(u"software\\THERE"));
  ASSERT_NE(machine.get(), nullptr);
  void* out = nullptr;
  EXPECT_EQ(machine->QueryInterface(typeid(IParam), &out), 1);
  EXPECT_EQ(out, machine.get());
  static_cast<IParam*>(out)->Release();
  EXPECT_EQ(machine->QueryInterface(typeid(IRegisterIface), &out), 1);
  static_cast<IRegisterIface*>(out)->Release();
  EXPECT_EQ(machine->QueryInterface(typeid(IZRUnknown), &out), 0);
}

// Every type of the payload table: the exact REG_BINARY bytes, and the
// variant read back.
TEST_F(RegParamTest, BinaryPayloadBytes) {
  const tagRRECT rr{1.0, 2.0, 3.0, 4.0};
  const double half = 1.5;
  const BYTE blobData[3] = {0xA, 0xB, 0xC};
  const struct {
    CZRVariant value;
    Bytes bytes;
  } cases[] = {
      {CZRVariant(), LE32(0)},
      {CZRVariant(1, ZRVT_BOOL), Cat({LE32(1), LE32(1)})},
      {CZRVariant(static_cast<unsigned char>(0xAB)), Cat({LE32(2), {0xAB}})},
      {CZRVariant(static_cast<unsigned short>(0x1234)), Cat({LE32(3), {0x34, 0x12}})},
      {CZRVariant(0xFFFFFFFEul), Cat({LE32(4), LE32(0xFFFFFFFE)})},
      {CZRVariant(7), {5, 0, 0, 0, 7, 0, 0, 0}},
      {CZRVariant(9u), Cat({LE32(6), LE32(9)})},
      {CZRVariant(-2l), Cat({LE32(7), LE32(0xFFFFFFFE)})},
      {CZRVariant(half), Cat({LE32(8), LEDouble(half)})},
      {CZRVariant(0.5f), Cat({LE32(9), {0, 0, 0, 0x3F}})},
      {CZRVariant(tagSIZE{3, -1}), Cat({LE32(11), LE32(3), LE32(0xFFFFFFFF)})},
      {CZRVariant(tagPOINT{1, 2}), Cat({LE32(13), LE32(1), LE32(2)})},
      {CZRVariant(tagRECT{1, 2, 3, 4}), Cat({LE32(15), LE32(1), LE32(2), LE32(3), LE32(4)})},
      {CZRVariant(rr), Cat({LE32(16), LEDouble(1), LEDouble(2), LEDouble(3), LEDouble(4)})},
      {CZRVariant(tagZRBLOB{3, const_cast<BYTE*>(blobData)}),
       {17, 0, 0, 0, 3, 0, 0, 0, 0xA, 0xB, 0xC}},
  };
  for (const auto& c : cases) {
    m_tree->SetValue("v", &c.value);
    DWORD type = 0;
    EXPECT_EQ(Raw("v", &type), c.bytes) << "type " << c.value.vt;
    EXPECT_EQ(type, REG_BINARY);
    CZRVariant back(1234);
    EXPECT_EQ(m_tree->GetValue("V", &back), 1) << "type " << c.value.vt;
    EXPECT_TRUE(back == c.value) << "type " << c.value.vt;
  }
  // An object is never stored: the value keeps what it had.
  CZRVariant object(static_cast<IZRUnknown*>(nullptr));
  m_tree->SetValue("v", &object);
  DWORD type = 0;
  EXPECT_EQ(Raw("v", &type).size(), 11u);
}

// Text is REG_SZ: 8-bit text through the 8-bit function, wide text through
// the wide one; both read back as 8-bit text. "" is the key's default
// value; "@" is a name of its own.
TEST_F(RegParamTest, TextValuesAreRegistryStrings) {
  const CZRVariant narrow("abc"), wide(u"Ünï"), dflt("default"), at("at");
  m_tree->SetValue("n", &narrow);
  m_tree->SetValue("w", &wide);
  m_tree->SetValue("", &dflt);
  m_tree->SetValue("@", &at);
  DWORD type = 0;
  EXPECT_EQ(Raw("n", &type), (Bytes{'a', 'b', 'c', 0}));
  EXPECT_EQ(type, REG_SZ);
  Bytes units(16);
  DWORD size = 16;
  ASSERT_EQ(RegQueryValueExW(m_key, u"w", nullptr, &type, units.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(std::memcmp(units.data(), u"Ünï", 8), 0);
  const struct {
    const char* name;
    const char* text;
  } reads[] = {{"N", "abc"}, {"w", "\xC3\x9Cn\xC3\xAF"}, {nullptr, "default"}, {"@", "at"}};
  for (const auto& r : reads) {
    CZRVariant back;
    ASSERT_EQ(m_tree->GetValue(r.name, &back), 1) << r.text;
    EXPECT_EQ(back.vt, ZRVT_STR);
    EXPECT_STREQ(back.pszVal, r.text);
  }
  EXPECT_EQ(Names(m_tree->EnumValues()), (std::vector<std::string>{"n", "w", "", "@"}));
}

// Data other programs wrote, or damaged data: read only within its size.
TEST_F(RegParamTest, ForeignAndShortDataReadsAsNotFound) {
  const struct {
    DWORD type;
    Bytes data;
    int found;
  } cases[] = {
      {REG_BINARY, {5, 0, 0, 0, 7, 0, 0}, 0},              // payload cut short
      {REG_BINARY, {5, 0, 0}, 0},                          // code cut short
      {REG_BINARY, Cat({LE32(18), LE32(0)}), 0},           // no row for the object
      {REG_BINARY, Cat({LE32(99), LE32(0)}), 0},           // unknown code
      {REG_BINARY, {17, 0, 0, 0, 100, 0, 0, 0, 1, 2}, 0},  // blob longer than its data
      {REG_DWORD, LE32(0), 1},                             // read as the code of an empty value
      {REG_SZ, {'x'}, 1},                                  // shorter than 2 bytes: ""
  };
  for (const auto& c : cases) {
    PutRaw("f", c.type, c.data);
    CZRVariant back(5);
    EXPECT_EQ(m_tree->GetValue("f", &back), c.found) << c.data.size();
    EXPECT_TRUE(back.vt == ZRVT_EMPTY || (back.vt == ZRVT_STR && back.pszVal[0] == 0));
  }
  CZRVariant back(5);
  EXPECT_EQ(m_tree->GetValue("missing", &back), 0);
  EXPECT_EQ(back.vt, ZRVT_EMPTY);  // cleared first
}

// DeleteParam removes a whole subtree; CreateParam on a key with content
// leaves its sub-keys, emptied; the snapshot of an enumerator stays.
TEST_F(RegParamTest, SubtreesAndSnapshots) {
  const CZRVariant one(1);
  for (const char* path : {"a\\b\\c", "a\\b\\d", "a\\e", "x\\y"}) {
    Tree node(m_tree->OpenParam(path, 1));
    ASSERT_NE(node.get(), nullptr) << path;
    node->SetValue("v", &one);
  }
  m_tree->SetValue("top", &one);
  CTEnum<const char*>* before = m_tree->EnumParams();

  m_tree->DeleteParam("A");
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExW(m_key, u"a", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Names(before), (std::vector<std::string>{"a", "x"}));

  Tree x(m_tree->CreateParam("x"));
  ASSERT_NE(x.get(), nullptr);
  CZRVariant back;
  EXPECT_EQ(x->GetValue("v", &back), 0);
  EXPECT_EQ(Names(x->EnumParams()), (std::vector<std::string>{"y"}));
  Tree y(x->OpenParam("y", 0));
  EXPECT_TRUE(Names(y->EnumValues()).empty());
  EXPECT_EQ(m_tree->GetValue("top", &back), 1);
  // Next answers 1 while names remained before the call.
  CTEnum<const char*>* e = m_tree->EnumValues();
  const char* items[4] = {};
  ULONG fetched = 9;
  EXPECT_EQ(e->Next(4, items, &fetched), 1);
  EXPECT_EQ(fetched, 1u);
  EXPECT_STREQ(items[0], "top");
  EXPECT_EQ(e->Next(4, items, &fetched), 0);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e->Skip(~ULONG{0}), 1);
  e->Reset();
  EXPECT_EQ(e->Next(1, items, nullptr), 1);
  e->Release();

  m_tree->DeleteAllParams();
  m_tree->DeleteAllValues();
  EXPECT_TRUE(Names(m_tree->EnumParams()).empty());
  EXPECT_TRUE(Names(m_tree->EnumValues()).empty());
}

// A tree copied from memory into the registry compares equal both ways
// (text comes back as 8-bit text, so the source holds 8-bit text).
TEST_F(RegParamTest, CopyFromMemoryAndCompare) {
  Tree memory;
  zrtest::ReadText("[\\]|n=i5|s=sText|[\\a\\b]|r=R2.5|t=t1,2,3,4|[\\c]|x=x0A0B", memory.get());
  Param_CopyTo(memory.get(), m_tree);
  EXPECT_EQ(Param_Cmp(memory.get(), m_tree), 1);
  EXPECT_EQ(Param_Cmp(m_tree, memory.get()), 1);
  EXPECT_EQ(zrtest::StringForm(m_tree), zrtest::StringForm(memory.get()));
}

}  // namespace
}  // namespace zrpal
