// files/fileops.cpp - the file-system functions (see zr/fileops.h).
//
// Each one is a thin layer over the platform's function of the same job; a
// failure becomes CXFileException with the function's operation code and
// the cause of the Windows error. Memory-file names and URLs are handled
// where the functions say so: URLs by the remote functions of
// zr/urlfile.h.
#include "zr/fileops.h"

#include <memory>
#include <new>

#include "files/errors.h"
#include "files/fileinfo.h"
#include "files/memname.h"
#include "pal/error.h"
#include "pal/files/file.h"
#include "pal/files/filesystem.h"
#include "pal/files/find.h"
#include "pal/files/url.h"
#include "pal/handle.h"
#include "pal/security/security.h"
#include "zr/exception.h"
#include "zr/memfile.h"
#include "zr/urlfile.h"

namespace {

constexpr WCHAR kTempPrefix[] = u"ZRPR";
constexpr WCHAR kSeparators[] = u"\\/";
constexpr std::size_t kTempBufferChars = 512;

// The process-wide buffers of Fio_GetTempFileName.
constinit WCHAR g_tempFolder[kTempBufferChars] = {};
constinit WCHAR g_tempName[kTempBufferChars] = {};

// A closing guard for the platform's kernel handles.
struct HandleCloser {
  void operator()(void* h) const {
    if (h) zrpal::CloseHandle(h);
  }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace

void Fio_CopyFile(const WCHAR* source, const WCHAR* destination, int failIfExists) {
  if (!zrpal::CopyFileW(source, destination, failIfExists ? 1 : 0))
    zr::ThrowLastFileError(source, ZRFILEOP_COPY);
}

void Fio_RenameFile(const WCHAR* source, const WCHAR* destination) {
  if (!zrpal::MoveFileW(source, destination)) zr::ThrowLastFileError(source, ZRFILEOP_RENAME);
}

void Fio_DeleteFile(const WCHAR* path) {
  // Memory files have nothing to delete; a remote delete's result is not
  // reported.
  if (Fio_IsMemFile(path)) return;
  if (Fio_PathIsURL(path)) {
    Fio_UrlDeleteFile(path);
    return;
  }
  if (!zrpal::DeleteFileW(path)) zr::ThrowLastFileError(path, ZRFILEOP_DELETE);
}

void Fio_DeleteDirectory(const WCHAR* path) {
  if (!zrpal::RemoveDirectoryW(path)) zr::ThrowLastFileError(path, ZRFILEOP_RMDIR);
}

void Fio_CreateDirectory(const WCHAR* path) {
  if (!path || !*path || Fio_IsMemFile(path)) return;
  if (Fio_PathIsURL(path)) return Fio_UrlCreateDirectory(path);
  if (Fio_IsFileExist(path)) return;
  CXStringW whole(path);
  whole.AddDirDelim();
  // One level per separator, each the text before it; a walk bounded by
  // the length, since every step moves past a separator.
  for (int i = 0, steps = 0; steps <= whole.GetLength(); ++steps) {
    const int at = whole.FindOnOf(kSeparators, i);
    if (at < 0) break;
    CXStringW level;
    whole.Extract(0, at, level);
    i = at + 1;
    // Drives ("C:") and the empty level before a leading separator are
    // passed over.
    if (level.GetLength() == 0 || level.GetAt(static_cast<unsigned>(level.GetLength() - 1)) == ':')
      continue;
    if (Fio_IsFileExist(level)) continue;
    if (!zrpal::CreateDirectoryW(level, nullptr)) {
      const DWORD error = zrpal::GetLastError();
      // Made by someone else meanwhile: as good as made here.
      const DWORD attributes = zrpal::GetFileAttributesW(level);
      if (error == zrpal::ERROR_ALREADY_EXISTS && attributes != zrpal::INVALID_FILE_ATTRIBUTES &&
          (attributes & zrpal::FILE_ATTRIBUTE_DIRECTORY))
        continue;
      zr::ThrowFileError(zr::FileCauseOf(error), level, ZRFILEOP_MKDIR);
    }
  }
}

void Fio_GetCurrentDirectory(WCHAR* buffer, int size) {
  zrpal::GetCurrentDirectoryW(size > 0 ? static_cast<DWORD>(size) : 0, buffer);
}

void Fio_SetCurrentDirectory(const WCHAR* path) {
  if (!zrpal::SetCurrentDirectoryW(path)) zr::ThrowLastFileError(path, ZRFILEOP_CHDIR);
}

void Fio_GetFileInfo(const WCHAR* path, FioFileInfo* info) {
  if (!info) throw CXException(ZRCAUSE_INVALIDARG);
  if (Fio_IsMemFile(path)) {
    info->size = zr::ParseMemFileName(path).size;
    return;
  }
  if (Fio_PathIsURL(path)) return Fio_UrlGetFileInfo(path, info);
  zrpal::WIN32_FIND_DATAW found;
  {
    zr::QuietErrors quiet;
    HANDLE find = zrpal::FindFirstFileW(path, &found);
    if (find == zrpal::INVALID_HANDLE_VALUE) zr::ThrowLastFileError(path, ZRFILEOP_INFO);
    zrpal::FindClose(find);
  }
  zr::FillFileInfo(found, info);
}

int Fio_IsFileExist(const WCHAR* path) {
  try {
    FioFileInfo info;
    Fio_GetFileInfo(path, &info);
    return 1;
  } catch (const CXException&) {
    return 0;
  }
}

int Fio_IsWritableDir(const WCHAR* path) {
  using namespace zrpal;
  constexpr SECURITY_INFORMATION kRequest =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;  // 7
  constexpr DWORD kTokenRights =
      TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE | STANDARD_RIGHTS_READ;
  static constexpr GENERIC_MAPPING kFileMapping = {0x120089, 0x120116, 0x1200A0, 0x1F01FF};
  DWORD needed = 0;
  if (GetFileSecurityW(path, kRequest, nullptr, 0, &needed) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return 0;
  std::unique_ptr<BYTE[]> descriptor(new (std::nothrow) BYTE[needed]);
  if (!descriptor || !GetFileSecurityW(path, kRequest, descriptor.get(), needed, &needed)) return 0;
  HANDLE process = nullptr, impersonation = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), kTokenRights, &process)) return 0;
  ScopedHandle processToken(process);
  if (!DuplicateToken(process, SecurityImpersonation, &impersonation)) return 0;
  ScopedHandle impersonationToken(impersonation);
  DWORD access = GENERIC_READ | GENERIC_WRITE;  // 0xC0000000
  MapGenericMask(&access, &kFileMapping);
  PRIVILEGE_SET privileges;
  DWORD privilegesLength = sizeof privileges;  // 20 bytes
  DWORD granted = 0;
  BOOL status = FALSE;
  const BOOL ran = AccessCheck(descriptor.get(), impersonation, access, &kFileMapping, &privileges,
                               &privilegesLength, &granted, &status);
  return ran && status ? 1 : 0;
}

