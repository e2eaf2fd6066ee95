// pal/internet/crack.cpp - InternetCrackUrlW (see internet.h).
//
// The URL is split where Windows splits it, and each part is handed back
// as the raw text between its delimiters: nothing is decoded, no dot
// segment is removed, no case is changed. Layout:
//
//   scheme ":" [ "//" [ user [ ":" password ] "@" ] host [ ":" port ] ] path [ extra ]
//
// The authority ends at the first "/", "\\", "?" or "#" after "//" (a
// backslash as a slash, as Windows' URL functions take it); its user
// information ends at its last "@" and the user at the first ":" of it; a
// port follows the last ":" of the host part unless the host is an IPv6
// literal "[...]". Extra information ("?..." or "#...") is split from the
// path only when the caller asks for it, as on Windows; otherwise the path
// holds it.
#include <string_view>

#include "pal/error.h"
#include "pal/internet/internet.h"
#include "pal/wstr.h"

namespace zrpal {

namespace {

using Text = std::u16string_view;

constexpr DWORD kMaxPort = 65535;

struct SchemeName {
  Text name;
  INTERNET_SCHEME scheme;
  INTERNET_PORT port;
};

constexpr SchemeName kSchemes[] = {
    {u"ftp", INTERNET_SCHEME_FTP, 21},   {u"gopher", INTERNET_SCHEME_GOPHER, 70},
    {u"http", INTERNET_SCHEME_HTTP, 80}, {u"https", INTERNET_SCHEME_HTTPS, 443},
    {u"file", INTERNET_SCHEME_FILE, 0},
};

bool SameIgnoringCase(Text a, Text b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (towlower(a[i]) != towlower(b[i])) return false;
  return true;
}

bool IsSchemeUnit(WCHAR c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

// Hands one part back: a pointer into the URL, or a copy into the caller's
// buffer. A part not asked for (length 0) is left alone.
bool Give(Text part, bool present, LPWSTR* pointer, DWORD* length) {
  if (*length == 0) return true;
  if (!*pointer) {
    *pointer = present ? const_cast<LPWSTR>(part.data()) : nullptr;
    *length = static_cast<DWORD>(part.size());
    return true;
  }
  if (part.size() + 1 > *length) {
    *length = static_cast<DWORD>(part.size() + 1);
    return false;
  }
  for (std::size_t i = 0; i < part.size(); ++i) (*pointer)[i] = part[i];
  (*pointer)[part.size()] = 0;
  *length = static_cast<DWORD>(part.size());
  return true;
}

}  // namespace

BOOL InternetCrackUrlW(LPCWSTR url, DWORD urlLength, DWORD flags, URL_COMPONENTSW* c) {
  if (!url || !c || c->dwStructSize != sizeof(URL_COMPONENTSW) || flags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const Text all(url, urlLength ? urlLength : wcslen(url));
  std::size_t schemeEnd = 0;
  while (schemeEnd < all.size() && IsSchemeUnit(all[schemeEnd])) ++schemeEnd;
  if (schemeEnd == 0 || schemeEnd >= all.size() || all[schemeEnd] != ':') {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return FALSE;
  }
  const Text scheme = all.substr(0, schemeEnd);
  INTERNET_SCHEME number = INTERNET_SCHEME_UNKNOWN;
  INTERNET_PORT port = 0;
  for (const SchemeName& s : kSchemes)
    if (SameIgnoringCase(scheme, s.name)) {
      number = s.scheme;
      port = s.port;
    }

  Text rest = all.substr(schemeEnd + 1);
  Text user, password, host, path, extra;
  bool hasUser = false, hasPassword = false, hasHost = false;
  if (rest.substr(0, 2) == u"//") {
    rest.remove_prefix(2);
    const std::size_t authorityEnd = rest.find_first_of(u"/\\?#");
    const Text authority = rest.substr(0, authorityEnd);
    rest =
        authorityEnd == Text::npos ? Text(rest.data() + rest.size(), 0) : rest.substr(authorityEnd);
    Text hostPort = authority;
    const std::size_t at = authority.rfind(u'@');
    if (at != Text::npos) {
      const Text info = authority.substr(0, at);
      hostPort = authority.substr(at + 1);
      const std::size_t colon = info.find(u':');
      user = info.substr(0, colon);
      hasUser = true;
      if (colon != Text::npos) {
        password = info.substr(colon + 1);
        hasPassword = true;
      }
    }
    host = hostPort;
    const std::size_t bracket = hostPort.rfind(u']');
    const std::size_t colon = hostPort.rfind(u':');
    if (colon != Text::npos && (bracket == Text::npos || colon > bracket)) {
      host = hostPort.substr(0, colon);
      const Text digits = hostPort.substr(colon + 1);
      if (!digits.empty()) {
        DWORD n = 0;
        for (WCHAR d : digits) {
          if (d < '0' || d > '9' || (n = n * 10 + (d - '0')) > kMaxPort) {
            SetLastError(ERROR_INTERNET_INVALID_URL);
            return FALSE;
          }
        }
        port = static_cast<INTERNET_PORT>(n);
      }
    }
    hasHost = true;
  }
  path = rest;
  if (c->dwExtraInfoLength != 0) {
    const std::size_t mark = rest.find_first_of(u"?#");
    if (mark != Text::npos) {
      path = rest.substr(0, mark);
      extra = rest.substr(mark);
    }
  }
  c->nScheme = number;
  c->nPort = port;
  bool fits = Give(scheme, true, &c->lpszScheme, &c->dwSchemeLength);
  fits &= Give(host, hasHost, &c->lpszHostName, &c->dwHostNameLength);
  fits &= Give(user, hasUser, &c->lpszUserName, &c->dwUserNameLength);
  fits &= Give(password, hasPassword, &c->lpszPassword, &c->dwPasswordLength);
  fits &= Give(path, !path.empty(), &c->lpszUrlPath, &c->dwUrlPathLength);
  fits &= Give(extra, !extra.empty(), &c->lpszExtraInfo, &c->dwExtraInfoLength);
  if (!fits) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  return TRUE;
}

}  // namespace zrpal
