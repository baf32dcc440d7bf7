// The install-status report against Wine: the registry it consumes and
// clears, the request WinINet really sends (to a loopback server that the
// prefix's proxy setting routes every vendor host to), and the log entries.
#include "reporting/status_report.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"
#include "platform/win32_test_support.h"
#include "reporting/vendor_endpoints.h"

namespace kova {
namespace {

const char kVendorKey[] = "Software\\KovaSoft";
const char kPolicy[] = "SOFTWARE\\KovaSoft\\Kova Update\\Policy";
const char kRuntimeKey[] = "SOFTWARE\\KovaSoft\\Kova Runtime Environment";
const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char kUrl[] = "http://stats.kova.com/b/ss";

// ---- A one-shot loopback HTTP server --------------------------------------------

class LoopbackServer {
 public:
  LoopbackServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 4);
    int size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackServer() {
    if (worker_.joinable()) worker_.join();
    closesocket(listener_);
    WSACleanup();
  }

  int Port() const { return port_; }

  // Answers the next request with this status line and body, and records it.
  void AnswerOnce(int status, const std::string& body) {
    worker_ = std::thread([this, status, body] { Serve(status, body); });
  }
  // The request as received (request line, headers, body); empty when none came.
  std::string Request() {
    if (worker_.joinable()) worker_.join();
    return request_;
  }
  std::string Body() {
    std::string request = Request();
    size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? "" : request.substr(end + 4);
  }

 private:
  void Serve(int status, const std::string& body) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener_, &ready);
    timeval wait{5, 0};
    if (select(0, &ready, nullptr, nullptr, &wait) != 1) return;
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    std::string in;
    char chunk[4096];
    size_t wanted = std::string::npos;
    while (wanted == std::string::npos || in.size() < wanted) {
      int n = recv(client, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      in.append(chunk, n);
      size_t end = in.find("\r\n\r\n");
      if (wanted == std::string::npos && end != std::string::npos) {
        size_t length = 0;
        size_t at = in.find("Content-Length:");
        if (at != std::string::npos && at < end) length = std::strtoul(&in[at + 15], nullptr, 10);
        wanted = end + 4 + length;
      }
    }
    request_ = in;
    char head[256];
    std::snprintf(head, sizeof head,
                  "HTTP/1.1 %d Answer\r\nContent-Length: %u\r\nConnection: close\r\n\r\n", status,
                  static_cast<unsigned>(body.size()));
    std::string out = head + body;
    send(client, out.data(), static_cast<int>(out.size()), 0);
    shutdown(client, SD_SEND);
    closesocket(client);
  }

  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread worker_;
  std::string request_;
};

// ---- The fixture -------------------------------------------------------------------

std::string Stored(HKEY root, const char* path, const char* name) {
  DWORD type = 0;
  std::string data;
  if (!test::ReadRegistryValue(root, path, name, &type, &data)) return "<missing>";
  return data;
}

void StoreText(HKEY root, const char* path, const char* name, const std::string& text) {
  ASSERT_TRUE(test::WriteRegistryValue(root, path, name, REG_SZ, text + '\0'));
}

DWORD WINAPI FakeTick() { return 0x1a2b; }
DWORD WINAPI FakeProcessId() { return 0x10; }
void WINAPI FakeNow(LPFILETIME time) {
  const uint64_t t = 116444736000000000ull + 0x48d1e0f0ull * 10000000ull;
  time->dwLowDateTime = static_cast<DWORD>(t);
  time->dwHighDateTime = static_cast<DWORD>(t >> 32);
}
void WINAPI FakeLocalTime(LPSYSTEMTIME time) { *time = SYSTEMTIME{2025, 1, 3, 8, 14, 3, 9, 0}; }
BOOL WINAPI FakeVersion(LPOSVERSIONINFOA info) {
  info->dwMajorVersion = 5;
  info->dwMinorVersion = 1;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  lstrcpyA(info->szCSDVersion, "Service Pack 2");
  return TRUE;
}

