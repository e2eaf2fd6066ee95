// pal/internet/curl.cpp - the transfer engine over libcurl (see
// transfer.h). The only file of the library that uses libcurl.
//
// A Link is one CURL easy handle, stepped through a multi handle of its own
// (Perform). The multi handle's connection cache keeps the control
// connection open between transfers, so every operation on a Link after the
// first reuses the logged-in connection; the easy handle's options are reset
// and set afresh for each operation.
//
// Paths go to the server as given: the FTP method is "no CWD", so the
// command carries the whole path; an absolute path is written "%2F..." in
// the URL (RFC 1738's way to say the leading slash), every name is escaped,
// and a path holding CR or LF is refused (ERROR_INTERNET_INVALID_URL), so
// no text of a caller can add a command.
//
// Time-outs: the connect time-out, and the receive time-out both for each
// server reply and for a transfer that moves no byte, so that a dead or
// stalled server ends in ERROR_INTERNET_TIMEOUT, never a hang. No signal is
// used (CURLOPT_NOSIGNAL): the library runs inside other programs.
//
// Server replies reach the header callback one line at a time; the last
// line is kept for InternetGetLastResponseInfoW.
#include <curl/curl.h>

#include <new>

#include "pal/error.h"
#include "pal/internet/internet.h"
#include "pal/internet/transfer.h"

namespace zrpal::internet {

namespace {

constexpr long kLowSpeedBytes = 1;  // below this per second for the time-out
constexpr long kMsPerSecond = 1000;
// The longest wait for a socket event between two steps of a transfer.
// curl_easy_perform waits up to a second when libcurl 7.88 has no socket to
// watch, which it hits after an EPSV reply; stepping a multi handle
// ourselves bounds that stall.
constexpr int kPollMs = 5;
constexpr long kTransferBuffer = 512 * 1024;  // bytes per piece of a transfer

bool g_started = false;

}  // namespace

class Link {
 public:
  Link(CURLM* multi, CURL* easy, const Endpoint& endpoint)
      : m_multi(multi), m_easy(easy), m_endpoint(endpoint) {}
  ~Link() {
    curl_easy_cleanup(m_easy);
    curl_multi_cleanup(m_multi);  // closes the kept connection (QUIT)
  }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  CURLM* Multi() const { return m_multi; }
  CURL* Easy() const { return m_easy; }
  const Endpoint& Where() const { return m_endpoint; }

 private:
  CURLM* m_multi;  // holds the connection between transfers
  CURL* m_easy;
  Endpoint m_endpoint;
};

namespace {

// The state one operation shares with the callbacks.
struct Exchange {
  std::string* reply;
  Sink* sink = nullptr;
  Source* source = nullptr;
  bool localFailure = false;  // the sink or source set the last error
};

size_t OnReply(char* data, size_t size, size_t count, void* user) {
  auto* x = static_cast<Exchange*>(user);
  const size_t bytes = size * count;
  size_t n = bytes;
  while (n > 0 && (data[n - 1] == '\n' || data[n - 1] == '\r')) --n;
  // A reply line begins with three digits; other header text (HTTP's
  // fields) is not a server reply of the FTP kind and is kept the same way.
  if (n > 0 && x->reply) {
    try {
      x->reply->assign(data, n);
    } catch (const std::bad_alloc&) {
      x->reply->clear();
    }
  }
  return bytes;
}

size_t OnData(char* data, size_t size, size_t count, void* user) {
  auto* x = static_cast<Exchange*>(user);
  const size_t bytes = size * count;
  if (!x->sink->Take(data, bytes)) {
    x->localFailure = true;
    return 0;  // CURLE_WRITE_ERROR
  }
  return bytes;
}

size_t OnSend(char* data, size_t size, size_t count, void* user) {
  auto* x = static_cast<Exchange*>(user);
  const long n = x->source->Give(data, size * count);
  if (n < 0) {
    x->localFailure = true;
    return CURL_READFUNC_ABORT;
  }
  return static_cast<size_t>(n);
}

// The WinINet error for a libcurl result.
DWORD ErrorOf(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return ERROR_SUCCESS;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_LOGIN_DENIED:
      return ERROR_INTERNET_LOGIN_FAILURE;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    // The server said no to a command: its reply says why.
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_FILE_COULDNT_READ_FILE:
      return ERROR_INTERNET_EXTENDED_ERROR;
    // The connection ended in the middle of a reply or a transfer.
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_FTP_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

// "ftp://host:port/" and the escaped path; false for a path with CR or LF
// or when escaping ran out of memory.
bool BuildUrl(const Link& link, const std::string& path, std::string* url) {
  if (path.find_first_of("\r\n") != std::string::npos) return false;
  const Endpoint& e = link.Where();
  const bool literalV6 = e.host.find(':') != std::string::npos;
  *url = "ftp://";
  *url += literalV6 ? "[" + e.host + "]" : e.host;
  // The port in decimal (std::to_string would export a table of its own).
  char digits[8];
  int n = 0;
  for (unsigned port = e.port; n == 0 || port != 0; port /= 10)
    digits[n++] = static_cast<char>('0' + port % 10);
  *url += ':';
  while (n > 0) *url += digits[--n];
  *url += '/';
  std::size_t at = 0;
  if (!path.empty() && path[0] == '/') {
    *url += "%2F";
    at = 1;
  }
  // Each name escaped on its own; the slashes between them stay.
  while (at <= path.size()) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    char* escaped = curl_easy_escape(link.Easy(), path.data() + at, static_cast<int>(end - at));
    if (!escaped) return false;
    *url += escaped;
    curl_free(escaped);
    if (end == path.size()) break;
    *url += '/';
    at = end + 1;
  }
  return true;
}

void CommonOptions(CURL* easy, const Endpoint& e, Exchange* x) {
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, e.connectTimeoutMs);
  curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                   (e.receiveTimeoutMs + kMsPerSecond - 1) / kMsPerSecond);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                   (e.receiveTimeoutMs + kMsPerSecond - 1) / kMsPerSecond);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnReply);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, x);
  curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
  // Large pieces: each one is a call of the local file's write or read.
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kTransferBuffer);
  curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, kTransferBuffer);
  if (!e.user.empty()) {
    curl_easy_setopt(easy, CURLOPT_USERNAME, e.user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, e.password.c_str());
  }
}

