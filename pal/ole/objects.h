// pal/ole/objects.h - the COM objects over an Image: what the storage,
// stream and enumerator objects share.
//
// A Document owns one Image. Every object opened on it holds the Document
// (shared ownership), the SID of its entry and the entry's generation; an
// object whose entry was destroyed, replaced or reverted away (another
// generation), or whose root was released (the Document closed), answers
// STG_E_REVERTED, as Windows' objects do.
//
// Elements open exclusively (STGM_SHARE_EXCLUSIVE is the only share mode of
// elements): an OpenMark counts the openers of an entry while any instance
// (a stream and its clones) is alive, and a second open is refused with
// STG_E_ACCESSDENIED.
#pragma once

#include <memory>
#include <new>
#include <string>

#include "pal/ole/image.h"
#include "pal/ole/objidl.h"

namespace zrpal::ole {

// An intrusive counted reference (the library exports no instance of the
// standard library's shared pointers).
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : m_p(p) {}  // adopts the creator's count
  Ref(const Ref& o) : m_p(o.m_p) {
    if (m_p) ++m_p->refs;
  }
  Ref(Ref&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
  Ref& operator=(Ref o) noexcept {
    std::swap(m_p, o.m_p);
    return *this;
  }
  ~Ref() {
    if (m_p && --m_p->refs == 0) delete m_p;
  }
  T* operator->() const { return m_p; }
  T& operator*() const { return *m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  bool operator==(const Ref& o) const { return m_p == o.m_p; }

 private:
  T* m_p = nullptr;
};

struct Document {
  std::unique_ptr<Image> image;
  std::u16string path;  // the file's path, empty for lock bytes of the caller
  bool closed = false;
  ULONG refs = 1;
};
using DocRef = Ref<Document>;

struct OpenMark {
  OpenMark(DocRef d, std::uint32_t s) : doc(std::move(d)), sid(s), gen(doc->image->At(s).generation) {
    ++doc->image->At(sid).openCount;
  }
  ~OpenMark() {
    if (doc->image->IsLive(sid, gen) && doc->image->At(sid).openCount > 0)
      --doc->image->At(sid).openCount;
  }
  OpenMark(const OpenMark&) = delete;
  OpenMark& operator=(const OpenMark&) = delete;
  DocRef doc;
  std::uint32_t sid;
  std::uint32_t gen;
  ULONG refs = 1;
};
using MarkRef = Ref<OpenMark>;

// Runs `body`, answering STG_E_INSUFFICIENTMEMORY when memory runs out (the
// platform layer never lets an exception out).
template <class F>
HRESULT Guarded(F body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  }
}

// STGM checks shared by the entry points and the storage operations.
inline constexpr DWORD kAccessMask = 0x0000000F;
inline constexpr DWORD kShareMask = 0x000000F0;
inline constexpr DWORD kCreateMask = 0x0000F000;
inline DWORD AccessOf(DWORD mode) { return mode & kAccessMask; }
inline DWORD ShareOf(DWORD mode) { return mode & kShareMask; }
inline bool CanWrite(DWORD mode) { return AccessOf(mode) != STGM_READ; }
inline bool CanRead(DWORD mode) { return AccessOf(mode) != STGM_WRITE; }
// A value some STGM combination has (the checks Windows makes of every
// mode before looking at the operation).
bool IsValidMode(DWORD mode);

// The root storage of a document (one reference).
HRESULT NewRootStorage(DocRef doc, DWORD mode, IStorage** storage);
// A stream object on entry `sid` (one reference).
HRESULT NewStream(DocRef doc, std::uint32_t sid, DWORD mode, IStream** stream);

// Copies the children of `srcSid` in `src` into storage `dstSid` of `dst`:
// streams replace elements of their name, storages merge into storages of
// theirs. Names in `exclude` (top level only) and the kinds excluded are
// skipped. CLSIDs, state bits and times go with the elements.
struct CopyFilter {
  SNB excludeNames = nullptr;
  bool skipStreams = false;
  bool skipStorages = false;
};
HRESULT CopyChildren(Image& src, std::uint32_t srcSid, Image& dst, std::uint32_t dstSid,
                     const CopyFilter& filter);
// Copies one element of `src` under a new name into `dstParent` of `dst`,
// replacing an element of that name.
HRESULT CopyElement(Image& src, std::uint32_t srcSid, Image& dst, std::uint32_t dstParent,
                    std::u16string_view name);

// The private identity through which a storage of this module is found
// behind an IStorage* (for CopyTo and MoveElementTo).
inline constexpr IID IID_ZrOleStorage = {
    0x7A524F4C, 0x4553, 0x5452, {0x47, 0x45, 0x5A, 0x52, 0x43, 0x46, 0x42, 0x31}};

}  // namespace zrpal::ole
