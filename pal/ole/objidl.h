// pal/ole/objidl.h - the structured-storage slice of COM: GUIDs, result
// codes, STGM modes, STATSTG and the interfaces IUnknown, ISequentialStream,
// IStream, IStorage, IEnumSTATSTG, ILockBytes and IMalloc.
//
// Layouts and values are those of the Windows headers (objidl.h, objbase.h,
// winerror.h): an HRESULT is a 32-bit LONG with the same bits, a GUID is the
// same 16 bytes, and every interface declares its operations in the Windows
// table order (IUnknown's three first). There is no calling-convention
// difference to keep on x86-64.
//
// Objects are reference-counted as in COM: a function or operation that
// hands out an interface pointer gives the caller one reference; pointers
// passed in are borrowed. Nothing here throws: every operation answers an
// HRESULT (memory exhaustion is E_OUTOFMEMORY or STG_E_INSUFFICIENTMEMORY).
#pragma once

#include <cstring>

#include "pal/com.h"
#include "pal/types.h"

namespace zrpal {

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFIID a, REFIID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }

inline constexpr CLSID CLSID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
// The COM interface identities, {xxxxxxxx-0000-0000-C000-000000000046}.
inline constexpr IID IID_IUnknown = {0x00000000, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IMalloc = {0x00000002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ILockBytes = {0x0000000A, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IStorage = {0x0000000B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IStream = {0x0000000C, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IEnumSTATSTG = {0x0000000D, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

// HRESULTs (winerror.h).
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT MakeHresult(DWORD bits) { return static_cast<HRESULT>(bits); }

inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000E);

inline constexpr HRESULT STG_E_INVALIDFUNCTION = MakeHresult(0x80030001);
inline constexpr HRESULT STG_E_FILENOTFOUND = MakeHresult(0x80030002);
inline constexpr HRESULT STG_E_PATHNOTFOUND = MakeHresult(0x80030003);
inline constexpr HRESULT STG_E_TOOMANYOPENFILES = MakeHresult(0x80030004);
inline constexpr HRESULT STG_E_ACCESSDENIED = MakeHresult(0x80030005);
inline constexpr HRESULT STG_E_INVALIDHANDLE = MakeHresult(0x80030006);
inline constexpr HRESULT STG_E_INSUFFICIENTMEMORY = MakeHresult(0x80030008);
inline constexpr HRESULT STG_E_INVALIDPOINTER = MakeHresult(0x80030009);
inline constexpr HRESULT STG_E_NOMOREFILES = MakeHresult(0x80030012);
inline constexpr HRESULT STG_E_DISKISWRITEPROTECTED = MakeHresult(0x80030013);
inline constexpr HRESULT STG_E_SEEKERROR = MakeHresult(0x80030019);
inline constexpr HRESULT STG_E_WRITEFAULT = MakeHresult(0x8003001D);
inline constexpr HRESULT STG_E_READFAULT = MakeHresult(0x8003001E);
inline constexpr HRESULT STG_E_SHAREVIOLATION = MakeHresult(0x80030020);
inline constexpr HRESULT STG_E_LOCKVIOLATION = MakeHresult(0x80030021);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = MakeHresult(0x80030050);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = MakeHresult(0x80030057);
inline constexpr HRESULT STG_E_MEDIUMFULL = MakeHresult(0x80030070);
inline constexpr HRESULT STG_E_PROPSETMISMATCHED = MakeHresult(0x800300F0);
inline constexpr HRESULT STG_E_ABNORMALAPIEXIT = MakeHresult(0x800300FA);
inline constexpr HRESULT STG_E_INVALIDHEADER = MakeHresult(0x800300FB);
inline constexpr HRESULT STG_E_INVALIDNAME = MakeHresult(0x800300FC);
inline constexpr HRESULT STG_E_UNKNOWN = MakeHresult(0x800300FD);
inline constexpr HRESULT STG_E_UNIMPLEMENTEDFUNCTION = MakeHresult(0x800300FE);
inline constexpr HRESULT STG_E_INVALIDFLAG = MakeHresult(0x800300FF);
inline constexpr HRESULT STG_E_INUSE = MakeHresult(0x80030100);
inline constexpr HRESULT STG_E_NOTCURRENT = MakeHresult(0x80030101);
inline constexpr HRESULT STG_E_REVERTED = MakeHresult(0x80030102);
inline constexpr HRESULT STG_E_CANTSAVE = MakeHresult(0x80030103);
inline constexpr HRESULT STG_E_OLDFORMAT = MakeHresult(0x80030104);
inline constexpr HRESULT STG_E_OLDDLL = MakeHresult(0x80030105);
inline constexpr HRESULT STG_E_SHAREREQUIRED = MakeHresult(0x80030106);
inline constexpr HRESULT STG_E_NOTFILEBASEDSTORAGE = MakeHresult(0x80030107);
inline constexpr HRESULT STG_E_EXTANTMARSHALLINGS = MakeHresult(0x80030108);
inline constexpr HRESULT STG_E_DOCFILECORRUPT = MakeHresult(0x80030109);
inline constexpr HRESULT STG_E_DOCFILETOOLARGE = MakeHresult(0x80030111);
inline constexpr HRESULT STG_E_INCOMPLETE = MakeHresult(0x80030201);
inline constexpr HRESULT STG_E_TERMINATED = MakeHresult(0x80030202);
inline constexpr HRESULT STG_S_CONVERTED = MakeHresult(0x00030200);

// STGM modes. The low 16 bits hold three 4-bit fields (access, share,
// create); the high bits are flags.
inline constexpr DWORD STGM_DIRECT = 0x00000000;
inline constexpr DWORD STGM_TRANSACTED = 0x00010000;
inline constexpr DWORD STGM_SIMPLE = 0x08000000;
inline constexpr DWORD STGM_READ = 0x00000000;
inline constexpr DWORD STGM_WRITE = 0x00000001;
inline constexpr DWORD STGM_READWRITE = 0x00000002;
inline constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040;
inline constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030;
inline constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020;
inline constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
inline constexpr DWORD STGM_PRIORITY = 0x00040000;
inline constexpr DWORD STGM_DELETEONRELEASE = 0x04000000;
inline constexpr DWORD STGM_NOSCRATCH = 0x00100000;
inline constexpr DWORD STGM_CREATE = 0x00001000;
inline constexpr DWORD STGM_CONVERT = 0x00020000;
inline constexpr DWORD STGM_FAILIFTHERE = 0x00000000;
inline constexpr DWORD STGM_NOSNAPSHOT = 0x00200000;
inline constexpr DWORD STGM_DIRECT_SWMR = 0x00400000;

// Element types (STGTY), seek origins, commit, move and stat flags.
inline constexpr DWORD STGTY_STORAGE = 1;
inline constexpr DWORD STGTY_STREAM = 2;
inline constexpr DWORD STGTY_LOCKBYTES = 3;
inline constexpr DWORD STGTY_PROPERTY = 4;
inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;
inline constexpr DWORD STGC_DEFAULT = 0;
inline constexpr DWORD STGC_OVERWRITE = 1;
inline constexpr DWORD STGC_ONLYIFCURRENT = 2;
inline constexpr DWORD STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4;
inline constexpr DWORD STGC_CONSOLIDATE = 8;
inline constexpr DWORD STGMOVE_MOVE = 0;
inline constexpr DWORD STGMOVE_COPY = 1;
inline constexpr DWORD STATFLAG_DEFAULT = 0;
inline constexpr DWORD STATFLAG_NONAME = 1;
inline constexpr DWORD LOCK_WRITE = 1;
inline constexpr DWORD LOCK_EXCLUSIVE = 2;
inline constexpr DWORD LOCK_ONLYONCE = 4;

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using SNB = OLECHAR**;

// FILETIME, LARGE_INTEGER and ULARGE_INTEGER are in pal/types.h (the files
// and registry components use them too).

struct STATSTG {
  LPOLESTR pwcsName;  // allocated with CoTaskMemAlloc; the caller frees it
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};
static_assert(sizeof(STATSTG) == 80, "the Windows x64 layout");

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // objects go with their last Release
};

// QueryInterface of an object that answers IUnknown and `iids` with
// `self`, adding one reference, as every object of this component does.
template <class I, class... Iids>
HRESULT QueryInterfaces(I* self, REFIID riid, void** object, const Iids&... iids) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || ((riid == iids) || ...)) {
    *object = self;
    self->AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

struct IMalloc : IUnknown {
  virtual void* Alloc(SIZE_T bytes) = 0;
  virtual void* Realloc(void* block, SIZE_T bytes) = 0;
  virtual void Free(void* block) = 0;
  virtual SIZE_T GetSize(void* block) = 0;
  virtual INT DidAlloc(void* block) = 0;
  virtual void HeapMinimize() = 0;
};

struct ISequentialStream : IUnknown {
  virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG count, ULONG* written) = 0;
};

struct IStream : ISequentialStream {
  virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER newSize) = 0;
  virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                         ULARGE_INTEGER* written) = 0;
  virtual HRESULT Commit(DWORD commitFlags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD statFlag) = 0;
  virtual HRESULT Clone(IStream** clone) = 0;
};

struct IEnumSTATSTG : IUnknown {
  virtual HRESULT Next(ULONG count, STATSTG* elements, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumSTATSTG** clone) = 0;
};

struct IStorage : IUnknown {
  virtual HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                               IStream** stream) = 0;
  virtual HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2,
                             IStream** stream) = 0;
  virtual HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2,
                                IStorage** storage) = 0;
  virtual HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude,
                              DWORD reserved, IStorage** storage) = 0;
  virtual HRESULT CopyTo(DWORD excludeIidCount, const IID* excludeIids, SNB exclude,
                         IStorage* target) = 0;
  virtual HRESULT MoveElementTo(const OLECHAR* name, IStorage* target, const OLECHAR* newName,
                                DWORD flags) = 0;
  virtual HRESULT Commit(DWORD commitFlags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                               IEnumSTATSTG** elements) = 0;
  virtual HRESULT DestroyElement(const OLECHAR* name) = 0;
  virtual HRESULT RenameElement(const OLECHAR* oldName, const OLECHAR* newName) = 0;
  virtual HRESULT SetElementTimes(const OLECHAR* name, const FILETIME* created,
                                  const FILETIME* accessed, const FILETIME* modified) = 0;
  virtual HRESULT SetClass(REFCLSID clsid) = 0;
  virtual HRESULT SetStateBits(DWORD stateBits, DWORD mask) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD statFlag) = 0;
};

struct ILockBytes : IUnknown {
  virtual HRESULT ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG count, ULONG* read) = 0;
  virtual HRESULT WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG count,
                          ULONG* written) = 0;
  virtual HRESULT Flush() = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD statFlag) = 0;
};

}  // namespace zrpal
