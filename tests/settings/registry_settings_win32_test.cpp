// The registry settings against Wine's real registry: the vendor key, the
// Policy key with its first-creation defaults, and the per-user auto-update
// value. The system version, library loading and the right to create keys are
// steered through the OS seam.
#include "settings/policy_key.h"
#include "settings/user_auto_update.h"
#include "settings/vendor_key.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fake_windows_version.h"
#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"
#include "platform/win32_test_support.h"
#include "settings/registry_key.h"

namespace kova {
namespace {

const char kVendorKey[] = "Software\\KovaSoft";
const char kPolicy[] = "SOFTWARE\\KovaSoft\\Kova Update\\Policy";
const char kAutoUpdate[] = "EnableAutoUpdateCheck";
const std::string kPlainBlock("\x64\0\0\0", 4);

// Every test starts without the vendor's keys in either hive and leaves none.
class RegistrySettings : public ::testing::Test {
 protected:
  void SetUp() override { test::CleanProductKeys::Delete(); }
  void TearDown() override { test::CleanProductKeys::Delete(); }
};

std::string Dword(DWORD value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// The value's bytes, or "<missing>".
std::string Stored(HKEY root, const char* path, const char* name, DWORD* type = nullptr) {
  DWORD t = 0;
  std::string data;
  if (!test::ReadRegistryValue(root, path, name, &t, &data)) return "<missing>";
  if (type != nullptr) *type = t;
  return data;
}

// ---- Fakes behind the seam -----------------------------------------------------

using Version = test::FakeWindowsVersion;

// Steers the system version and records library loads for one scope.
class SystemUnderTest {
 public:
  explicit SystemUnderTest(const Version& v) : version_(v) {}

 private:
  test::ScopedWindowsVersion version_;
  test::LibraryRecorder libraries_;
};

// Every library loaded came by full path from the system directory and was freed.
void ExpectOnlyCrypt32FromSystemDirectoryAndFreed() {
  for (const auto& path : test::LibraryRecorder::loaded) {
    EXPECT_EQ(path, test::SystemDirectory() + "\\Crypt32.dll");
  }
  EXPECT_EQ(test::LibraryRecorder::frees, static_cast<int>(test::LibraryRecorder::loaded.size()));
  EXPECT_EQ(test::LibraryRecorder::other_flags, 0);
}

// A stand-in for CryptProtectData that records its arguments and either fails
// or returns a block of a chosen size.
struct ProtectCall {
  int calls = 0;
  std::string input;
  std::wstring description;
  bool entropy = false, reserved = false, prompt = false;
  DWORD flags = 0;
};
ProtectCall g_protect;
DWORD g_protect_block_size = 0;  // 0: the call fails

BOOL WINAPI FakeCryptProtectData(DATA_BLOB* in, LPCWSTR description, DATA_BLOB* entropy,
                                 PVOID reserved, CRYPTPROTECT_PROMPTSTRUCT* prompt, DWORD flags,
                                 DATA_BLOB* out) {
  ++g_protect.calls;
  g_protect.input.assign(reinterpret_cast<const char*>(in->pbData), in->cbData);
  g_protect.description = description != nullptr ? description : L"<none>";
  g_protect.entropy = entropy != nullptr;
  g_protect.reserved = reserved != nullptr;
  g_protect.prompt = prompt != nullptr;
  g_protect.flags = flags;
  if (g_protect_block_size == 0) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  out->cbData = g_protect_block_size;
  out->pbData = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, g_protect_block_size));
  std::memset(out->pbData, 0xA5, g_protect_block_size);
  return TRUE;
}

bool IsName(LPCSTR name, const char* wanted) {
  return (reinterpret_cast<uintptr_t>(name) >> 16) != 0 && std::strcmp(name, wanted) == 0;
}

FARPROC WINAPI WithoutProtectData(HMODULE module, LPCSTR name) {
  if (IsName(name, "CryptProtectData")) return nullptr;
  return RealOs().GetProcAddress(module, name);
}

FARPROC WINAPI WithFakeProtectData(HMODULE module, LPCSTR name) {
  if (IsName(name, "CryptProtectData")) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeCryptProtectData));
  }
  return RealOs().GetProcAddress(module, name);
}

