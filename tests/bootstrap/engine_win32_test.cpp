// The engine check, location and run against the real registry, msi.dll and processes.
#include "bootstrap/engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"
#include "platform/win32_test_support.h"

namespace kova {
namespace {

const char kInstallerKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";

// InstallerLocation is put back as it was at the end.
class InstallerLocationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(location_.Opened()); }
  void SetLocation(DWORD type, const std::string& data) {
    ASSERT_TRUE(location_.Set(type, data));
  }
  test::ScopedRegistryValue location_{kInstallerKey, "InstallerLocation"};
};

TEST_F(InstallerLocationTest, LocationsAndTheirPaths) {
  const std::string l200(200, 'd');
  const std::string l247 = "C:\\" + std::string(244, 'd');  // 247 + 12 = 259: just fits
  const std::string l248 = "C:\\" + std::string(245, 'd');  // one byte too many
  struct Case {
    const char* name;
    DWORD type;
    std::string data;  // the bytes stored, with or without a terminator
    std::string path;  // empty: no location
  } cases[] = {
      {"plain", REG_SZ, std::string("C:\\windows\\system32\0", 20),
       "C:\\windows\\system32\\msiexec.exe"},
      {"trailing backslash", REG_SZ, std::string("C:\\engine\\\0", 11),
       "C:\\engine\\\\msiexec.exe"},
      {"type not examined", REG_EXPAND_SZ, std::string("C:\\e\0", 5), "C:\\e\\msiexec.exe"},
      {"stored without terminator", REG_SZ, "C:\\e", "C:\\e\\msiexec.exe"},
      {"just fits", REG_SZ, l247 + std::string(1, '\0'), l247 + "\\msiexec.exe"},
      {"no room for the file name", REG_SZ, l248 + std::string(1, '\0'), ""},
      {"longer than the buffer", REG_SZ, std::string(300, 'x') + std::string(1, '\0'), ""},
      {"fills the buffer without terminator", REG_BINARY, std::string(260, 'x'), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetLocation(c.type, c.data);
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetMsiexecPath(buffer, 260), !c.path.empty());
    if (!c.path.empty()) {
      EXPECT_EQ(std::string(buffer), c.path);
    }
    for (size_t i = 260; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << "overrun at " << i;
    if (c.path.empty() && c.data.size() <= 260) {
      EXPECT_EQ(buffer[0], '\0');
    }
  }
}

TEST_F(InstallerLocationTest, MissingValueIsNotFound) {
  location_.Delete();
  char buffer[260] = "untouched";
  EXPECT_FALSE(GetMsiexecPath(buffer, sizeof buffer));
}

// ---- The engine version ---------------------------------------------------------

HMODULE WINAPI NoLibrary(LPCSTR, HANDLE, DWORD) { return nullptr; }

TEST(EngineCheck, WineEngineIsSufficientAndVersionDllComesFromTheSystemDirectory) {
  test::LibraryRecorder libraries;
  EXPECT_TRUE(IsInstallerEngineSufficient());  // Wine's msi.dll is 4.5
  ASSERT_EQ(test::LibraryRecorder::loaded.size(), 1u);
  EXPECT_EQ(test::LibraryRecorder::loaded[0], test::SystemDirectory() + "\\version.dll");
  EXPECT_EQ(test::LibraryRecorder::frees, 1);
  EXPECT_EQ(test::LibraryRecorder::other_flags, 0);
}

TEST(EngineCheck, NoVersionLibraryMeansInsufficient) {
  ScopedOsOverride<decltype(OsSeam::LoadLibraryExA)> load(&OsSeam::LoadLibraryExA, NoLibrary);
  EXPECT_FALSE(IsInstallerEngineSufficient());
}

// ---- Running the engine ------------------------------------------------------------

std::string ToolPath(const char* name) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string dir = self;
  return dir.substr(0, dir.rfind('\\') + 1) + name;
}

TEST(RunAndWait, ReturnsTheEnginesExitCodeUnchanged) {
  test::CleanProductKeys clean;
  test::ScratchFolder scratch;
  const std::string engine = scratch.File("msiexec.exe");
  ASSERT_TRUE(CopyFileA(ToolPath("engine_standin.exe").c_str(), engine.c_str(), FALSE));
  const unsigned long codes[] = {0, 1602, 1603, 3010, 1641, 4294967294ul};
  std::string script;
  for (unsigned long code : codes) script += std::to_string(code) + "\n";
  ASSERT_TRUE(test::WriteWholeFile(scratch.File("standin-exitcodes.txt"), script));
  std::string expected_record;
  for (unsigned long code : codes) {
    std::string line = "\"" + engine + "\" /i \"C:\\p.msi\" ";
    std::vector<char> writable(line.begin(), line.end());
    writable.push_back('\0');
    EXPECT_EQ(RunAndWait(writable.data(), ProcessState{}), static_cast<int32_t>(code));
    // Reporting is off: PostStatusUrl is deleted before each start, Country
    // left alone. (There is no package to read.)
    expected_record += "cmdline=" + line +
                       "\npackage=<error 2>\nCountry=<missing>\nPostStatusUrl=<missing>\n";
  }
  std::string record;
  ASSERT_TRUE(test::ReadWholeFile(scratch.File("standin-record.txt"), &record));
  EXPECT_EQ(record, expected_record);
}

TEST(RunAndWait, EngineThatCannotStartGivesOne) {
  test::CleanProductKeys clean;
  char line[] = "\"C:\\no\\such\\msiexec.exe\" /i \"C:\\p.msi\" ";
  EXPECT_EQ(RunAndWait(line, ProcessState{}), 1);
}

}  // namespace
}  // namespace kova
