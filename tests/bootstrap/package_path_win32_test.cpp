// The per-user data folder and the package's folder chain below it.
#include "bootstrap/package_path_win32.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/fake_windows_version.h"
#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"
#include "platform/win32_test_support.h"

namespace kova {
namespace {

using test::ScratchFolder;

// ---- Version and library fakes ------------------------------------------------

// Loads the real libraries but counts every load and free, records the paths
// asked for, and can pretend that a library or an export is missing.
struct LibraryLedger {
  int loads = 0;
  int frees = 0;
  std::vector<std::string> paths;
  std::string missing_library;  // a file name such as "shfolder.dll"
  std::string missing_export;
} g_ledger;

bool EndsWithName(const std::string& path, const std::string& name) {
  return !name.empty() && path.size() >= name.size() &&
         _stricmp(path.c_str() + path.size() - name.size(), name.c_str()) == 0;
}

HMODULE WINAPI CountingLoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags) {
  g_ledger.paths.push_back(path);
  if (EndsWithName(path, g_ledger.missing_library)) return nullptr;
  EXPECT_EQ(flags, static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH)) << path;
  HMODULE module = RealOs().LoadLibraryExA(path, file, flags);
  if (module != nullptr) ++g_ledger.loads;
  return module;
}

BOOL WINAPI CountingFreeLibrary(HMODULE module) {
  ++g_ledger.frees;
  return RealOs().FreeLibrary(module);
}

// The system's final paths, but the data folder's as if on a share, or the
// package folder's as if a folder of the chain had become a link.
enum class Bend { kNone, kShare, kMovedChain } g_bend = Bend::kNone;

DWORD WINAPI BentGetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags) {
  DWORD length = test::RealGetFinalPathNameByHandleW(file, path, size, flags);
  if (length == 0 || length >= size) return length;
  std::wstring bent = path;
  if (g_bend == Bend::kShare && bent.find(L"Orvo") == std::wstring::npos) {
    bent = L"\\\\?\\UNC\\server\\share" + bent.substr(6);  // "\\?\C:" goes
  }
  if (g_bend == Bend::kMovedChain && bent.size() > 11 &&
      bent.substr(bent.size() - 11) == L"krt1.6.0_07") {
    bent.replace(bent.find(L"Orvo"), 4, L"Elsewhere");
  }
  if (bent.size() >= size) return static_cast<DWORD>(bent.size() + 1);
  wcscpy(path, bent.c_str());
  return static_cast<DWORD>(bent.size());
}

FARPROC WINAPI FilteringGetProcAddress(HMODULE module, LPCSTR name) {
  if (HIWORD(name) != 0 && g_ledger.missing_export == name) return nullptr;
  if (HIWORD(name) != 0 && g_bend != Bend::kNone &&
      std::strcmp(name, "GetFinalPathNameByHandleW") == 0) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(BentGetFinalPathNameByHandleW));
  }
  return RealOs().GetProcAddress(module, name);
}

class UserDataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ledger = LibraryLedger();
    cache_ = VersionCache{};
    char profile[MAX_PATH];
    saved_profile_ = GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile) > 0
                         ? profile : "";
  }
  void TearDown() override {
    cache_ = VersionCache{};
    SetEnvironmentVariableA("USERPROFILE", saved_profile_.empty() ? nullptr
                                                                  : saved_profile_.c_str());
  }
  // The data folder as XP finds it without shfolder.dll or shell32's
  // export: the profile folder, which is folder.
  void UseProfileAsDataFolder(const std::string& folder) {
    SetEnvironmentVariableA("USERPROFILE", folder.c_str());
    version_.Set({VER_PLATFORM_WIN32_NT, 5, 1});
    g_ledger.missing_library = "shfolder.dll";
    g_ledger.missing_export = "SHGetSpecialFolderPathW";
  }
  std::string Folder() {
    char path[kPathTextSize];
    std::memset(path, '#', sizeof path);
    GetUserDataFolder(path, &cache_);
    EXPECT_LT(std::strlen(path), static_cast<size_t>(MAX_PATH));
    return path;
  }
  static std::string Known(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
  }
  static std::string LocalLow() {
    char profile[MAX_PATH] = "";
    GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile);
    return std::string(profile) + "\\AppData\\LocalLow";
  }
  static std::string WindowsDirectory() {
    char path[MAX_PATH] = "";
    GetWindowsDirectoryA(path, sizeof path);
    return path;
  }

  test::ScopedWindowsVersion version_{{0, 0, 0}};
  ScopedOsOverride<decltype(OsSeam::LoadLibraryExA)> load_{&OsSeam::LoadLibraryExA,
                                                           CountingLoadLibraryExA};
  ScopedOsOverride<decltype(OsSeam::FreeLibrary)> free_{&OsSeam::FreeLibrary,
                                                        CountingFreeLibrary};
  ScopedOsOverride<decltype(OsSeam::GetProcAddress)> proc_{&OsSeam::GetProcAddress,
                                                           FilteringGetProcAddress};
  std::string saved_profile_;
  VersionCache cache_;
};

TEST_F(UserDataFolderTest, FolderPerSystemFamily) {
  struct Case {
    const char* name;
    test::FakeWindowsVersion version;
    bool local_low;
  } cases[] = {
      {"Vista", {VER_PLATFORM_WIN32_NT, 6, 0}, true},
      {"7", {VER_PLATFORM_WIN32_NT, 6, 1}, true},
      {"XP", {VER_PLATFORM_WIN32_NT, 5, 1}, false},
      {"2000", {VER_PLATFORM_WIN32_NT, 5, 0}, false},
      {"NT 4", {VER_PLATFORM_WIN32_NT, 4, 0}, false},
      {"10", {VER_PLATFORM_WIN32_NT, 10, 0}, false},
      {"98", {VER_PLATFORM_WIN32_WINDOWS, 4, 10}, false},
      {"9x claiming major 6", {VER_PLATFORM_WIN32_WINDOWS, 6, 0}, false},
  };
  const std::string app_data = Known(CSIDL_APPDATA);
  ASSERT_FALSE(app_data.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cache_ = VersionCache{};
    g_ledger = LibraryLedger();
    version_.Set(c.version);
    EXPECT_EQ(IsVistaFamily(&cache_), c.local_low);
    EXPECT_EQ(Folder(), c.local_low ? LocalLow() : app_data);
    EXPECT_EQ(g_ledger.loads, g_ledger.frees);
    EXPECT_EQ(g_ledger.paths.size(), 1u);
    for (const auto& path : g_ledger.paths) {
      EXPECT_EQ(path.rfind(test::SystemDirectory() + "\\", 0), 0u) << path;
    }
    EXPECT_TRUE(EndsWithName(g_ledger.paths.at(0), c.local_low ? "shell32.dll" : "shfolder.dll"));
  }
}

TEST_F(UserDataFolderTest, VersionIsAskedOncePerProcess) {
  version_.Set({VER_PLATFORM_WIN32_NT, 6, 1});
  EXPECT_TRUE(IsVistaFamily(&cache_));
  version_.Set({VER_PLATFORM_WIN32_NT, 5, 1});
  EXPECT_TRUE(IsVistaFamily(&cache_));
}