// Without administrator rights: creating any key under HKLM is refused.
LONG WINAPI CreateDeniedUnderMachine(HKEY parent, LPCSTR sub_key, DWORD reserved, LPSTR cls,
                                     DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES sa,
                                     PHKEY result, LPDWORD disposition) {
  if (parent == HKEY_LOCAL_MACHINE) return ERROR_ACCESS_DENIED;
  return RealOs().RegCreateKeyExA(parent, sub_key, reserved, cls, options, access, sa, result,
                                  disposition);
}

// Decrypts a protected block with the real CryptUnprotectData; "<failed>" if it cannot.
std::string Unprotect(const std::string& block, std::wstring* description) {
  using UnprotectFn = BOOL(WINAPI*)(DATA_BLOB*, LPWSTR*, DATA_BLOB*, PVOID,
                                    CRYPTPROTECT_PROMPTSTRUCT*, DWORD, DATA_BLOB*);
  HMODULE crypt32 = LoadLibraryA((test::SystemDirectory() + "\\crypt32.dll").c_str());
  if (crypt32 == nullptr) return "<failed>";
  auto unprotect = reinterpret_cast<UnprotectFn>(
      reinterpret_cast<void*>(GetProcAddress(crypt32, "CryptUnprotectData")));
  std::string plain = "<failed>";
  DATA_BLOB in = {static_cast<DWORD>(block.size()),
                  reinterpret_cast<BYTE*>(const_cast<char*>(block.data()))};
  DATA_BLOB out = {0, nullptr};
  LPWSTR text = nullptr;
  if (unprotect != nullptr &&
      unprotect(&in, &text, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
    plain.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    *description = text != nullptr ? text : L"";
    LocalFree(text);
    LocalFree(out.pbData);
  }
  FreeLibrary(crypt32);
  return plain;
}

// Records what the code passes to RegSetValueExA and stores it.
struct SetValueCall {
  std::string name;
  DWORD type;
  DWORD length;
  std::string bytes;
};
std::vector<SetValueCall> g_set_calls;

LONG WINAPI RecordingRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                    const BYTE* data, DWORD length) {
  g_set_calls.push_back({name != nullptr ? name : "", type, length,
                         std::string(reinterpret_cast<const char*>(data), length)});
  return RealOs().RegSetValueExA(key, name, reserved, type, data, length);
}

// ---- The vendor key ---------------------------------------------------------------

