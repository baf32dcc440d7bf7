// The install-status report against Wine: the registry it consumes and
// clears, the request WinINet really sends to the vendor services simulator,
// and the log entries.
#include "reporting/status_report_win32.h"
#include "settings/client_facts_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake_windows_version.h"
#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"
#include "platform/win32_test_support.h"
#include "reporting/network_test_support.h"
#include "reporting/vendor_endpoints.h"

namespace kova {
namespace test {
namespace {

const char kVendorKey[] = "Software\\KovaSoft";
const char kPolicy[] = "SOFTWARE\\KovaSoft\\Kova Update\\Policy";
const char kRuntimeKey[] = "SOFTWARE\\KovaSoft\\Kova Runtime Environment";
const char kUrl[] = "http://stats.kova.com/b/ss";

// ---- The fixture -------------------------------------------------------------------

std::string Stored(HKEY root, const char* path, const char* name) {
  DWORD type = 0;
  std::string data;
  if (!ReadRegistryValue(root, path, name, &type, &data)) return "<missing>";
  return data;
}

void StoreText(HKEY root, const char* path, const char* name, const std::string& text) {
  ASSERT_TRUE(WriteRegistryValue(root, path, name, REG_SZ, text + '\0'));
}

DWORD WINAPI FakeTick() { return 0x1a2b; }
DWORD WINAPI FakeProcessId() { return 0x10; }
void WINAPI FakeNow(LPFILETIME time) {
  const uint64_t t = 116444736000000000ull + 0x48d1e0f0ull * 10000000ull;
  time->dwLowDateTime = static_cast<DWORD>(t);
  time->dwHighDateTime = static_cast<DWORD>(t >> 32);
}
void WINAPI FakeLocalTime(LPSYSTEMTIME time) { *time = SYSTEMTIME{2025, 1, 3, 8, 14, 3, 9, 0}; }

// Clean product keys, fixed facts (winxp-sp2, visitor id 1a2b48d1-e0f010ff),
// the log in a scratch folder; the simulator answers as the vendor's servers.
class StatusReportTest : public NetworkTest {
 protected:
  StatusReportTest()
      : tick_(&OsSeam::GetTickCount, FakeTick),
        pid_(&OsSeam::GetCurrentProcessId, FakeProcessId),
        now_(&OsSeam::GetSystemTimeAsFileTime, FakeNow),
        clock_(&OsSeam::GetLocalTime, FakeLocalTime),
        version_({VER_PLATFORM_WIN32_NT, 5, 1, "Service Pack 2"}) {
    ProcessReportFacts() = ReportFacts{};
    ProcessOsFacts() = OsFacts{};
    SetEnvironmentVariableA("TMPDIR", scratch_.Path().c_str());
  }
  ~StatusReportTest() override {
    SetEnvironmentVariableA("TMPDIR", nullptr);
    ProcessReportFacts() = ReportFacts{};
    ProcessOsFacts() = OsFacts{};
  }

  std::string Log() const {
    std::string bytes;
    if (!ReadWholeFile(scratch_.File("kusched.log"), &bytes)) return "<missing>";
    return bytes;
  }

  // The one request the report sent.
  static SeenRequest OnlyRequest() {
    std::vector<SeenRequest> seen = Simulator::Requests();
    EXPECT_EQ(seen.size(), 1u);
    return seen.empty() ? SeenRequest{} : seen[0];
  }

  CleanProductKeys clean_;
  ScratchFolder scratch_;

