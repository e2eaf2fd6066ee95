// pal/internet/transfer.h - the transfer engine under the WinINet functions:
// one FTP control connection (Link) and the operations on it, and the
// download of a URL by its own scheme. pal/internet/curl.cpp implements it;
// it is the only file of the library that uses libcurl.
//
// Texts are UTF-8; remote paths are server paths as given ("/" separated;
// one that begins with "/" is absolute, any other is relative to the login
// folder). Every operation answers ERROR_SUCCESS or the WinINet error, and
// leaves the server's last reply line in `reply` (empty when none came).
#pragma once

#include <cstddef>
#include <string>

#include "pal/types.h"

namespace zrpal::internet {

struct Endpoint {
  std::string host;
  unsigned port;
  std::string user;  // empty: anonymous
  std::string password;
  long connectTimeoutMs;
  long receiveTimeoutMs;  // a reply or a stalled transfer
};

// Where received bytes go: false stops the transfer (a local failure, whose
// last error the sink has set).
struct Sink {
  virtual bool Take(const char* data, std::size_t bytes) = 0;

 protected:
  ~Sink() = default;
};

// Where sent bytes come from: the count given, 0 at the end, or -1 for a
// local failure (last error set by the source).
struct Source {
  virtual long Give(char* data, std::size_t room) = 0;

 protected:
  ~Source() = default;
};

class Link;

// Connects and logs in; null with the error in *error.
Link* OpenLink(const Endpoint& endpoint, DWORD* error, std::string* reply);
void CloseLink(Link* link);

DWORD Retrieve(Link* link, const std::string& path, bool ascii, Sink& sink, std::string* reply);
DWORD Store(Link* link, const std::string& path, bool ascii, Source& source, std::string* reply);
// One command on the control connection ("DELE x", "MKD x").
DWORD Command(Link* link, const std::string& command, std::string* reply);
// The full listing (LIST) of a folder ("" for the current one).
DWORD List(Link* link, const std::string& folder, Sink& sink, std::string* reply);

// Fetches `url` (ftp, http, https, file) with its own port.
DWORD Download(const std::string& url, long timeoutMs, Sink& sink, std::string* reply);

bool TransferStartup();
void TransferShutdown();

}  // namespace zrpal::internet