TEST_F(RegistrySettings, ReadVendorValueAcceptsOnlyTerminatedNonEmptyText) {
  const std::string s511(511, 'a');
  const std::string s512(512, 'b');
  struct Case {
    const char* name;
    DWORD type;           // REG_NONE: no value stored
    std::string data;     // bytes handed to RegSetValueExA
    size_t stored;        // how many of them are stored (npos: all)
    DWORD buffer_size;
    bool result;
    std::string text;     // the buffer's text after the call
  } cases[] = {
      {"terminated string", REG_SZ, std::string("reinstall\0", 10), std::string::npos, 512,
       true, "reinstall"},
      {"empty string (one NUL)", REG_SZ, std::string("\0", 1), std::string::npos, 512, false,
       ""},
      {"missing value", REG_NONE, "", 0, 512, false, ""},
      // Bytes that would read as "AAA" if the type were not checked.
      {"REG_DWORD", REG_DWORD, Dword(0x00414141), std::string::npos, 512, false, ""},
      // A non-zero byte after the stored ones keeps Wine from adding a terminator.
      {"REG_SZ without terminator", REG_SZ, "reinstallX", 9, 512, false, ""},
      {"REG_SZ without terminator filling the buffer", REG_SZ, std::string(21, 'x'), 20, 20,
       false, ""},
      {"REG_MULTI_SZ", REG_MULTI_SZ, std::string("reinstall\0\0", 11), std::string::npos, 512,
       true, "reinstall"},
      {"REG_MULTI_SZ of two strings", REG_MULTI_SZ, std::string("exists\0more\0\0", 13),
       std::string::npos, 512, true, "exists"},
      {"REG_MULTI_SZ with one NUL", REG_MULTI_SZ, std::string("reinstall\0", 10),
       std::string::npos, 512, false, ""},
      {"REG_EXPAND_SZ is not expanded", REG_EXPAND_SZ, std::string("%TEMP%\\kova\0", 12),
       std::string::npos, 512, true, "%TEMP%\\kova"},
      {"511 characters in 512 bytes", REG_SZ, s511 + '\0', std::string::npos, 512, true, s511},
      {"512 characters in 512 bytes", REG_SZ, s512 + '\0', std::string::npos, 512, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kVendorKey);
    if (c.type == REG_NONE) {
      ASSERT_TRUE(test::WriteRegistryValue(HKEY_LOCAL_MACHINE, kVendorKey, "Other", REG_SZ,
                                           std::string("x\0", 2)));
    } else {
      ASSERT_TRUE(test::WriteRegistryValue(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus",
                                           c.type, c.data, c.stored));
      // The fixture stored exactly what the row means.
      const size_t expected = c.stored == std::string::npos ? c.data.size() : c.stored;
      EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"),
                c.data.substr(0, expected));
    }
    std::vector<char> buffer(c.buffer_size + 64, '#');
    EXPECT_EQ(ReadVendorValue("InstallStatus", buffer.data(), c.buffer_size), c.result);
    EXPECT_EQ(std::string(buffer.data(), strnlen(buffer.data(), c.buffer_size)), c.text);
    for (size_t i = c.buffer_size; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], '#') << "written past the buffer at " << i;
    }
  }
}

TEST_F(RegistrySettings, ReadVendorValueWithoutTheVendorKeyGivesAnEmptyBuffer) {
  char buffer[20] = "earlier text";
  EXPECT_FALSE(ReadVendorValue("PingTest", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "");
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kVendorKey));
}

TEST_F(RegistrySettings, UpdateInstallStatusDeletesOnlyInstallStatus) {
  ASSERT_TRUE(test::WriteRegistryValue(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus", REG_SZ,
                                       std::string("decline\0", 8)));
  ASSERT_TRUE(test::WriteRegistryValue(HKEY_LOCAL_MACHINE, kVendorKey, "InstallerXmlURL",
                                       REG_SZ, std::string("http://x\0", 9)));
  EXPECT_TRUE(UpdateInstallStatus());
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallStatus"), "<missing>");
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kVendorKey, "InstallerXmlURL"),
            std::string("http://x\0", 9));

  EXPECT_TRUE(UpdateInstallStatus()) << "the value is already gone: still true";

  test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, kVendorKey);
  EXPECT_FALSE(UpdateInstallStatus()) << "no vendor key";
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kVendorKey)) << "and none created";
}

TEST_F(RegistrySettings, RegistryKeyKeepsItsKeyWhenAnOpenFails) {
  RegistryKey key;
  EXPECT_EQ(key.Close(), ERROR_SUCCESS) << "closing an empty holder";
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "Software", KEY_READ), ERROR_SUCCESS);
  HKEY held = key.Get();
  EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, "Software\\KovaSoft\\Missing", KEY_READ),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.Get(), held);
  RegistryKey inner;  // a chain still works from the kept key
  EXPECT_EQ(inner.Open(key.Get(), "Microsoft", KEY_READ), ERROR_SUCCESS);
}

// ---- The Policy key ---------------------------------------------------------------

