// pal/ole/stream_object.cpp - IStream over a stream entry of an Image.
//
// A stream has a seek position of its own; clones share the entry (and its
// open mark) but not the position. Region locks are not offered by
// compound-file streams (STG_E_INVALIDFUNCTION, as on Windows); Commit and
// Revert of a stream do nothing, since its changes belong to its storage.
#include <algorithm>
#include <cstring>
#include <vector>

#include "pal/ole/objects.h"
#include "pal/ole/storage.h"

namespace zrpal::ole {

namespace {

// Version 3 streams end at 2 GiB (the format keeps their size in 32 bits).
constexpr std::uint64_t kMaxV3StreamSize = 0x80000000ull;
constexpr ULONG kCopyChunk = 1u << 20;

class StreamObject final : public IStream {
 public:
  StreamObject(MarkRef mark, DWORD mode)
      : m_mark(std::move(mark)), m_mode(mode) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaces(static_cast<IStream*>(this), riid, object, IID_IStream, IID_ISequentialStream);
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

  HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
    return Guarded([&] {
      if (read) *read = 0;
      if (!buffer) return STG_E_INVALIDPOINTER;
      HRESULT hr = Alive();
      if (FAILED(hr)) return hr;
      if (!CanRead(m_mode)) return STG_E_ACCESSDENIED;
      ULONG got = 0;
      hr = Img().ReadStream(Sid(), m_pos, buffer, count, &got);
      if (FAILED(hr)) return hr;
      m_pos += got;
      if (read) *read = got;
      return S_OK;
    });
  }

  HRESULT Write(const void* buffer, ULONG count, ULONG* written) override {
    return Guarded([&] {
      if (written) *written = 0;
      if (!buffer) return STG_E_INVALIDPOINTER;
      HRESULT hr = Alive();
      if (FAILED(hr)) return hr;
      if (!CanWrite(m_mode) || !Img().Writable()) return STG_E_ACCESSDENIED;
      if (count == 0) return S_OK;
      if (TooLarge(m_pos + count)) return STG_E_MEDIUMFULL;
      if (FAILED(hr = Img().WriteStream(Sid(), m_pos, buffer, count))) return hr;
      m_pos += count;
      if (written) *written = count;
      return S_OK;
    });
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    const HRESULT hr = Alive();
    if (FAILED(hr)) return hr;
    std::int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<std::int64_t>(m_pos); break;
      case STREAM_SEEK_END: base = static_cast<std::int64_t>(Img().At(Sid()).d.size); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const std::int64_t target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;  // before the start, as Windows refuses
    m_pos = static_cast<std::uint64_t>(target);
    if (newPosition) newPosition->QuadPart = m_pos;
    return S_OK;
  }

  HRESULT SetSize(ULARGE_INTEGER size) override {
    return Guarded([&] {
      HRESULT hr = Alive();
      if (FAILED(hr)) return hr;
      if (!CanWrite(m_mode) || !Img().Writable()) return STG_E_ACCESSDENIED;
      if (TooLarge(size.QuadPart)) return STG_E_MEDIUMFULL;
      return Img().SetStreamSize(Sid(), size.QuadPart);
    });
  }

  HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                 ULARGE_INTEGER* written) override {
    return Guarded([&] {
      if (read) read->QuadPart = 0;
      if (written) written->QuadPart = 0;
      if (!target) return STG_E_INVALIDPOINTER;
      HRESULT hr = Alive();
      if (FAILED(hr)) return hr;
      std::vector<BYTE> buf(static_cast<std::size_t>(std::min<ULONGLONG>(count.QuadPart, kCopyChunk)));
      ULONGLONG left = count.QuadPart;
      ULONGLONG totalRead = 0, totalWritten = 0;
      while (left > 0) {
        ULONG got = 0;
        if (FAILED(hr = Read(buf.data(), static_cast<ULONG>(std::min<ULONGLONG>(left, buf.size())), &got)))
          return hr;
        if (got == 0) break;
        totalRead += got;
        ULONG put = 0;
        hr = target->Write(buf.data(), got, &put);
        totalWritten += put;
        if (FAILED(hr)) return hr;
        left -= got;
      }
      if (read) read->QuadPart = totalRead;
      if (written) written->QuadPart = totalWritten;
      return S_OK;
    });
  }

  HRESULT Commit(DWORD flags) override {
    if (flags & ~0xFu) return STG_E_INVALIDFLAG;
    return Alive();
  }
  HRESULT Revert() override { return Alive(); }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }

  HRESULT Stat(STATSTG* stat, DWORD statFlag) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    if (statFlag > STATFLAG_NONAME) return STG_E_INVALIDFLAG;
    HRESULT hr = Alive();
    if (FAILED(hr)) return hr;
    const DirEntry& d = Img().At(Sid()).d;
    *stat = STATSTG{};
    if (statFlag == STATFLAG_DEFAULT) {
      const std::size_t bytes = (d.name.size() + 1) * sizeof(WCHAR);
      stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      if (!stat->pwcsName) return STG_E_INSUFFICIENTMEMORY;
      std::memcpy(stat->pwcsName, d.name.c_str(), bytes);
    }
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = d.size;
    stat->mtime = {static_cast<DWORD>(d.modified), static_cast<DWORD>(d.modified >> 32)};
    stat->ctime = {static_cast<DWORD>(d.created), static_cast<DWORD>(d.created >> 32)};
    stat->grfMode = m_mode;
    return S_OK;
  }

  HRESULT Clone(IStream** clone) override {
    if (!clone) return STG_E_INVALIDPOINTER;
    *clone = nullptr;
    const HRESULT hr = Alive();
    if (FAILED(hr)) return hr;
    auto* copy = new (std::nothrow) StreamObject(m_mark, m_mode);
    if (!copy) return STG_E_INSUFFICIENTMEMORY;
    copy->m_pos = m_pos;
    *clone = copy;
    return S_OK;
  }

 private:
  Image& Img() const { return *m_mark->doc->image; }
  std::uint32_t Sid() const { return m_mark->sid; }
  HRESULT Alive() const {
    if (m_mark->doc->closed || !Img().IsLive(m_mark->sid, m_mark->gen)) return STG_E_REVERTED;
    return S_OK;
  }
  bool TooLarge(std::uint64_t size) const {
    return Img().GetHeader().majorVersion == 3 && size > kMaxV3StreamSize;
  }

  ULONG m_refs = 1;
  MarkRef m_mark;
  DWORD m_mode;
  std::uint64_t m_pos = 0;
};

}  // namespace

HRESULT NewStream(DocRef doc, std::uint32_t sid, DWORD mode, IStream** stream) {
  return Guarded([&] {
    auto mark = MarkRef(new OpenMark(std::move(doc), sid));
    *stream = new StreamObject(std::move(mark), mode & ~kCreateMask);
    return S_OK;
  });
}

}  // namespace zrpal::ole