int Fio_GetSecurityInfo(const WCHAR* path, CXStringW& owner) {
  using namespace zrpal;
  HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  ScopedHandle file(h);
  PSID sid = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS)
    return 0;
  std::unique_ptr<void, HLOCAL (*)(HLOCAL)> descriptorGuard(descriptor, LocalFree);
  // One call to learn the sizes, one to fetch the names.
  DWORD nameLength = 0, domainLength = 0;
  SID_NAME_USE use;
  if (LookupAccountSidW(nullptr, sid, nullptr, &nameLength, nullptr, &domainLength, &use) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return 0;
  std::unique_ptr<WCHAR[]> name(new (std::nothrow) WCHAR[nameLength]);
  std::unique_ptr<WCHAR[]> domain(new (std::nothrow) WCHAR[domainLength]);
  if (!name || !domain ||
      !LookupAccountSidW(nullptr, sid, name.get(), &nameLength, domain.get(), &domainLength, &use))
    return 0;
  CXStringW text(name.get());
  text += u' ';
  text += domain.get();
  owner = text;
  return 1;
}

const WCHAR* Fio_GetTempFileName() {
  g_tempName[0] = 0;
  const DWORD n = zrpal::GetTempPathW(kTempBufferChars, g_tempFolder);
  if (n == 0 || n >= kTempBufferChars ||
      !zrpal::GetTempFileNameW(g_tempFolder, kTempPrefix, 0, g_tempName))
    g_tempName[0] = 0;  // the platform failed: an empty name
  return g_tempName;
}

int Fio_PathIsURL(const WCHAR* path) { return zrpal::PathIsURLW(path) ? 1 : 0; }
