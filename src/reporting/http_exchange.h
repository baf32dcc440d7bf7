// The one way the bootstrapper makes an HTTP exchange with WinINet: open an
// internet handle as "kupdate" with the system's proxy settings, split the
// URL, connect, open a request, send it, read the numeric status.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "reporting/network_dialogs.h"

namespace kova {

constexpr char kHttpAgent[] = "kupdate";
// Every exchange: not cached, connection kept (0x04400000).
constexpr DWORD kHttpRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
// The largest URL-part buffer an exchange uses (the descriptor GET's).
constexpr DWORD kMaxUrlPartSize = 1024;
// FLAGS_ERROR_UI_FILTER_FOR_ERRORS | _FLAGS_CHANGE_OPTIONS | _FLAGS_GENERATE_DATA.
constexpr DWORD kErrorDialogFlags = 7;

// Every request's time-outs, in milliseconds. Network work is best effort, so
// a server that accepts and never answers, or stops in mid-answer, must not
// hold the install for long: with one wait of each kind a request costs at
// most about half a minute, while a slow but working link still gets ten
// seconds for every step. They are set on the connection and request handles,
// where WinINet honours them (Wine ignores them on the internet handle).
constexpr DWORD kConnectTimeoutMs = 10000;
constexpr DWORD kSendTimeoutMs = 10000;
constexpr DWORD kReceiveTimeoutMs = 10000;

// The most one whole exchange may take, from opening its handles to its last
// byte, in milliseconds. The time-outs above bound each single wait, not the
// exchange: a peer that sends one byte every few seconds would hold a
// synchronous call for as long as it liked. 20 s is twice one time-out, so a
// server that answers within one still finishes, while the three exchanges
// of a run together cost at most a minute whatever their peers do. The main
// sequence runs each exchange on a worker thread and stops waiting for it then.
constexpr DWORD kExchangeDeadlineMs = 20000;

// The three handles of one request, each null until opened. The holder owns
// them: Close (and the destructor) releases the request, then the
// connection, then the internet handle, each only when it is open.
class HttpExchange {
 public:
  HttpExchange() = default;
  ~HttpExchange() { Close(); }
  HttpExchange(const HttpExchange&) = delete;
  HttpExchange& operator=(const HttpExchange&) = delete;
  void Close();

  HINTERNET internet = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
};

// Which hosts an exchange may connect to, decided on the host the URL
// splitter yields (the very text handed to InternetConnectA).
enum class HostPolicy {
  kAnyHost,      // the descriptor URL: from the vendor key or built in
  kTrustedOnly,  // URLs from the descriptor: see IsTrustedHost
};

// Opens the three handles of a request for the terminated text url, all of
// it handed to the splitter. part_size is the capacity of each URL-part
// buffer (at most kMaxUrlPartSize); request_path[request_path_size] receives
// the object name (the URL path or "/", then any query or fragment). An "https" URL gets
// INTERNET_FLAG_SECURE on top of flags, and every request gets
// INTERNET_FLAG_NO_AUTO_REDIRECT: a 3xx answer is a status like any other, so
// data meant for a trusted host never follows a redirect elsewhere. The
// connection and the request carry the time-outs above. Fails, with every handle released,
// when a handle cannot be opened, when the URL cannot be split, when its host
// is empty or refused by the policy, or when the object name does not fit.
bool OpenHttpRequest(HttpExchange* exchange, const char* url, const char* verb, DWORD flags,
                     DWORD part_size, char* request_path, DWORD request_path_size,
                     HostPolicy policy);

// Sends the open request with body[body_length] (none: null, 0) and no header
// text. A failed send ends silently on a time-out, an unresolved name, a
// refused or aborted connection (a time-out under Wine); other errors go to
// the Internet error dialog, and only its "retry" answer sends again. A 407
// from a proxy goes to the same dialog for as long as the user retries. With
// NetworkDialogs::kNever no dialog opens: a send error ends the attempt and a
// 407 is the status. Returns true ("reached") when a send succeeded and the
// status was queried; *status is then the last status read, 0 when it could
// not be read.
bool SendWithAuthRetry(HttpExchange* exchange, const void* body, DWORD body_length,
                       DWORD* status, NetworkDialogs dialogs);

// Sends the open request once with body[body_length] (none: null, 0) and no
// header text; HttpSendRequestA's result. No dialog, no retry.
BOOL Send(HINTERNET request, const void* body, DWORD body_length);

// The numeric HTTP status of a sent request, 0 when it cannot be read.
DWORD QueryHttpStatus(HINTERNET request);

}  // namespace kova
