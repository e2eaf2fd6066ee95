// streams/persist.cpp - the persisted object record: writing, reading and
// skipping it, and CXProxy, which keeps the record of a class that cannot be
// created.
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <typeinfo>

#include "base/heldref.h"
#include "zr/exception.h"
#include "zr/persist.h"
#include "zr/registry.h"
#include "zr/xstring.h"

template class CZRUnknownImpl<IPersistXStream>;

namespace {

// The class name holds 1 to kMaxClassName characters before its terminator.
constexpr int kMaxClassName = 259;
constexpr char kLineFeed = '\n';
constexpr ULONG kLengthBytes = 4;

// The most one Seek offset or one Read or Write count can carry.
constexpr ULONG kMaxChunk = INT_MAX;

// How deep object records may nest while they are read: a class's Load that
// reads variants or objects comes back here, so a crafted stream could
// otherwise recurse until the stack runs out. Real documents nest a handful
// of levels. Counted per thread (each reader runs on its caller's stack).
constexpr int kMaxObjectNesting = 256;
constinit thread_local int t_objectNesting = 0;

// One level of object records being loaded, undone however Load ends.
class CNestingLevel {
 public:
  CNestingLevel() { ++t_objectNesting; }
  ~CNestingLevel() { --t_objectNesting; }
  CNestingLevel(const CNestingLevel&) = delete;
  CNestingLevel& operator=(const CNestingLevel&) = delete;
};

// Moves the stream forward by n bytes, in steps that fit Seek's int offset.
void SeekForward(IXStream* stream, ULONG n) {
  while (n > 0) {
    const ULONG step = n < kMaxChunk ? n : kMaxChunk;
    stream->Seek(static_cast<int>(step), ZRSEEK_CUR);
    n -= step;
  }
}

// Moves the stream to the 32-bit position `target` (up to 4 GiB - 1, which
// takes more than one int offset).
void SeekTo(IXStream* stream, ULONG target) {
  const ULONG first = target < kMaxChunk ? target : kMaxChunk;
  stream->Seek(static_cast<int>(first), ZRSEEK_SET);
  SeekForward(stream, target - first);
}

// The bytes between the stream's position and its end, found with Seek (the
// position is left where it was).
ULONG RestOfStream(IXStream* stream) {
  const ULONG position = stream->Seek(0, ZRSEEK_CUR);
  const ULONG size = stream->Seek(0, ZRSEEK_END);
  SeekTo(stream, position);
  return position < size ? size - position : 0;
}

[[noreturn]] void ThrowBadRecord(IXStream* stream) {
  const char* name = stream->GetName();
  const CXStringW wide(name ? name : "");
  throw CXFileException(ZRCAUSE_BADFORMAT, wide, ZRSTREAMOP_READ);
}

// The line reader's limit for a class name: one more than the longest name
// and its terminator, so that a terminator is always kept in the buffer
// (the reader overwrites a line feed read into its last slot, which would
// make a name ended by a line feed look like a whole one).
constexpr int kNameLineMax = kMaxClassName + 2;
using ClassNameBuffer = char[kNameLineMax + 1];

// Reads the class name of a record into `name`; an empty name is the null
// object. The line reader stops after a NUL or a line feed: a name longer
// than kMaxClassName characters, or that a line feed ends, was not written
// by WriteObjectToXStream.
void ReadClassName(IXStream* stream, ClassNameBuffer& name) {
  stream->ReadLine(name, kNameLineMax);
  const std::size_t length = std::strlen(name);
  if (length > std::size_t{kMaxClassName}) ThrowBadRecord(stream);
  if (length > 0 && name[length - 1] == kLineFeed) ThrowBadRecord(stream);
}

}  // namespace

// The record of a class that could not be created: the name and the N bytes
// of data, written back as they were read.
class CXProxy final : public CZRUnknownImpl<IPersistXStream> {
 public:
  CXProxy(const char* className, ULONG length) : m_strClassName(className), m_length(length) {}
  ~CXProxy() override { delete[] m_pData; }

  int InternalQueryInterface(const std::type_info& type, void** out) override {
    if (type != typeid(IPersistX)) return CZRUnknownImpl<IPersistXStream>::InternalQueryInterface(type, out);
    if (out) {
      *out = static_cast<IPersistX*>(this);
      AddRef();
    }
    return 1;
  }

  const char* GetClassName() override { return m_strClassName; }
  ULONG GetSize() override { return m_length; }
  void Load(IXStream* stream) override;
  void Save(IXStream* stream) override;

 private:
  CXString m_strClassName;
  ULONG m_length;            // N of the record
  BYTE* m_pData = nullptr;   // N bytes once loaded (null while N is 0)
};