TEST_F(UserDataFolderTest, FallbacksWhenLibrariesOrExportsAreMissing) {
  const std::string too_long = "C:\\" + std::string(270, 'x');
  struct Case {
    const char* name;
    const char* missing_library;
    const char* missing_export;
    const char* user_profile;  // null: unset
    enum { kAppData, kProfile, kWindows } expect;
    bool vista = false;  // else XP
  } cases[] = {
      {"no shfolder: shell32's special folder", "shfolder.dll", "", "C:\\profile",
       Case::kAppData},
      {"shfolder without its export", "", "SHGetFolderPathW", "C:\\profile", Case::kProfile},
      {"neither", "shfolder.dll", "SHGetSpecialFolderPathW", "C:\\profile", Case::kProfile},
      {"neither, no USERPROFILE", "shfolder.dll", "SHGetSpecialFolderPathW", nullptr,
       Case::kWindows},
      {"USERPROFILE too long", "shfolder.dll", "SHGetSpecialFolderPathW", too_long.c_str(),
       Case::kWindows},
      {"Vista without the known-folder export", "", "SHGetFolderPathEx", "C:\\profile",
       Case::kProfile, true},
  };
  const std::string app_data = Known(CSIDL_APPDATA);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cache_ = VersionCache{};
    g_ledger = LibraryLedger();
    g_ledger.missing_library = c.missing_library;
    g_ledger.missing_export = c.missing_export;
    version_.Set({VER_PLATFORM_WIN32_NT, c.vista ? 6u : 5u, c.vista ? 0u : 1u});
    SetEnvironmentVariableA("USERPROFILE", c.user_profile);
    std::string expect = c.expect == Case::kAppData   ? app_data
                         : c.expect == Case::kProfile ? std::string(c.user_profile)
                                                      : WindowsDirectory();
    EXPECT_EQ(Folder(), expect);
    EXPECT_EQ(g_ledger.loads, g_ledger.frees);
  }
}

TEST_F(UserDataFolderTest, PackagePathCreatesTheFolderChain) {
  ScratchFolder scratch;
  UseProfileAsDataFolder(scratch.Path());
  PackageLocation location;
  EXPECT_EQ(GetPackagePath(&location, &cache_), 0u);
  const std::string folder = scratch.Path() + "\\Orvo\\Kova\\krt1.6.0_07";
  EXPECT_EQ(std::string(location.path), folder + "\\krt1.6.0_07.msi");
  // The scratch folder lies below no link: the final path is the same.
  EXPECT_EQ(std::string(location.file), folder + "\\krt1.6.0_07.msi");
  DWORD attributes = GetFileAttributesA(folder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  // Existing folders are no obstacle; a file in the data folder's place is.
  EXPECT_EQ(GetPackagePath(&location, &cache_), 0u);
  const std::string blocked = scratch.File("blocked");
  ASSERT_TRUE(test::WriteWholeFile(blocked, "x"));
  SetEnvironmentVariableA("USERPROFILE", blocked.c_str());
  // The error creating the package file in the missing folder would give.
  EXPECT_EQ(GetPackagePath(&location, &cache_), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(UserDataFolderTest, PackagePathTooLongIsLeftEmpty) {
  // A 230-byte folder leaves no room for the 45-byte chain in 259 bytes.
  // (The folder itself is created, so it lives in the scratch folder.)
  ScratchFolder scratch;
  std::string long_folder = scratch.Path() + "\\" + std::string(229 - scratch.Path().size(), 'x');
  UseProfileAsDataFolder(long_folder);
  PackageLocation location;
  GetPackagePath(&location, &cache_);
  EXPECT_STREQ(location.path, "");
}

TEST_F(UserDataFolderTest, ThePackageFolderIsTheLocalDataFoldersOwn) {
  const struct {
    const char* name;
    Bend bend;
    bool chain_made;
  } cases[] = {
      // Nothing is made on a share: a server could serve the engine other bytes.
      {"data folder on a share", Bend::kShare, false},
      {"a folder of the chain moved", Bend::kMovedChain, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder scratch;
    UseProfileAsDataFolder(scratch.Path());
    g_bend = c.bend;
    PackageLocation location;
    EXPECT_EQ(GetPackagePath(&location, &cache_), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
    EXPECT_EQ(GetFileAttributesA((scratch.Path() + "\\Orvo").c_str()) != INVALID_FILE_ATTRIBUTES,
              c.chain_made);
  }
  g_bend = Bend::kNone;
}

}  // namespace
}  // namespace kova