// Clean product keys, fixed facts (winxp-sp2, visitor id 1a2b48d1-e0f010ff),
// the log in a scratch folder, the prefix's proxy pointed at the server.
class StatusReport : public ::testing::Test {
 protected:
  StatusReport()
      : tick_(&OsSeam::GetTickCount, FakeTick),
        pid_(&OsSeam::GetCurrentProcessId, FakeProcessId),
        now_(&OsSeam::GetSystemTimeAsFileTime, FakeNow),
        clock_(&OsSeam::GetLocalTime, FakeLocalTime),
        version_(&OsSeam::GetVersionExA, FakeVersion) {
    ProcessReportFacts() = ReportFacts{};
    ProcessOsFacts() = OsFacts{};
    SetEnvironmentVariableA("TMPDIR", scratch_.Path().c_str());
    had_enable_ = test::ReadRegistryValue(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable",
                                          &enable_type_, &saved_enable_);
    had_server_ = test::ReadRegistryValue(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer",
                                          &server_type_, &saved_server_);
    char proxy[64];
    std::snprintf(proxy, sizeof proxy, "127.0.0.1:%d", server_.Port());
    DWORD one = 1;
    test::WriteRegistryValue(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", REG_DWORD,
                             std::string(reinterpret_cast<const char*>(&one), 4));
    StoreText(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer", proxy);
  }
  ~StatusReport() override {
    // The prefix's proxy settings as they were.
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, KEY_ALL_ACCESS, &key) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(key, "ProxyEnable");
      RegDeleteValueA(key, "ProxyServer");
      RegCloseKey(key);
    }
    if (had_enable_) {
      test::WriteRegistryValue(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", enable_type_,
                               saved_enable_);
    }
    if (had_server_) {
      test::WriteRegistryValue(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer", server_type_,
                               saved_server_);
    }
    SetEnvironmentVariableA("TMPDIR", nullptr);
    ProcessReportFacts() = ReportFacts{};
    ProcessOsFacts() = OsFacts{};
  }

  std::string Log() const {
    std::string bytes;
    if (!test::ReadWholeFile(scratch_.File("kusched.log"), &bytes)) return "<missing>";
    return bytes;
  }

  test::CleanProductKeys clean_;
  test::ScratchFolder scratch_;
  LoopbackServer server_;

 private:
  ScopedOsOverride<decltype(OsSeam::GetTickCount)> tick_;
  ScopedOsOverride<decltype(OsSeam::GetCurrentProcessId)> pid_;
  ScopedOsOverride<decltype(OsSeam::GetSystemTimeAsFileTime)> now_;
  ScopedOsOverride<decltype(OsSeam::GetLocalTime)> clock_;
  ScopedOsOverride<decltype(OsSeam::GetVersionExA)> version_;
  bool had_enable_ = false;
  bool had_server_ = false;
  DWORD enable_type_ = 0;
  DWORD server_type_ = 0;
  std::string saved_enable_;
  std::string saved_server_;
};

int Post(const std::string& url, int32_t exit_code) {
  return PostInstallStatus(url.c_str(), "koff", "ic", "DE", "1.6.0_07-b06", exit_code);
}

// ---- Reports that are not due ------------------------------------------------------

TEST_F(StatusReport, EmptyOrUntrustedUrlTouchesNothing) {
  for (const char* url : {"", "http://evil.example/b/ss", "http://kovasoft.com/b/ss"}) {
    SCOPED_TRACE(url);
    StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", "decline");
    EXPECT_EQ(Post(url, 1603), 1);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"), std::string("decline", 8));
    EXPECT_FALSE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kPolicy));
    EXPECT_FALSE(ProcessReportFacts().ready);
  }
  EXPECT_EQ(server_.Request(), "");
  EXPECT_EQ(Log(), "<missing>");
}

TEST_F(StatusReport, ReinstallAndDeclineCancelTheReport) {
  const struct {
    const char* status;
    bool policy_values_kept;
  } cases[] = {{"reinstall", true}, {"decline", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", c.status);
    StoreText(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId", "0123456789abcdef");
    StoreText(HKEY_LOCAL_MACHINE, kPolicy, "Method", "koff");
    EXPECT_EQ(Post(kUrl, 1603), 1);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"), "<missing>");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId") != "<missing>",
              c.policy_values_kept);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "Method") != "<missing>",
              c.policy_values_kept);
  }
  EXPECT_EQ(server_.Request(), "");
  EXPECT_EQ(Log(), "<missing>");
}

// ---- Reports that are sent ---------------------------------------------------------

