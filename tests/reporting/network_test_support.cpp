#include "reporting/network_test_support.h"

#include <cstdlib>

#include "platform/os_seam.h"
#include "reporting/http_exchange.h"

namespace kova {
namespace test {

namespace {

NetworkTest* g_current = nullptr;

DWORD WINAPI ScriptedDialog(HWND owner, HINTERNET request, DWORD error, DWORD flags,
                            LPVOID* data) {
  g_current->dialogs.push_back({owner, request, error, flags, data != nullptr});
  if (g_current->answers.empty()) return 0;
  DWORD answer = g_current->answers.front();
  g_current->answers.pop_front();
  return answer;
}

BOOL WINAPI RecordingClose(HINTERNET handle) {
  DWORD type = 0;
  DWORD size = sizeof type;
  std::string kind = "other";
  if (InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size)) {
    if (type == INTERNET_HANDLE_TYPE_HTTP_REQUEST) kind = "request";
    if (type == INTERNET_HANDLE_TYPE_CONNECT_HTTP) kind = "connection";
    if (type == INTERNET_HANDLE_TYPE_INTERNET) kind = "internet";
  }
  g_current->released.push_back(kind);
  return RealOs().InternetCloseHandle(handle);
}

}  // namespace

void NetworkTest::SetUp() {
  if (!Simulator::Available()) {
    GTEST_SKIP() << "needs the vendor services simulator: tests/tools/simulator.py run -- ...";
  }
  if (g_current != nullptr) std::abort();
  g_current = this;
  Os().InternetErrorDlg = ScriptedDialog;
  Os().InternetCloseHandle = RecordingClose;
  Simulator::Script({});
}

void NetworkTest::TearDown() {
  if (g_current != this) return;
  Os().InternetErrorDlg = RealOs().InternetErrorDlg;
  Os().InternetCloseHandle = RealOs().InternetCloseHandle;
  g_current = nullptr;
}

void NetworkTest::AnswerDialogs(const std::vector<DWORD>& list) {
  answers.assign(list.begin(), list.end());
}

ExchangeOutcome Post(const std::string& url, const std::string& body, NetworkDialogs dialogs) {
  ExchangeOutcome outcome;
  HttpExchange exchange;
  char request_path[512];
  outcome.opened = OpenHttpRequest(&exchange, url.c_str(), "POST", kHttpRequestFlags, 256,
                                   request_path, sizeof request_path, HostPolicy::kTrustedOnly);
  if (outcome.opened) {
    outcome.reached = SendWithAuthRetry(&exchange, body.data(), static_cast<DWORD>(body.size()),
                                        &outcome.status, dialogs);
  }
  return outcome;
}

}  // namespace test
}  // namespace kova
