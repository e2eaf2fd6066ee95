// The parameter stream: exact bytes, round trips, damaged streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/params/param_test_util.h"
#include "tests/streams/stream_test_util.h"

namespace {

using namespace zrtest;
using V = std::vector<std::string>;

Bytes Saved(IParam* tree) {
  Ref<IXStream> s(new_StreamOnMemory());
  EXPECT_EQ(SaveParamToXStream(s.get(), tree), 1);
  return Content(s.get());
}

int Load(const Bytes& bytes, IParam* tree) {
  Ref<IXStream> s(MemStreamOf(bytes));
  return LoadParamFromXStream(s.get(), tree);
}

// A value record of the integer `value` under `name`.
Bytes IntRecord(const char* name, DWORD value) {
  return Cat({Text(name), {0}, LE16(ZRVT_INT), LE32(value)});
}

TEST(ParamStream, ExactBytes) {
  Tree t;
  EXPECT_EQ(Saved(t.get()), (Bytes{0, 0}));
  const CZRVariant five(5);
  t->SetValue("n", &five);
  Tree(t->CreateParam("a"));
  Tree(t->CreateParam(""));  // an empty name is not written
  EXPECT_EQ(Saved(t.get()), Cat({Text("a"), {0, 0, 0, 0}, IntRecord("n", 5), {0}}));
}

TEST(ParamStream, RoundTripOfEveryType) {
  Tree t;
  zrtest::ReadText(
      "[\\]|e=e|f=f1|b=bAB|w=w7|W=W8|i=i-9|u=u10|l=l11|R=R1.5|r=r2.5|s=stext|z=z1,2|Z=Z1,2|"
      "p=p3,4|P=P3,4|t=t1,2,3,4|T=T1,2,3,4|x=x0A1B|[\\a\\b]|deep=i1|[\\c]",
      t.get());
  const CZRVariant wide(u"wide");
  t->SetValue("ws", &wide);
  Tree back;
  EXPECT_EQ(Load(Saved(t.get()), back.get()), 1);
  EXPECT_EQ(Param_Cmp(t.get(), back.get()), 1);
  EXPECT_EQ(Param_Cmp(back.get(), t.get()), 1);
  EXPECT_EQ(Names(back->EnumParams()), (V{"a", "c"}));
}

// Sub-parameters named a, each inside the one before, `depth` levels deep.
Bytes Nested(int depth) {
  Bytes bytes;
  for (int i = 0; i < depth; ++i) bytes.insert(bytes.end(), {'a', 0});
  return bytes;
}

// Every load replaces what the tree held, also when it fails (the tree is
// emptied again) and for an empty stream.
TEST(ParamStream, LoadingWholeCutAndDamagedStreams) {
  const Bytes good = Cat({Text("a"), {0, 0}, IntRecord("v", 1), {0, 0}, IntRecord("n", 5), {0}});
  const struct {
    const char* what;
    Bytes bytes;
    int result;
    V params;
    V values;
  } cases[] = {
      {"whole", good, 1, V{"a"}, V{"n"}},
      {"an empty tree", {0, 0}, 1, V{}, V{}},
      {"an empty stream", {}, 1, V{}, V{}},
      {"cut inside the last value", Bytes(good.begin(), good.end() - 3), 1, V{"a"}, V{}},
      {"cut after a name", Bytes(good.begin(), good.begin() + 2), 1, V{"a"}, V{}},
      {"bad type code", Cat({{0}, Text("n"), {0}, LE16(20), LE32(5), {0}}), 0, V{}, V{}},
      {"text count beyond the stream",
       Cat({{0}, IntRecord("ok", 1), Text("s"), {0}, LE16(ZRVT_STR), LE32(0x7FFFFFF0)}), 1, V{},
       V{"ok"}},
      {"nested beyond the bound", Nested(300), 0, V{}, V{}},
      {"cut, nested within the bound", Nested(200), 1, V{"a"}, V{}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Tree t;
    zrtest::ReadText("[\\]|old=i1|[\\sub]|x=i2", t.get());
    EXPECT_EQ(Load(c.bytes, t.get()), c.result);
    EXPECT_EQ(Names(t->EnumParams()), c.params);
    EXPECT_EQ(Names(t->EnumValues()), c.values);
  }
}

}  // namespace
