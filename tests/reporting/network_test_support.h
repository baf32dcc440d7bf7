// The fixture of the network tests: skips unless the simulator runs, scripts
// the user's answers to the Internet error dialog, and records every handle
// release with the kind of handle it was.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "reporting/network_dialogs.h"
#include "reporting/simulator_client.h"

namespace kova {
namespace test {

struct DialogCall {
  HWND owner;
  HINTERNET request;
  DWORD error;
  DWORD flags;
  bool data_given;
};

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The user's answers, one per dialog in order; 0 (dismissed) once they run out.
  void AnswerDialogs(const std::vector<DWORD>& answers);


 public:
  // Handle kinds in the order they were released: "request", "connection",
  // "internet" (or "other").
  std::vector<std::string> released;
  std::vector<DialogCall> dialogs;
  std::deque<DWORD> answers;
};

// The test-only use of the exchange for a POST (the product's report sends
// its own): open with the given policy, send the body, give back the status.
struct ExchangeOutcome {
  bool opened = false;
  bool reached = false;
  DWORD status = 0;
};
ExchangeOutcome Post(const std::string& url, const std::string& body,
                     NetworkDialogs dialogs = NetworkDialogs::kAllowed);

}  // namespace test
}  // namespace kova
