#include "reporting/http_exchange.h"

#include "platform/os_seam.h"
#include "platform/wininet_library.h"
#include "reporting/trusted_endpoint.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// The send errors that end an attempt without a dialog.
bool IsSilentNetworkError(DWORD error) {
  return error == ERROR_INTERNET_TIMEOUT || error == ERROR_INTERNET_NAME_NOT_RESOLVED ||
         error == ERROR_INTERNET_CANNOT_CONNECT || error == ERROR_INTERNET_CONNECTION_ABORTED;
}

void SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds) {
  WinInet().InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds);
}

void SetTimeouts(HINTERNET handle) {
  SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
  SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMs);
  SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
}

DWORD AskUser(HINTERNET request, DWORD error) {
  return Os().InternetErrorDlg(GetDesktopWindow(), request, error, kErrorDialogFlags, nullptr);
}

// Reads the numeric status of a sent request into *status: HttpQueryInfoA's
// result, with *status as that call left it.
BOOL ReadStatusCode(HINTERNET request, DWORD* status) {
  DWORD size = sizeof *status;
  return WinInet().HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status,
                                  &size, nullptr);
}

// Releases one handle of an exchange when it is open, and forgets it.
void CloseExchangeHandle(HINTERNET* handle) {
  if (*handle != nullptr) Os().InternetCloseHandle(*handle);
  *handle = nullptr;
}

}  // namespace

BOOL Send(HINTERNET request, const void* body, DWORD body_length) {
  return WinInet().HttpSendRequestA(request, nullptr, 0, const_cast<void*>(body), body_length);
}

void HttpExchange::Close() {
  CloseExchangeHandle(&request);
  CloseExchangeHandle(&connection);
  CloseExchangeHandle(&internet);
}

bool OpenHttpRequest(HttpExchange* exchange, const char* url, const char* verb, DWORD flags,
                     DWORD part_size, char* request_path, DWORD request_path_size,
                     HostPolicy policy) {
  exchange->Close();
  if (part_size == 0 || part_size > kMaxUrlPartSize || request_path_size == 0) return false;
  request_path[0] = '\0';
  // A WinINet that cannot be loaded is a network failure like any other.
  const WinInetFunctions* net = LoadWinInet();
  if (net == nullptr) return false;

  exchange->internet =
      net->InternetOpenA(kHttpAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (exchange->internet == nullptr) return false;

  char host[kMaxUrlPartSize] = {};
  char path[kMaxUrlPartSize] = {};
  char extra[kMaxUrlPartSize] = {};
  // Asked for only so that a URL carrying credentials can be refused.
  char user_name[kMaxUrlPartSize] = {};
  char password[kMaxUrlPartSize] = {};
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = part_size;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = part_size;
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = part_size;
  parts.lpszUserName = user_name;
  parts.dwUserNameLength = part_size;
  parts.lpszPassword = password;
  parts.dwPasswordLength = part_size;
  parts.nPort = 0;
  // A URL the splitter refuses leaves the buffers undefined: end here. Its
  // length is measured here, once for every caller.
  if (!net->InternetCrackUrlA(url, static_cast<DWORD>(TextLength(url)), 0, &parts) ||
      parts.dwHostNameLength == 0 || host[0] == '\0') {
    exchange->Close();
    return false;
  }
  if (policy == HostPolicy::kTrustedOnly && !IsTrustedHost(host, user_name, password)) {
    exchange->Close();
    return false;
  }
  // The object name must fit whole: a cut path would ask for another resource.
  // The path or "/", then any query or fragment, written by one call.
  if (!TextFormat(request_path, request_path_size, "%s%s",
                  parts.dwUrlPathLength != 0 ? path : "/",
                  parts.dwExtraInfoLength != 0 ? extra : "")) {
    exchange->Close();
    return false;
  }
  // Plain HTTP to an https URL's port can only fail: ask for TLS.
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;

  exchange->connection = net->InternetConnectA(exchange->internet, host, parts.nPort, "", "",
                                               INTERNET_SERVICE_HTTP, 0, 0);
  if (exchange->connection == nullptr) {
    exchange->Close();
    return false;
  }
  SetTimeouts(exchange->connection);
  exchange->request = net->HttpOpenRequestA(exchange->connection, verb, request_path, "HTTP/1.1",
                                            "", nullptr, flags, 0);
  if (exchange->request == nullptr) {
    exchange->Close();
    return false;
  }
  SetTimeouts(exchange->request);
  return true;
}

DWORD QueryHttpStatus(HINTERNET request) {
  DWORD status = 0;
  if (!ReadStatusCode(request, &status)) return 0;
  return status;
}

bool SendWithAuthRetry(HttpExchange* exchange, const void* body, DWORD body_length,
                       DWORD* status, NetworkDialogs dialogs) {
  *status = 0;
  HINTERNET request = exchange->request;
  if (request == nullptr) return false;
  const bool may_ask = dialogs == NetworkDialogs::kAllowed;

  // A failed send: the dialog alone decides whether to send again.
  while (!Send(request, body, body_length)) {
    const DWORD error = GetLastError();
    if (IsSilentNetworkError(error) || !may_ask) return false;
    if (AskUser(request, error) != ERROR_INTERNET_FORCE_RETRY) return false;
  }
  DWORD error = GetLastError();
  if (!ReadStatusCode(request, status)) {
    error = GetLastError();
    *status = 0;
  }
  // A proxy asking for credentials: repeat for as long as the user retries.
  while (may_ask && *status == HTTP_STATUS_PROXY_AUTH_REQ &&
         AskUser(request, error) == ERROR_INTERNET_FORCE_RETRY) {
    Send(request, body, body_length);
    ReadStatusCode(request, status);
  }
  return true;
}

}  // namespace kova
