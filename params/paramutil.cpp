// params/paramutil.cpp - the utilities over any parameter tree: copy,
// compare, dump, and the one-line string form.
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "pal/debug.h"
#include "params/paramtext.h"
#include "params/treewalk.h"
#include "zr/param.h"
#include "zr/variant.h"

namespace zr {

namespace {

void CopyNode(IParam* source, IParam* destination) {
  {
    CNameWalk names(RequireNames(source->EnumParams()));
    while (const char* name = names.Next()) {
      CParamRef from(source->OpenParam(name, 0));
      if (!from) continue;
      CParamRef to(destination->OpenParam(name, 0));
      if (!to) to.Reset(destination->CreateParam(name));
      if (to) CopyNode(from.Get(), to.Get());
    }
  }
  CNameWalk names(RequireNames(source->EnumValues()));
  while (const char* name = names.Next()) {
    CZRVariant value;
    source->GetValue(name, &value);
    destination->SetValue(name, &value);
  }
}

void DumpNode(IParam* node) {
  std::string line;
  {
    CNameWalk names(RequireNames(node->EnumValues()));
    while (const char* name = names.Next()) {
      line.assign(" ").append(name).append(" \n");
      zrpal::OutputDebugStringA(line.c_str());
    }
  }
  CNameWalk names(RequireNames(node->EnumParams()));
  while (const char* name = names.Next()) {
    line.assign("--- ").append(name).append(" ---\n");
    zrpal::OutputDebugStringA(line.c_str());
    CParamRef child(node->OpenParam(name, 0));
    if (child) DumpNode(child.Get());
  }
}

}  // namespace

}  // namespace zr

using zr::CNameWalk;
using zr::CParamRef;

void Param_CopyTo(IParam* source, IParam* destination) {
  if (!source || !destination) return;
  // Both trees stay alive for the whole copy, whatever the nodes do.
  source->AddRef();
  const CParamRef holdSource(source);
  destination->AddRef();
  const CParamRef holdDestination(destination);
  zr::CopyNode(source, destination);
}

int Param_Cmp(IParam* first, IParam* second) {
  if (!first || !second) return 0;
  {
    CNameWalk names(first->EnumValues());
    while (const char* name = names.Next()) {
      // The first tree's read is not checked: a value it lists but cannot
      // read compares as an empty variant.
      CZRVariant a;
      CZRVariant b;
      first->GetValue(name, &a);
      if (!second->GetValue(name, &b) || a != b) return 0;
    }
  }
  CNameWalk names(first->EnumParams());
  while (const char* name = names.Next()) {
    CParamRef a(first->OpenParam(name, 0));
    CParamRef b(second->OpenParam(name, 0));
    if (!Param_Cmp(a.Get(), b.Get())) return 0;
  }
  return 1;
}

void Dump_Param(IParam* tree) {
  if (tree) zr::DumpNode(tree);
}

int Param_Param2String(IParam* tree, CXString& output) {
  if (!tree) return 0;
  zr::CMemTextBuffer file(zr::kMemFileStep);
  zr::WriteParamText(tree, file, nullptr);
  zr::CMemTextSource source(file.Data(), file.Size(), zr::kMemFileName);
  zr::CInputBuffer items(source);
  const std::unique_ptr<char[]> item(new char[zr::CInputBuffer::kLineMax + 1]);
  // Items stand apart in the file by at least one byte, except where a
  // line longer than the line buffer is cut into pieces; so the string, a
  // bar after each item, fits the file's size plus one byte per piece and
  // is built in place.
  const std::size_t room = file.Size() + file.Size() / zr::CInputBuffer::kLineMax + 2;
  if (room > static_cast<std::size_t>(INT_MAX))
    throw std::bad_alloc();  // as CXString itself refuses
  CXString text;
  char* out = text.GetBuffer(static_cast<int>(room));
  std::size_t used = 0;
  while (const int length = items.NextItem(item.get())) {
    std::memcpy(out + used, item.get(), static_cast<std::size_t>(length));
    used += static_cast<std::size_t>(length);
    out[used++] = '|';
  }
  out[used] = 0;
  text.ReleaseBuffer();
  output = text;
  return 1;
}

int Param_String2Param(CXString& input, IParam* tree) {
  if (!tree) return 0;
  // The string read in place, as the memory file the text would be written
  // to: followed by zeros up to the file's grown size.
  const auto size = static_cast<std::size_t>(input.GetSize());
  zr::CMemTextSource source(input, size, zr::MemFileSize(size), zr::kMemFileName);
  // Included files are not opened from memory text yet: the file layer
  // brings the opener.
  return zr::ReadParamText(source, tree, nullptr);
}