TEST_F(RegistrySettings, SetPolicyStringStoresTheCharactersWithoutTerminator) {
  struct Case {
    const char* name;
    const char* value;
    const char* text;
  } cases[] = {
      {"country code", "Country", "DE"},
      {"empty text", "Country", ""},
      {"post-status URL", "PostStatusUrl", "https://metrics.kova.com/b/ss,orvoinstallstatdev"},
  };
  ASSERT_TRUE(SetPolicyString("VisitorId", "first access creates the key"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_set_calls.clear();
    {
      ScopedOsOverride<decltype(OsSeam::RegSetValueExA)> set(&OsSeam::RegSetValueExA,
                                                             RecordingRegSetValueExA);
      EXPECT_TRUE(SetPolicyString(c.value, c.text));
    }
    ASSERT_EQ(g_set_calls.size(), 1u);
    EXPECT_EQ(g_set_calls[0].name, c.value);
    EXPECT_EQ(g_set_calls[0].type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(g_set_calls[0].length, std::strlen(c.text));
    EXPECT_EQ(g_set_calls[0].bytes, c.text);
    DWORD type = 0;
    const std::string stored = Stored(HKEY_LOCAL_MACHINE, kPolicy, c.value, &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    // Wine's RegSetValueExA adds the terminator when the byte after the data
    // is a NUL, which it always is after a C string; Windows stores exactly
    // the length passed. With no characters Wine adds nothing, so there the
    // stored size itself shows it.
    EXPECT_EQ(stored.substr(0, std::strlen(c.text)), c.text);
    if (*c.text == '\0') {
      EXPECT_EQ(stored.size(), 0u);
    }
  }
}

TEST_F(RegistrySettings, SetPolicyStringWithoutTextDeletes) {
  ASSERT_TRUE(SetPolicyString("VisitorId", "0123456789abcdef"));
  ASSERT_TRUE(SetPolicyString("Country", "FR"));
  EXPECT_TRUE(SetPolicyString("VisitorId", nullptr));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId"), "<missing>");
  EXPECT_FALSE(SetPolicyString("Method", nullptr)) << "a missing value fails quietly";
  EXPECT_FALSE(SetPolicyString("VisitorId", nullptr));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "Country").substr(0, 2), "FR");
}

TEST_F(RegistrySettings, FirstCreationWritesTheDefaultsOnce) {
  struct Case {
    const char* name;
    bool (*first_access)();
  } cases[] = {
      {"SetPolicyString", [] { return SetPolicyString("Country", "US"); }},
      {"GetPolicyValue", [] {
         char buffer[32];
         DWORD size = sizeof buffer;
         return !GetPolicyValue("VisitorId", buffer, &size);  // created, but no such value
       }},
      {"OpenPolicyKey for reading", [] {
         HKEY key;
         if (!OpenPolicyKey(&key, false)) return false;
         RegCloseKey(key);
         return true;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::CleanProductKeys::Delete();
    EXPECT_TRUE(c.first_access());
    const char* names[] = {"EnableKovaUpdate", "NotifyDownload", "NotifyInstall"};
    const DWORD values[] = {1, 1, 0};
    for (int i = 0; i < 3; ++i) {
      DWORD type = 0;
      EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, names[i], &type), Dword(values[i]))
          << names[i];
      EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << names[i];
    }
  }

  // An existing key gets nothing, even with a default deleted or changed by hand.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicy, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(key, "NotifyDownload"), ERROR_SUCCESS);
  DWORD seven = 7;
  ASSERT_EQ(RegSetValueExA(key, "EnableKovaUpdate", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&seven), sizeof seven),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(SetPolicyString("PostStatusUrl", "http://stat"));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "NotifyDownload"), "<missing>");
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "EnableKovaUpdate"), Dword(7));
}