const char kBodyHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <request> <sc_xml_ver>1.0</sc_xml_ver>";
const char kEntry[] = "\nWed Jan 08 14:03:09 2025\n:: ";

TEST_F(StatusReport, FailedInstallIsPostedAndLogged) {
  HKEY runtime;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kRuntimeKey) + "\\1.5.0_10").c_str(),
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &runtime, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(runtime);
  StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", "diskfull");
  server_.AnswerOnce(200, "<ok/>");

  EXPECT_EQ(Post(kUrl, 1603), 1);

  const std::string request = server_.Request();
  EXPECT_EQ(request.substr(0, request.find("\r\n")),
            "POST http://stats.kova.com:80/b/ss HTTP/1.1");
  EXPECT_EQ(server_.Body(),
            std::string(kBodyHead) +
                "<reportsuiteid>orvoinstallstat</reportsuiteid>"
                "<visitorid>1a2b48d1-e0f010ff</visitorid>"
                "<prop20>plaintextdummy</prop20><pagename>ic</pagename>"
                "<evar2>1.6.0_07-b06</evar2><evar3>1.5.0_10</evar3><evar4>i586</evar4>"
                "<evar5>i586</evar5><evar6>winxp-sp2</evar6><evar7>koff</evar7>"
                "<evar8>DE</evar8><events>event6,event7</events>"
                "<products>;krt|1603diskfull</products></request>");
  EXPECT_EQ(Log(), std::string(kEntry) +
                       "InstallStatus:ret=200 visid=1a2b48d1-e0f010ff method=koff state=ic "
                       "ver=1.5.0_10,1.6.0_07-b06 ICstatus=;krt|1603diskfull\n<ok/>");
  // The install status is consumed, the visitor id made for the report gone.
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"), "<missing>");
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId"), "<missing>");
}

TEST_F(StatusReport, DevelopmentSuiteLogsTheMaskedBodyToo) {
  StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", "exists");
  server_.AnswerOnce(500, "server trouble");

  EXPECT_EQ(Post(std::string(kUrl) + ",orvoinstallstatdev", -2), 0);

  const std::string request = server_.Request();
  EXPECT_EQ(request.substr(0, request.find("\r\n")),
            "POST http://stats.kova.com:80/b/ss HTTP/1.1");
  const std::string body = server_.Body();
  EXPECT_NE(body.find("<reportsuiteid>orvoinstallstatdev</reportsuiteid>"
                      "<visitorid>1a2b48d1-e0f010ff</visitorid>"
                      "<prop21>1a2b48d1-e0f010ff</prop21><prop20>plaintextdummy</prop20>"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("<evar3>XX</evar3>"), std::string::npos);
  EXPECT_NE(body.find("<products>;krt|-2</products>"), std::string::npos);
  std::string masked = body;
  masked.replace(masked.find("plaintextdummy"), 14, std::string(14, 'X'));
  EXPECT_EQ(Log(), std::string(kEntry) +
                       "InstallStatus:ret=500 visid=1a2b48d1-e0f010ff method=koff state=ic "
                       "ver=XX,1.6.0_07-b06 ICstatus=;krt|-2" +
                       kEntry + masked);
}

TEST_F(StatusReport, PingTestAddsProp21AndFactsAreKeptForTheProcess) {
  StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "PingTest", "on");
  server_.AnswerOnce(200, "");
  EXPECT_EQ(Post(kUrl, 1618), 1);
  std::string body = server_.Body();
  EXPECT_NE(body.find("<prop21>1a2b48d1-e0f010ff</prop21>"), std::string::npos) << body;
  EXPECT_NE(body.find("<products>;krt|1618</products>"), std::string::npos);
  // No response bytes: the line ends after the products text.
  const std::string log = Log();
  const std::string tail = " ICstatus=;krt|1618";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(StatusReport, AServerThatCannotBeReachedLeavesNoLog) {
  // Nothing listens on this port: the connection is refused.
  StoreText(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer", "127.0.0.1:1");
  StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", "diskfull");
  EXPECT_EQ(Post(kUrl, 1603), 0);
  EXPECT_EQ(Log(), "<missing>");
  // The install status was consumed all the same.
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"), "<missing>");
}

}  // namespace
}  // namespace kova
