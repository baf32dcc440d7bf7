// The client facts against Wine: the OS description under real Wine version
// settings and, for the systems Wine cannot be, through the OS seam; the
// previous runtime version from real registry subkeys; the visitor id in the
// real Policy key.
#include "settings/client_facts_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os_seam.h"
#include "platform/fake_windows_version.h"
#include "platform/scoped_os_override.h"
#include "platform/win32_test_support.h"

namespace kova {
namespace {

const char kPolicy[] = "SOFTWARE\\KovaSoft\\Kova Update\\Policy";
const char kRuntimeKey[] = "SOFTWARE\\KovaSoft\\Kova Runtime Environment";

// ---- The OS description through the seam ----------------------------------------

struct FakeSystem {
  DWORD platform, major, minor;
  BYTE product_type;
  const char* csd;
  bool ex_fails;          // GetVersionExA refuses the long structure
  bool no_native;         // kernel32 has no GetNativeSystemInfo
  WORD architecture;
};
FakeSystem g_system;

void WINAPI FakeGetNativeSystemInfo(LPSYSTEM_INFO info) {
  info->wProcessorArchitecture = g_system.architecture;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
  if (std::strcmp(name, "GetNativeSystemInfo") == 0) {
    return g_system.no_native ? nullptr
                              : reinterpret_cast<FARPROC>(
                                    reinterpret_cast<void*>(FakeGetNativeSystemInfo));
  }
  return RealOs().GetProcAddress(module, name);
}

class OsDescriptionSeam : public ::testing::Test {
 protected:
  OsDescriptionSeam()
      : version_({VER_PLATFORM_WIN32_NT, 6, 1}),
        lookup_(&OsSeam::GetProcAddress, FakeGetProcAddress) {
    ProcessOsFacts() = OsFacts{};
  }
  ~OsDescriptionSeam() override { ProcessOsFacts() = OsFacts{}; }

  void Become(const FakeSystem& system) {
    g_system = system;
    version_.Set({system.platform, system.major, system.minor, system.csd, system.product_type,
                  system.ex_fails});
  }

  void Describe(const FakeSystem& system, std::string* os, std::string* arch) {
    Become(system);
    ProcessOsFacts() = OsFacts{};
    test::LibraryRecorder::Clear();
    char os_text[kOsFactTextSize];
    char arch_text[kOsFactTextSize];
    EXPECT_TRUE(GetOsDescription(os_text, arch_text));
    *os = os_text;
    *arch = arch_text;
  }