TEST_F(RegistrySettings, WithoutRightsToCreateReadsFallBackAndWritesFail) {
  ScopedOsOverride<decltype(OsSeam::RegCreateKeyExA)> denied(&OsSeam::RegCreateKeyExA,
                                                              CreateDeniedUnderMachine);
  char buffer[32];
  DWORD size = sizeof buffer;
  // No Policy key at all: everything fails, nothing appears.
  EXPECT_FALSE(GetPolicyValue("VisitorId", buffer, &size));
  EXPECT_FALSE(SetPolicyString("Country", "DE"));
  EXPECT_FALSE(SetPolicyString("VisitorId", nullptr));
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE, kPolicy));
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, kPolicy));

  // An existing key (made by an administrator, without defaults) is still read.
  ASSERT_TRUE(test::WriteRegistryValue(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId", REG_SZ,
                                       "0123456789abcdefX", 16));
  size = sizeof buffer;
  EXPECT_TRUE(GetPolicyValue("VisitorId", buffer, &size));
  EXPECT_EQ(std::string(buffer, size), "0123456789abcdef");
  size = sizeof buffer;
  EXPECT_FALSE(GetPolicyValue("Country", buffer, &size));
  EXPECT_FALSE(SetPolicyString("Country", "DE"));
  EXPECT_FALSE(SetPolicyString("VisitorId", nullptr));
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "Country"), "<missing>");
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "VisitorId"), "0123456789abcdef");
  EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "EnableKovaUpdate"), "<missing>");
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, kPolicy));
}

// ---- The per-user auto-update value -------------------------------------------------

TEST_F(RegistrySettings, IsNt5Sp2ThroughNt6PerSystem) {
  struct Case {
    const char* name;
    Version version;
    BOOL call_succeeds;
    bool result;
  } cases[] = {
      {"Windows 98", {1, 4, 10, " A "}, TRUE, false},
      {"NT 5.0 SP1", {2, 5, 0, "Service Pack 1"}, TRUE, false},
      {"NT 5.0 SP2", {2, 5, 0, "Service Pack 2"}, TRUE, true},
      {"NT 5.0 other text", {2, 5, 0, "Beta 3"}, TRUE, false},
      {"NT 5.2", {2, 5, 2, "Service Pack 2"}, TRUE, true},
      {"NT 6.1", {2, 6, 1, "Service Pack 1"}, TRUE, true},
      {"NT 7.0", {2, 7, 0, ""}, TRUE, false},
      {"version call fails", {2, 6, 1, ""}, FALSE, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Version version = c.version;
    version.fails = !c.call_succeeds;
    SystemUnderTest system(version);
    EXPECT_EQ(IsNt5Sp2ThroughNt6(), c.result);
  }
}

enum class UserValue { kProtected, kPlain, kDeleted };

TEST_F(RegistrySettings, UserAutoUpdateValueOnFirstCreationPerSystem) {
  struct Case {
    const char* name;
    Version version;
    UserValue expected;
  } cases[] = {
      {"NT 5.0 SP1", {2, 5, 0, "Service Pack 1"}, UserValue::kProtected},
      {"NT 5.0 SP2", {2, 5, 0, "Service Pack 2"}, UserValue::kDeleted},
      {"NT 5.1", {2, 5, 1, "Service Pack 3"}, UserValue::kDeleted},
      {"Windows 98", {1, 4, 10, " A "}, UserValue::kPlain},
      {"Windows 98 numbered like NT 5", {1, 5, 0, ""}, UserValue::kPlain},
      {"NT 4", {2, 4, 0, "Service Pack 6"}, UserValue::kPlain},
      {"NT 6.1", {2, 6, 1, "Service Pack 1"}, UserValue::kDeleted},
      {"NT 7.0", {2, 7, 0, ""}, UserValue::kProtected},
  };
  for (const auto& c : cases) {
    for (bool user_value_before : {true, false}) {
      SCOPED_TRACE(std::string(c.name) +
                   (user_value_before ? ", user value present" : ", no user key"));
      test::CleanProductKeys::Delete();
      const std::string old_value = "old value";
      if (user_value_before) {
        ASSERT_TRUE(test::WriteRegistryValue(HKEY_CURRENT_USER, kPolicy, kAutoUpdate, REG_BINARY,
                                             old_value));
      }
      SystemUnderTest system(c.version);
      HKEY key;
      ASSERT_TRUE(OpenPolicyKey(&key, true));
      RegCloseKey(key);
      EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "NotifyInstall"), Dword(0));

      DWORD type = 0;
      const std::string stored = Stored(HKEY_CURRENT_USER, kPolicy, kAutoUpdate, &type);
      switch (c.expected) {
        case UserValue::kDeleted:
          EXPECT_EQ(stored, "<missing>");
          EXPECT_EQ(test::RegistryKeyExists(HKEY_CURRENT_USER, kPolicy), user_value_before)
              << "clearing never creates the user key";
          EXPECT_TRUE(test::LibraryRecorder::loaded.empty());
          break;
        case UserValue::kPlain:
          EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
          EXPECT_EQ(stored, kPlainBlock);
          EXPECT_TRUE(test::LibraryRecorder::loaded.empty()) << "no protection off NT 5 and later";
          break;
        case UserValue::kProtected: {
          EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
          EXPECT_GT(stored.size(), 4u);
          std::wstring description;
          EXPECT_EQ(Unprotect(stored, &description), kPlainBlock);
          EXPECT_EQ(description, L"Password Data");
          EXPECT_FALSE(test::LibraryRecorder::loaded.empty());
          break;
        }
      }
      ExpectOnlyCrypt32FromSystemDirectoryAndFreed();
    }
  }
}