 private:
  ScopedOsOverride<decltype(OsSeam::GetTickCount)> tick_;
  ScopedOsOverride<decltype(OsSeam::GetCurrentProcessId)> pid_;
  ScopedOsOverride<decltype(OsSeam::GetSystemTimeAsFileTime)> now_;
  ScopedOsOverride<decltype(OsSeam::GetLocalTime)> clock_;
  test::ScopedWindowsVersion version_;
};

void Report(const std::string& url, int32_t exit_code) {
  PostInstallStatus(url.c_str(), "koff", "ic", "DE", "1.6.0_07-b06", exit_code,
                    NetworkDialogs::kAllowed);
}

// ---- Reports that are not due ------------------------------------------------------

TEST_F(StatusReportTest, EmptyOrUntrustedUrlTouchesNothing) {
  // The last passes the text test through its tail, but the URL before the comma names
  // a foreign host: refused before anything is read, as when the descriptor was read.
  for (const char* url : {"", "http://evil.example/b/ss", "http://kovasoft.com/b/ss",
                          "http://evil.example/b,http://www.kova.com/"}) {
    SCOPED_TRACE(url);
    StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", "decline");
    Report(url, 1603);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"), std::string("decline", 8));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kPolicy));
    EXPECT_FALSE(ProcessReportFacts().ready);
  }
  EXPECT_TRUE(Simulator::Requests().empty());
  EXPECT_EQ(Log(), "<missing>");
}

TEST_F(StatusReportTest, ReinstallAndDeclineCancelTheReport) {
  const struct {
    const char* status;
    bool policy_values_kept;
  } cases[] = {{"reinstall", true}, {"decline", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", c.status);
    StoreText(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId", "0123456789abcdef");
    StoreText(HKEY_LOCAL_MACHINE, kPolicy, "Method", "koff");
    Report(kUrl, 1603);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"), "<missing>");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId") != "<missing>",
              c.policy_values_kept);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "Method") != "<missing>",
              c.policy_values_kept);
  }
  EXPECT_TRUE(Simulator::Requests().empty());
  EXPECT_EQ(Log(), "<missing>");
}

// ---- Reports that are sent ---------------------------------------------------------

const char kBodyHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <request> <sc_xml_ver>1.0</sc_xml_ver>";
const char kEntry[] = "\nWed Jan 08 14:03:09 2025\n:: ";
const char kRequestLine[] = "POST http://stats.kova.com:80/b/ss HTTP/1.1";

TEST_F(StatusReportTest, FailedInstallIsPostedAndLogged) {
  HKEY runtime;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kRuntimeKey) + "\\1.5.0_10").c_str(),
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &runtime, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(runtime);
  StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", "diskfull");
  Simulator::Script({Answer(200).For("POST").WithBody("<ok/>")});

  Report(kUrl, 1603);

  const SeenRequest request = OnlyRequest();
  EXPECT_EQ(request.request_line, kRequestLine);
  EXPECT_EQ(request.body,
            std::string(kBodyHead) +
                "<reportsuiteid>orvoinstallstat</reportsuiteid>"
                "<visitorid>1a2b48d1-e0f010ff</visitorid>"
                "<prop20>plaintextdummy</prop20><pagename>ic</pagename>"
                "<evar2>1.6.0_07-b06</evar2><evar3>1.5.0_10</evar3><evar4>i586</evar4>"
                "<evar5>" + test::kNativeArchText + "</evar5><evar6>winxp-sp2</evar6><evar7>koff</evar7>"
                "<evar8>DE</evar8><events>event6,event7</events>"
                "<products>;krt|1603diskfull</products></request>");
  EXPECT_EQ(Log(), std::string(kEntry) +
                       "InstallStatus:ret=200 visid=1a2b48d1-e0f010ff method=koff state=ic "
                       "ver=1.5.0_10,1.6.0_07-b06 ICstatus=;krt|1603diskfull\n<ok/>");
  // The install status is consumed, the visitor id made for the report gone.
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"), "<missing>");
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId"), "<missing>");
}

TEST_F(StatusReportTest, DevelopmentSuiteLogsTheMaskedBodyToo) {
  StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", "exists");
  Simulator::Script({Answer(500).For("POST").WithBody("server trouble")});

  Report(std::string(kUrl) + ",orvoinstallstatdev", -2);

  const SeenRequest request = OnlyRequest();
  EXPECT_EQ(request.request_line, kRequestLine);
  const std::string body = request.body;
  EXPECT_NE(body.find("<reportsuiteid>orvoinstallstatdev</reportsuiteid>"
                      "<visitorid>1a2b48d1-e0f010ff</visitorid>"
                      "<prop21>1a2b48d1-e0f010ff</prop21><prop20>plaintextdummy</prop20>"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("<evar3>XX</evar3>"), std::string::npos);
  EXPECT_NE(body.find("<products>;krt|-2</products>"), std::string::npos);
  std::string masked = body;
  ASSERT_NE(masked.find("plaintextdummy"), std::string::npos);
  masked.replace(masked.find("plaintextdummy"), 14, std::string(14, 'X'));
  EXPECT_EQ(Log(), std::string(kEntry) +
                       "InstallStatus:ret=500 visid=1a2b48d1-e0f010ff method=koff state=ic "
                       "ver=XX,1.6.0_07-b06 ICstatus=;krt|-2" +
                       kEntry + masked);
}

TEST_F(StatusReportTest, PingTestAddsProp21AndFactsAreKeptForTheProcess) {
  StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "PingTest", "on");
  Simulator::Script({Answer(200).For("POST")});
  Report(kUrl, 1618);
  std::string body = OnlyRequest().body;
  EXPECT_NE(body.find("<prop21>1a2b48d1-e0f010ff</prop21>"), std::string::npos) << body;
  EXPECT_NE(body.find("<products>;krt|1618</products>"), std::string::npos);
  // No response bytes: the line ends after the products text.
  const std::string log = Log();
  const std::string tail = " ICstatus=;krt|1618";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(StatusReportTest, AServerThatCannotBeReachedLeavesNoLog) {
  // Nothing listens on this port: the connection is refused.
  ScopedProxy closed("127.0.0.1:1");
  StoreText(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", "diskfull");
  Report(kUrl, 1603);
  EXPECT_EQ(Log(), "<missing>");
  // The install status was consumed all the same.
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"), "<missing>");
  EXPECT_TRUE(Simulator::Requests().empty());
}

}  // namespace
}  // namespace test
}  // namespace kova
