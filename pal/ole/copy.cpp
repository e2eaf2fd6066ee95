// pal/ole/copy.cpp - copying elements between images (CopyTo,
// MoveElementTo, and the commit of transacted sub-storages).
//
// The walk keeps its own list of (source, destination) storage pairs
// instead of recursing, so a deep tree cannot exhaust the stack; the source
// tree has no cycles (the image checks that when it loads), so it ends.
#include <algorithm>
#include <vector>

#include "pal/ole/objects.h"

namespace zrpal::ole {

namespace {

constexpr ULONG kCopyChunk = 1u << 20;

bool Excluded(SNB names, const std::u16string& name) {
  if (!names) return false;
  for (SNB p = names; *p; ++p)
    if (std::u16string_view(*p) == name) return true;
  return false;
}

HRESULT CopyStreamData(Image& src, std::uint32_t from, Image& dst, std::uint32_t to) {
  const std::uint64_t size = src.At(from).d.size;
  std::vector<BYTE> buf(static_cast<std::size_t>(std::min<std::uint64_t>(size, kCopyChunk)));
  HRESULT hr = dst.SetStreamSize(to, 0);
  for (std::uint64_t at = 0; SUCCEEDED(hr) && at < size;) {
    ULONG got = 0;
    if (FAILED(hr = src.ReadStream(from, at, buf.data(), static_cast<ULONG>(buf.size()), &got))) break;
    if (got == 0) return STG_E_DOCFILECORRUPT;
    hr = dst.WriteStream(to, at, buf.data(), got);
    at += got;
  }
  return hr;
}

void CopyAttributes(const DirEntry& from, DirEntry& to) {
  to.clsid = from.clsid;
  to.stateBits = from.stateBits;
  to.created = from.created;
  to.modified = from.modified;
}

// Makes `name` under `parent` an element of `type`: an element of another
// type (or any stream, which is replaced) is removed first.
HRESULT Prepare(Image& dst, std::uint32_t parent, const std::u16string& name, ObjectType type,
                std::uint32_t* sid) {
  std::uint32_t existing = dst.Find(parent, name);
  if (existing != kNoStream && (type == ObjectType::Stream || dst.At(existing).d.type != type)) {
    const HRESULT hr = dst.Remove(existing);
    if (FAILED(hr)) return hr;
    existing = kNoStream;
  }
  if (existing != kNoStream) {
    *sid = existing;
    return S_OK;
  }
  return dst.Add(parent, name, type, sid);
}

}  // namespace

HRESULT CopyChildren(Image& src, std::uint32_t srcSid, Image& dst, std::uint32_t dstSid,
                     const CopyFilter& filter) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> todo{{srcSid, dstSid}};
  bool top = true;
  while (!todo.empty()) {
    const auto [from, to] = todo.back();
    todo.pop_back();
    // A snapshot of the names: copying within one image may add entries.
    std::vector<std::uint32_t> children;
    for (const auto& [name, sid] : src.At(from).children) children.push_back(sid);
    for (std::uint32_t child : children) {
      const DirEntry d = src.At(child).d;
      if (top && Excluded(filter.excludeNames, d.name)) continue;
      const bool isStream = d.type == ObjectType::Stream;
      if (top && (isStream ? filter.skipStreams : filter.skipStorages)) continue;
      std::uint32_t target;
      HRESULT hr = Prepare(dst, to, d.name, d.type, &target);
      if (FAILED(hr)) return hr;
      CopyAttributes(d, dst.At(target).d);
      if (isStream) {
        if (FAILED(hr = CopyStreamData(src, child, dst, target))) return hr;
      } else {
        todo.push_back({child, target});
      }
    }
    top = false;
  }
  return S_OK;
}

HRESULT CopyElement(Image& src, std::uint32_t srcSid, Image& dst, std::uint32_t dstParent,
                    std::u16string_view name) {
  const DirEntry d = src.At(srcSid).d;
  const std::u16string target(name);
  std::uint32_t existing = dst.Find(dstParent, target);
  HRESULT hr;
  if (existing != kNoStream && FAILED(hr = dst.Remove(existing))) return hr;
  std::uint32_t sid;
  if (FAILED(hr = dst.Add(dstParent, target, d.type, &sid))) return hr;
  CopyAttributes(d, dst.At(sid).d);
  if (d.type == ObjectType::Stream) return CopyStreamData(src, srcSid, dst, sid);
  return CopyChildren(src, srcSid, dst, sid, CopyFilter{});
}

}  // namespace zrpal::ole