// Runs one transfer of `easy` to its end through `multi`; its result.
CURLcode Perform(CURLM* multi, CURL* easy) {
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
  CURLcode result = CURLE_OK;
  int running = 1;
  // Ends when libcurl says the transfer is over; its own time-outs bound it.
  while (running) {
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_OUT_OF_MEMORY;
      break;
    }
    if (running && curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr) != CURLM_OK) {
      result = CURLE_OUT_OF_MEMORY;
      break;
    }
  }
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left))
    if (message->msg == CURLMSG_DONE && message->easy_handle == easy) result = message->data.result;
  curl_multi_remove_handle(multi, easy);
  return result;
}

// Runs one operation on the link: reset, common options, the caller's.
template <class Setup>
DWORD Run(Link* link, const std::string& path, Exchange& x, Setup setup) {
  CURL* easy = link->Easy();
  curl_easy_reset(easy);
  std::string url;
  if (!BuildUrl(*link, path, &url)) return ERROR_INTERNET_INVALID_URL;
  CommonOptions(easy, link->Where(), &x);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  setup(easy);
  if (x.reply) x.reply->clear();
  const CURLcode code = Perform(link->Multi(), easy);
  if (x.localFailure) return GetLastError();
  return ErrorOf(code);
}

}  // namespace

Link* OpenLink(const Endpoint& endpoint, DWORD* error, std::string* reply) {
  CURLM* multi = curl_multi_init();
  CURL* easy = multi ? curl_easy_init() : nullptr;
  if (!easy) {
    if (multi) curl_multi_cleanup(multi);
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  Link* link = new (std::nothrow) Link(multi, easy, endpoint);
  if (!link) {
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  // Logging in now, as WinINet does: the root with no body logs in and
  // transfers nothing.
  Exchange x{reply};
  *error = Run(link, "", x, [](CURL* e) { curl_easy_setopt(e, CURLOPT_NOBODY, 1L); });
  if (*error != ERROR_SUCCESS) {
    delete link;
    return nullptr;
  }
  return link;
}

void CloseLink(Link* link) { delete link; }

DWORD Retrieve(Link* link, const std::string& path, bool ascii, Sink& sink, std::string* reply) {
  Exchange x{reply};
  x.sink = &sink;
  return Run(link, path, x, [&](CURL* e) {
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
  });
}

DWORD Store(Link* link, const std::string& path, bool ascii, Source& source, std::string* reply) {
  Exchange x{reply};
  x.source = &source;
  return Run(link, path, x, [&](CURL* e) {
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, OnSend);
    curl_easy_setopt(e, CURLOPT_READDATA, &x);
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
  });
}

DWORD Command(Link* link, const std::string& command, std::string* reply) {
  if (command.find_first_of("\r\n") != std::string::npos) return ERROR_INTERNET_INVALID_URL;
  curl_slist* commands = curl_slist_append(nullptr, command.c_str());
  if (!commands) return ERROR_NOT_ENOUGH_MEMORY;
  Exchange x{reply};
  const DWORD error = Run(link, "", x, [&](CURL* e) {
    curl_easy_setopt(e, CURLOPT_QUOTE, commands);
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  });
  curl_slist_free_all(commands);
  return error;
}

DWORD List(Link* link, const std::string& folder, Sink& sink, std::string* reply) {
  Exchange x{reply};
  x.sink = &sink;
  // A URL that ends with "/" asks for the listing of that folder.
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return Run(link, path, x, [&](CURL* e) {
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &x);
  });
}

DWORD Download(const std::string& url, long timeoutMs, Sink& sink, std::string* reply) {
  if (url.find_first_of("\r\n") != std::string::npos) return ERROR_INTERNET_INVALID_URL;
  CURLM* multi = curl_multi_init();
  CURL* easy = multi ? curl_easy_init() : nullptr;
  if (!easy) {
    if (multi) curl_multi_cleanup(multi);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  Exchange x{reply};
  x.sink = &sink;
  Endpoint none{{}, 0, {}, {}, timeoutMs, timeoutMs};
  CommonOptions(easy, none, &x);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp,http,https,file");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnData);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &x);
  const CURLcode code = Perform(multi, easy);
  curl_easy_cleanup(easy);
  curl_multi_cleanup(multi);
  if (x.localFailure) return GetLastError();
  return ErrorOf(code);
}

bool TransferStartup() {
  g_started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return g_started;
}

void TransferShutdown() {
  if (g_started) curl_global_cleanup();
  g_started = false;
}

}  // namespace zrpal::internet