TEST_F(RegistrySettings, UserAutoUpdateValueWhenProtectionIsMissingFailsOrDoesNotFit) {
  struct Case {
    const char* name;
    FARPROC(WINAPI* get_proc_address)(HMODULE, LPCSTR);
    DWORD block_size;     // of the fake's protected block; 0: it fails
    std::string stored;   // the user value afterwards
  } cases[] = {
      {"Crypt32 without CryptProtectData", WithoutProtectData, 0, kPlainBlock},
      {"CryptProtectData fails", WithFakeProtectData, 0, "<missing>"},
      {"block fills the buffer", WithFakeProtectData, 512, std::string(512, '\xA5')},
      {"block larger than the buffer", WithFakeProtectData, 513, "<missing>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::CleanProductKeys::Delete();
    SystemUnderTest system({2, 5, 0, "Service Pack 1"});
    ScopedOsOverride<decltype(OsSeam::GetProcAddress)> lookup(&OsSeam::GetProcAddress,
                                                             c.get_proc_address);
    g_protect = ProtectCall();
    g_protect_block_size = c.block_size;
    HKEY key;
    ASSERT_TRUE(OpenPolicyKey(&key, true)) << "the per-user outcome never fails the key";
    RegCloseKey(key);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kPolicy, "NotifyInstall"), Dword(0));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kPolicy, kAutoUpdate), c.stored);
    if (c.get_proc_address == WithFakeProtectData) {
      ASSERT_EQ(g_protect.calls, 1);
      EXPECT_EQ(g_protect.input, kPlainBlock);
      EXPECT_EQ(g_protect.description, L"Password Data");
      EXPECT_FALSE(g_protect.entropy);
      EXPECT_FALSE(g_protect.reserved);
      EXPECT_FALSE(g_protect.prompt);
      EXPECT_EQ(g_protect.flags, static_cast<DWORD>(CRYPTPROTECT_UI_FORBIDDEN));
    }
    EXPECT_FALSE(test::LibraryRecorder::loaded.empty());
    ExpectOnlyCrypt32FromSystemDirectoryAndFreed();
  }
}

}  // namespace
}  // namespace kova