 private:
  test::ScopedWindowsVersion version_;
  ScopedOsOverride<decltype(OsSeam::GetProcAddress)> lookup_;
  test::LibraryRecorder libraries_;
};

TEST_F(OsDescriptionSeam, SystemsWineCannotBe) {
  const struct {
    const char* name;
    FakeSystem system;
    const char* os;
    const char* arch;
  } cases[] = {
      {"XP SP2", {2, 5, 1, 1, "Service Pack 2", false, false, 0}, "winxp-sp2", "i586"},
      {"XP x64 in a 32-bit process", {2, 5, 2, 1, "Service Pack 2", false, false, 9},
       "win2003-sp2", "amd64"},
      {"Server 2008 SP1", {2, 6, 0, 3, "Service Pack 1", false, false, 9}, "winlong-sp1",
       "amd64"},
      {"98 SE", {1, 4, 10, 0, " A ", false, false, 0}, "win98", "i586"},
      {"architecture 65535", {2, 5, 1, 1, "", false, false, 65535}, "winxp", "65535"},
      // Only the short structure: no product type, so NT 6.0 is "winlong".
      {"short structure", {2, 6, 0, 1, "Service Pack 2", true, false, 0}, "winlong-sp2",
       "i586"},
      // Without GetNativeSystemInfo: GetSystemInfo of this process, whatever the fake says.
      {"no native call", {2, 5, 0, 1, "Service Pack 4", false, true, 6}, "win2000-sp4",
       test::kNativeArchText},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string os, arch;
    Describe(c.system, &os, &arch);
    EXPECT_EQ(os, c.os);
    EXPECT_EQ(arch, c.arch);
    // The long structure first; the short one only after a refusal.
    std::vector<DWORD> sizes = {sizeof(OSVERSIONINFOEXA)};
    if (c.system.ex_fails) sizes.push_back(sizeof(OSVERSIONINFOA));
    EXPECT_EQ(test::ScopedWindowsVersion::StructureSizes(), sizes);
    // kernel32 by full path, and released.
    ASSERT_EQ(test::LibraryRecorder::loaded.size(), 1u);
    EXPECT_EQ(test::LibraryRecorder::loaded[0], test::SystemDirectory() + "\\kernel32.dll");
    EXPECT_EQ(test::LibraryRecorder::frees, 1);
  }
}

TEST_F(OsDescriptionSeam, ComputedOnceThenCached) {
  std::string os, arch;
  Describe({2, 5, 1, 1, "Service Pack 3", false, false, 0}, &os, &arch);
  EXPECT_EQ(os, "winxp-sp3");
  // The system "changes": later calls still format the first facts.
  Become({2, 6, 0, 1, "", false, false, 9});
  char os_text[kOsFactTextSize];
  char arch_text[kOsFactTextSize];
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(GetOsDescription(os_text, arch_text));
    EXPECT_STREQ(os_text, "winxp-sp3");
    EXPECT_STREQ(arch_text, "i586");
  }
  EXPECT_TRUE(test::ScopedWindowsVersion::StructureSizes().empty());
  EXPECT_EQ(test::LibraryRecorder::loaded.size(), 1u);
}

// ---- The OS description under Wine's own version settings ------------------------

// Writes what GetOsDescription reports into the file KOVA_OS_PROBE_FILE
// names. Only a child process started by RealWineVersions sets it.
TEST(OsDescriptionProbe, ReportsToFile) {
  const char* out = std::getenv("KOVA_OS_PROBE_FILE");
  if (out == nullptr || *out == '\0') GTEST_SKIP() << "runs only as a child process";
  char os[kOsFactTextSize];
  char arch[kOsFactTextSize];
  GetOsDescription(os, arch);
  ASSERT_TRUE(test::WriteWholeFile(out, std::string(os) + "|" + arch));
}

TEST(OsDescriptionWine, RealWineVersionSettings) {
  test::ScratchFolder scratch;
  // A copy under its own name, so the per-program setting touches no other run.
  const std::string probe = scratch.File("kova_os_probe.exe");
  ASSERT_TRUE(CopyFileA(test::ThisExe().c_str(), probe.c_str(), FALSE));
  const char kAppKey[] = "Software\\Wine\\AppDefaults\\kova_os_probe.exe";
  const std::string out = scratch.File("facts.txt");

  const struct {
    const char* setting;
    const char* facts;
  } cases[] = {
      {"winxp", "winxp-sp3"},     {"win2003", "win2003-sp2"}, {"vista", "winvista-sp2"},
      {"win2008", "winlong-sp2"}, {"win7", "6.1-sp1"},        {"win2k", "win2000-sp4"},
      {"nt40", "winnt-sp6"},      {"win98", "win98"},
  };
  SetEnvironmentVariableA("KOVA_OS_PROBE_FILE", out.c_str());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    DeleteFileA(out.c_str());
    ASSERT_TRUE(test::WriteRegistryValue(HKEY_CURRENT_USER, kAppKey, "Version", REG_SZ,
                                         std::string(c.setting) + '\0'));
    HANDLE probe_process = test::StartTestProcess(probe, "OsDescriptionProbe.*");
    ASSERT_NE(probe_process, nullptr);
    const DWORD code = test::FinishTestProcess(probe_process);
    EXPECT_EQ(code, 0u);
    std::string facts;
    ASSERT_TRUE(test::ReadWholeFile(out, &facts));
    EXPECT_EQ(facts, std::string(c.facts) + "|" + test::kNativeArchText);
  }
  SetEnvironmentVariableA("KOVA_OS_PROBE_FILE", nullptr);
  test::DeleteRegistryTree(HKEY_CURRENT_USER, kAppKey);
}

