// tools/remote_copy.cpp - see remote_copy.h.
#include "tools/remote_copy.h"

#include <cstdio>

#include "zr/zrcore.h"

RemoteCopy::RemoteCopy(const char* name) : m_path(name) {
  const CXStringW wide(name);
  if (!Fio_PathIsURL(wide)) return;
  const WCHAR* temp = Fio_GetTempFileName();
  m_temp = temp;
  m_path = static_cast<const char*>(CXString(temp));
  if (m_temp.empty() || !Fio_DownloadToFile(wide, temp)) {
    std::fprintf(stderr, "zrtool: %s: cannot download it\n", name);
    m_ok = false;
  }
}

RemoteCopy::~RemoteCopy() {
  if (m_temp.empty()) return;
  try {
    Fio_DeleteFile(reinterpret_cast<const WCHAR*>(m_temp.c_str()));
  } catch (const CXException&) {
    // Left in the temporary folder.
  }
}
