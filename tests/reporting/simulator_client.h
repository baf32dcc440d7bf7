// The Win32 tests' side of the vendor services simulator (tests/tools/
// simulator.py): scripts its replies and reads back the requests it saw,
// through the control folder named by KOVA_SIMULATOR_DIR. The simulator's
// "run" mode sets that, KOVA_SIMULATOR_PORT and http_proxy for the tests.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace kova {
namespace test {

// One scripted reply; build it with Answer, Raw or Reset and the setters:
//   Answer(200).For("HEAD").WithHeader("COUNTRY", "DE").Once()
struct Reply {
  std::string method;  // empty: any
  std::string url;     // a part of the request target; empty: any
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  double delay = 0;    // seconds
  std::string action;  // "", "reset", "close", "truncate" or "raw"
  int times = -1;      // requests served; -1: all

  Reply& For(const std::string& verb) { method = verb; return *this; }
  Reply& WithHeader(const std::string& name, const std::string& value) {
    headers.emplace_back(name, value);
    return *this;
  }
  Reply& WithBody(const std::string& text) { body = text; return *this; }
  Reply& Truncated() { action = "truncate"; return *this; }
  Reply& Once() { times = 1; return *this; }
};

inline Reply Answer(int status) {
  Reply r;
  r.status = status;
  return r;
}
// The bytes as they are, instead of a response.
inline Reply Raw(const std::string& bytes) {
  Reply r;
  r.action = "raw";
  r.body = bytes;
  return r;
}
// The connection aborted while the client waits for the answer.
inline Reply Reset() {
  Reply r;
  r.action = "reset";
  r.delay = 0.1;
  return r;
}
inline Reply ProxyChallenge() {
  return Answer(407).WithHeader("Proxy-Authenticate", "Basic realm=\"kova\"");
}

struct SeenRequest {
  std::string request_line;
  std::vector<std::string> header_lines;
  std::string body;
  std::string Method() const { return request_line.substr(0, request_line.find(' ')); }
  // The value of the first header of that name (case-insensitive), or "(none)".
  std::string Header(const std::string& name) const;
};

class Simulator {
 public:
  // True when the tests run under the simulator.
  static bool Available();
  // Replaces the replies and forgets the requests seen so far.
  static void Script(const std::vector<Reply>& replies);
  static std::vector<SeenRequest> Requests();
};

// Points WinINet's proxy elsewhere for a scope (a closed port, or a name that
// does not resolve), as "host:port", through the user's proxy setting.
class ScopedProxy {
 public:
  explicit ScopedProxy(const std::string& proxy);
  ~ScopedProxy();
  ScopedProxy(const ScopedProxy&) = delete;
  ScopedProxy& operator=(const ScopedProxy&) = delete;

 private:
  HKEY key_ = nullptr;
  bool had_enable_ = false;
  DWORD enable_ = 0;
  bool had_server_ = false;
  std::string server_;
};

}  // namespace test
}  // namespace kova