void CXProxy::Load(IXStream* stream) {
  if (!stream) throw CXException(ZRCAUSE_INVALIDARG);
  delete[] m_pData;
  m_pData = nullptr;
  // N is compared as the unsigned count it is: a damaged length can never
  // make this allocate more than the stream holds.
  if (m_length > RestOfStream(stream)) throw CXException(ZRCAUSE_RECORDTOOLONG);
  if (m_length == 0) return;
  std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[m_length]);
  if (!data) throw CXBadAlloc();
  for (ULONG done = 0; done < m_length;) {
    const ULONG want = m_length - done < kMaxChunk ? m_length - done : kMaxChunk;
    const ULONG got = stream->Read(data.get() + done, static_cast<int>(want));
    if (got == 0) throw CXEofException();
    done += got < want ? got : want;
  }
  m_pData = data.release();
}

void CXProxy::Save(IXStream* stream) {
  if (!stream) throw CXException(ZRCAUSE_INVALIDARG);
  // A proxy is loaded by the reader that makes it; one with a length and no
  // data has nothing to write back.
  if (m_length > 0 && !m_pData) throw CXException(ZRCAUSE_INVALIDARG);
  for (ULONG done = 0; done < m_length;) {
    const ULONG chunk = m_length - done < kMaxChunk ? m_length - done : kMaxChunk;
    stream->Write(m_pData + done, static_cast<int>(chunk));
    done += chunk;
  }
}

int WriteObjectToXStream(IXStream* stream, IPersistXStream* object) {
  if (!stream) throw CXException(ZRCAUSE_INVALIDARG);
  if (!object) {
    stream->WriteString("");
    return 1;
  }
  const char* name = object->GetClassName();
  const std::size_t length = name ? std::strlen(name) : 0;
  if (length == 0 || length > std::size_t{kMaxClassName} || std::memchr(name, kLineFeed, length))
    throw CXException(ZRCAUSE_INVALIDARG);
  stream->WriteString(name);
  stream->WriteDword(0);  // patched below
  const ULONG start = stream->Seek(0, ZRSEEK_CUR);
  object->Save(stream);
  const ULONG end = stream->Seek(0, ZRSEEK_CUR);
  // The patch seeks relative to the end of the data, so positions up to
  // 4 GiB work with Seek's int offsets.
  if (end < start || end - start > kMaxChunk - kLengthBytes) throw CXException(ZRCAUSE_INVALIDARG);
  const ULONG dataLength = end - start;
  stream->Seek(-static_cast<int>(dataLength + kLengthBytes), ZRSEEK_CUR);
  stream->WriteDword(dataLength);
  stream->Seek(static_cast<int>(dataLength), ZRSEEK_CUR);
  return 1;
}

int ReadObjectFromXStream(IXStream* stream, IZRUnknown** out) {
  if (!stream || !out) throw CXException(ZRCAUSE_INVALIDARG);
  *out = nullptr;
  ClassNameBuffer name;
  ReadClassName(stream, name);
  if (name[0] == '\0') return 0;  // the null object
  const ULONG length = stream->ReadDword();
  // Past the bound the record is refused as a malformed one, before any
  // object is made; the stream stays after the length.
  if (t_objectNesting >= kMaxObjectNesting) ThrowBadRecord(stream);
  const CNestingLevel level;

  // CreateObject hands its out pointer to the factory as void**: what
  // `created` holds is the IPersistXStream pointer that was asked for.
  IZRUnknown* created = nullptr;
  IPersistXStream* object = nullptr;
  if (CreateObject(name, nullptr, typeid(IPersistXStream), &created) && created) {
    object = reinterpret_cast<IPersistXStream*>(created);
  } else {
    object = zr::Allocating([&] { return new CXProxy(name, length); });
  }
  const zr::CHeldRef creation(object);
  object->Load(stream);
  return object->QueryInterface(typeid(IZRUnknown), reinterpret_cast<void**>(out));
}

ULONG SizeOfObject(IPersistXStream* object) {
  if (!object) return 1;
  const char* name = object->GetClassName();
  const std::size_t length = name ? std::strlen(name) : 0;
  return static_cast<ULONG>(length) + 1 + kLengthBytes + object->GetSize();
}

ULONG SkipObjectToXStream(IXStream* stream) {
  if (!stream) throw CXException(ZRCAUSE_INVALIDARG);
  const ULONG start = stream->Seek(0, ZRSEEK_CUR);
  ClassNameBuffer name;
  ReadClassName(stream, name);
  // A relative Seek by the length, as the stream does it: a memory stream
  // stops at its end. Lengths beyond an int offset go forward in steps.
  if (name[0] != '\0') SeekForward(stream, stream->ReadDword());
  return start;
}