// ---- The previous runtime version ---------------------------------------------------

class PreviousRuntimeVersion : public ::testing::Test {
 protected:
  test::CleanProductKeys clean_;

  static void CreateKey(const std::string& path) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    RegCloseKey(key);
  }
};

TEST_F(PreviousRuntimeVersion, FromRealSubkeys) {
  const std::string longest = "1.9" + std::string(124, 'x');  // 127: the buffer holds it
  const std::string too_long = "1.5.0_0" + std::string(129, 'x');
  const struct {
    const char* name;
    std::vector<std::string> subkeys;
    std::string expected;  // empty: none found
  } cases[] = {
      {"the greatest other", {"1.4", "1.4.2_05", "1.5.0_10", "1.6", "1.6.0_07"}, "1.5.0_10"},
      {"a newer one counts", {"1.6.0_07", "1.6.0_10"}, "1.6.0_10"},
      {"only the own version", {"1.6.0_07"}, ""},
      {"an empty runtime key", {}, ""},
      {"case-insensitive order", {"1.5.0_a1", "1.5.0_B1", "1.5.0_10"}, "1.5.0_B1"},
      {"127 characters fit", {"1.4.2_05", longest}, longest},
      // The subkeys come in name order: a name longer than the buffer ends
      // the enumeration, so "1.5.0_10" after it is never seen.
      {"a too long name ends it", {"1.4.2_05", too_long, "1.5.0_10"}, "1.4.2_05"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::CleanProductKeys::Delete();
    CreateKey(kRuntimeKey);
    for (const auto& name : c.subkeys) CreateKey(std::string(kRuntimeKey) + "\\" + name);
    char version[kRuntimeVersionNameSize];
    std::memset(version, '#', sizeof version);
    version[sizeof version - 1] = '\0';
    const std::string untouched = version;
    const bool found = FindPreviousRuntimeVersion(version);
    EXPECT_EQ(found, !c.expected.empty());
    EXPECT_EQ(std::string(version), c.expected.empty() ? untouched : c.expected);
  }
}

TEST_F(PreviousRuntimeVersion, MissingKeysGiveNothing) {
  const std::vector<std::string> paths = {"", "SOFTWARE\\KovaSoft",
                                          "SOFTWARE\\KovaSoft\\Kova Update\\Policy"};
  for (const auto& path : paths) {
    SCOPED_TRACE(path);
    test::CleanProductKeys::Delete();
    if (!path.empty()) {
      ASSERT_TRUE(test::WriteRegistryValue(HKEY_LOCAL_MACHINE, path.c_str(), "x", REG_SZ,
                                           std::string("1", 2)));
    }
    char version[kRuntimeVersionNameSize] = "untouched";
    EXPECT_FALSE(FindPreviousRuntimeVersion(version));
    EXPECT_STREQ(version, "untouched");
  }
}

// ---- The visitor id ----------------------------------------------------------------

DWORD WINAPI FakeTick() { return 0x1a2b; }
DWORD WINAPI FakeProcessId() { return 0x10; }
void WINAPI FakeNow(LPFILETIME time) {
  const uint64_t t = 116444736000000000ull + 0x48d1e0f0ull * 10000000ull + 1234567;
  time->dwLowDateTime = static_cast<DWORD>(t);
  time->dwHighDateTime = static_cast<DWORD>(t >> 32);
}

struct SetValueCall {
  std::string name;
  DWORD type;
  std::string bytes;  // exactly the length passed
};
std::vector<SetValueCall> g_set_calls;

// Records the VisitorId writes (the Policy key's first-creation defaults
// are someone else's business).
LONG WINAPI RecordingRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                    const BYTE* data, DWORD length) {
  if (name != nullptr && std::strcmp(name, "VisitorId") == 0) g_set_calls.push_back({name != nullptr ? name : "", type,
                         std::string(reinterpret_cast<const char*>(data), length)});
  return RealOs().RegSetValueExA(key, name, reserved, type, data, length);
}

