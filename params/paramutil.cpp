// params/paramutil.cpp - the utilities over any parameter tree: copy,
// compare, dump, the one-line string form and the parameter text files.
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/heldref.h"
#include "pal/debug.h"
#include "params/paramtext.h"
#include "params/textfile.h"
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

namespace zr {

namespace {

// A memory file for the string conversions, or null when it cannot be made
// (the conversions then answer 0).
CMemFile* NewTextMemFile() {
  try {
    return new CMemFile(CMemFile::kTextStep);
  } catch (const CXMemException&) {
    return nullptr;
  }
}

}  // namespace

}  // namespace zr

int Param_Param2String(IParam* tree, CXString& output) {
  if (!tree) return 0;
  zr::CMemFile* file = zr::NewTextMemFile();
  if (!file) return 0;
  zr::CXFileTextSource source(file);  // holds the file's one reference
  zr::CXFileTextSink sink(*file);
  zr::WriteParamText(tree, sink, nullptr);
  file->Seek(0, ZRFILE_SEEK_SET);
  zr::CInputBuffer items(source);
  const std::unique_ptr<char[]> item(new char[zr::CInputBuffer::kLineMax + 1]);
  // Items stand apart in the file by at least one byte, except where an
  // item longer than the line buffer is cut into pieces; so the string, a
  // bar after each item, fits the file's size plus one byte per piece and
  // is built in place.
  const std::size_t size = file->GetSize();
  const std::size_t room = size + size / zr::CInputBuffer::kLineMax + 2;
  if (room > static_cast<std::size_t>(INT_MAX)) throw CXBadAlloc();  // as CXString itself refuses
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
  zr::CMemFile* file = zr::NewTextMemFile();
  if (!file) return 0;
  zr::CXFileTextSource source(file);  // holds the file's one reference
  const auto size = static_cast<std::size_t>(input.GetSize());
  if (size > 0) zr::CXFileTextSink(*file).Write(input, size);
  file->Seek(0, ZRFILE_SEEK_SET);
  zr::CFioIncludeOpener opener;
  return zr::ReadParamText(source, tree, &opener);
}

int Param_IniFile2Param(const WCHAR* fileName, IParam* tree) {
  IXFile* file = Fio_Open(fileName, 0);  // a CXFileException passes to the caller
  if (!file) return 0;                   // the reader's answer for a null file
  zr::CXFileTextSource source(file);
  zr::CFioIncludeOpener opener;
  return zr::ReadParamText(source, tree, &opener);
}

int Param_Param2IniFile(IParam* tree, const WCHAR* fileName) {
  if (!tree) return 0;  // nothing to write: the target stays as it is
  IXOutFile* file = Fio_OpenOut(fileName, ZRFILE_WRITE);
  if (!file) return 0;
  // Without Commit (the writer or the tree threw) the target is unchanged.
  const zr::CHeldRef hold(file);
  zr::CXFileTextSink sink(*file);
  zr::WriteParamText(tree, sink, nullptr);
  file->Commit();
  return 1;
}
