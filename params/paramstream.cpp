// params/paramstream.cpp - the parameter stream: a whole tree in one
// IXStream, written and read depth-first through IParam alone.
//
// Design: each node record is its sub-parameters (name, then the child's
// record), an empty string, its values (name, then the variant record), an
// empty string. Nothing is counted up front, so the structure is only as
// sound as the two markers of each node: reading checks the position
// against the stream's size before every name, leaves cut records to the
// stream's own end-of-data exception, and bounds the nesting (a stream of
// nested names would otherwise recurse once per two bytes).
#include <memory>

#include "params/memparam.h"
#include "params/treewalk.h"
#include "zr/exception.h"
#include "zr/param.h"
#include "zr/variant.h"

namespace zr {

namespace {

// Names are read into a buffer of this size (ReadLine stores at most one
// less, and the zero).
constexpr int kNameBuffer = 1024;
// Sub-parameters nested deeper than this below the loaded tree make the
// stream unreadable.
constexpr int kMaxStreamDepth = 256;

void SaveNode(IXStream* stream, IParam* node) {
  {
    CNameWalk children(node->EnumParams());
    while (const char* name = children.Next()) {
      if (!*name) continue;  // an empty name is skipped with its content
      stream->WriteString(name);
      CParamRef child(node->OpenParam(name, 0));
      if (child) {
        SaveNode(stream, child.Get());
      } else {
        // A name the back-end lists but cannot open: an empty record keeps
        // the stream readable.
        stream->WriteString("");
        stream->WriteString("");
      }
    }
  }
  stream->WriteString("");
  {
    CNameWalk values(node->EnumValues());
    while (const char* name = values.Next()) {
      stream->WriteString(name);
      CZRVariant value;
      node->GetValue(name, &value);
      stream->WriteVariant(&value);
    }
  }
  stream->WriteString("");
}

class CStreamLoader {
 public:
  CStreamLoader(IXStream* stream, ULONG end)
      : m_stream(stream), m_end(end), m_name(new char[kNameBuffer]) {}

  // The node record into `node`, emptied first.
  void LoadNode(IParam* node, int depth) {
    node->DeleteAllParams();
    node->DeleteAllValues();
    while (m_stream->GetPosition() < m_end) {
      if (!ReadName()) break;  // end of the sub-parameters
      if (depth >= kMaxStreamDepth) Unreadable();
      CParamRef child(node->CreateParam(m_name.get()));
      if (child) {
        LoadNode(child.Get(), depth + 1);
      } else {
        // The back-end would not make it: read its record all the same.
        CParamRef scratch(new CMemParam(nullptr));
        LoadNode(scratch.Get(), depth + 1);
      }
    }
    while (m_stream->GetPosition() < m_end) {
      if (!ReadName()) return;  // end of the node
      CZRVariant value;
      m_stream->ReadVariant(&value);
      node->SetValue(m_name.get(), &value);
    }
  }

 private:
  // The next name into m_name; false for the empty string.
  bool ReadName() { return m_stream->ReadLine(m_name.get(), kNameBuffer - 1) >= 2; }

  [[noreturn]] void Unreadable() {
    const char* name = m_stream->GetName();
    throw CXFileException(ZRCAUSE_BADFORMAT, CXStringW(name ? name : ""), ZRSTREAMOP_READ);
  }

  IXStream* m_stream;
  ULONG m_end;
  std::unique_ptr<char[]> m_name;
};

}  // namespace

}  // namespace zr

int SaveParamToXStream(IXStream* stream, IParam* tree) {
  if (!stream || !tree) return 0;
  try {
    zr::SaveNode(stream, tree);
  } catch (const CXFileException&) {
    return 0;
  }
  return 1;
}

int LoadParamFromXStream(IXStream* stream, IParam* tree) {
  if (!stream || !tree) return 0;
  tree->DeleteAllParams();
  tree->DeleteAllValues();
  const ULONG end = stream->GetSize();
  if (end == 0) return 1;
  try {
    zr::CStreamLoader(stream, end).LoadNode(tree, 0);
  } catch (const CXEofException&) {
    // A cut stream ends the load; what was read stays.
  } catch (const CXFileException&) {
    tree->DeleteAllParams();
    tree->DeleteAllValues();
    return 0;
  }
  return 1;
}