class VisitorIdTest : public ::testing::Test {
 protected:
  VisitorIdTest()
      : tick_(&OsSeam::GetTickCount, FakeTick),
        pid_(&OsSeam::GetCurrentProcessId, FakeProcessId),
        now_(&OsSeam::GetSystemTimeAsFileTime, FakeNow) {}

  // GetVisitorId with the 32-byte buffer, filled with garbage first; the
  // RegSetValueExA calls it makes are recorded in g_set_calls.
  static std::string Get() {
    char id[kVisitorIdSize];
    std::memset(id, '#', sizeof id);
    g_set_calls.clear();
    {
      ScopedOsOverride<decltype(OsSeam::RegSetValueExA)> set(&OsSeam::RegSetValueExA,
                                                             RecordingRegSetValueExA);
      GetVisitorId(id, sizeof id);
    }
    const size_t length = std::find(id, id + sizeof id, '\0') - id;
    EXPECT_LT(length, sizeof id) << "not terminated";
    return std::string(id, length);
  }

  test::CleanProductKeys clean_;

 private:
  ScopedOsOverride<decltype(OsSeam::GetTickCount)> tick_;
  ScopedOsOverride<decltype(OsSeam::GetCurrentProcessId)> pid_;
  ScopedOsOverride<decltype(OsSeam::GetSystemTimeAsFileTime)> now_;
};

const char kNewId[] = "1a2b48d1-e0f010ff";

TEST_F(VisitorIdTest, StoredIdReusedOrReplaced) {
  const struct {
    const char* name;
    DWORD type;  // REG_NONE: nothing stored
    std::string stored;
    bool reused;
  } cases[] = {
      {"16 bytes", REG_SZ, "0123456789abcdef", true},
      {"31 bytes", REG_SZ, std::string(31, 'v'), true},
      {"16 bytes of another type", REG_BINARY, "0123456789ABCDEF", true},
      {"15 bytes", REG_SZ, "0123456789abcde", false},
      {"32 bytes: no room for a terminator", REG_SZ, std::string(32, 'w'), false},
      {"40 bytes: more than the buffer", REG_SZ, std::string(40, 'y'), false},
      {"none", REG_NONE, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::CleanProductKeys::Delete();
    if (c.type != REG_NONE) {
      // One byte more that is not a NUL, so Wine stores exactly these bytes.
      ASSERT_TRUE(test::WriteRegistryValue(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId", c.type,
                                           c.stored + "!", c.stored.size()));
    }
    const std::string id = Get();
    DWORD type = 0;
    std::string stored;
    const bool present = test::ReadRegistryValue(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId",
                                                 &type, &stored);
    ASSERT_TRUE(present);
    if (c.reused) {
      EXPECT_EQ(id, c.stored);
      EXPECT_TRUE(g_set_calls.empty());
      EXPECT_EQ(stored, c.stored);
    } else {
      EXPECT_EQ(id, kNewId);
      // Stored as the characters alone, without a terminator.
      ASSERT_EQ(g_set_calls.size(), 1u);
      EXPECT_EQ(g_set_calls[0].name, "VisitorId");
      EXPECT_EQ(g_set_calls[0].type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(g_set_calls[0].bytes, kNewId);
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(stored.substr(0, sizeof kNewId - 1), kNewId);
    }
  }
}

TEST_F(VisitorIdTest, NewIdIsReusedOnTheNextCall) {
  EXPECT_EQ(Get(), kNewId);
  ASSERT_EQ(g_set_calls.size(), 1u);
  EXPECT_EQ(Get(), kNewId);
  EXPECT_TRUE(g_set_calls.empty());
}

LONG WINAPI DenyCreate(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY,
                       LPDWORD) {
  return ERROR_ACCESS_DENIED;
}

TEST_F(VisitorIdTest, WithoutRightsTheNewIdStillServes) {
  ScopedOsOverride<decltype(OsSeam::RegCreateKeyExA)> denied(&OsSeam::RegCreateKeyExA,
                                                             DenyCreate);
  EXPECT_EQ(Get(), kNewId);
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kPolicy));
}

}  // namespace
}  // namespace kova
