// Package extraction against the real file system, with the system's answers
// about its version and its libraries steered through the OS seam.
#include "bootstrap/package_extraction.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "product/product.h"
#include "platform/fake_windows_version.h"
#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"
#include "platform/win32_test_support.h"

namespace kova {
namespace {

using test::ScratchFolder;

// Resources of the test exe (tests/tools/test_resources.rc.in).
constexpr int kLargeResource = 101;  // 15,857,152 bytes, the size of the real package
constexpr int kOddResource = 102;    // 20,000 bytes
constexpr int kEmptyResource = 103;  // 0 bytes
constexpr int kMissingResource = 999;

std::string ResourceBytes(int id) {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(id), kPackageResourceType);
  if (found == nullptr) return std::string();
  DWORD size = SizeofResource(self, found);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(self, found)));
  return std::string(bytes, size);
}

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

FARPROC WINAPI FilteringGetProcAddress(HMODULE module, LPCSTR name) {
  if (HIWORD(name) != 0 && g_ledger.missing_export == name) return nullptr;
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
  std::string Folder() {
    char path[MAX_PATH];
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
  struct Case {
    const char* name;
    const char* missing_library;
    const char* missing_export;
    const char* user_profile;  // null: unset
    enum { kAppData, kProfile, kWindows, kEmpty } expect;
  } cases[] = {
      {"no shfolder: shell32's special folder", "shfolder.dll", "", "C:\\profile",
       Case::kAppData},
      {"shfolder without its export", "", "SHGetFolderPathA", "C:\\profile", Case::kProfile},
      {"neither", "shfolder.dll", "SHGetSpecialFolderPathA", "C:\\profile", Case::kProfile},
      {"neither, no USERPROFILE", "shfolder.dll", "SHGetSpecialFolderPathA", nullptr,
       Case::kWindows},
      {"USERPROFILE too long", "shfolder.dll", "SHGetSpecialFolderPathA",
       "C:\\xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
       "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
       "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx",
       Case::kWindows},
  };
  const std::string app_data = Known(CSIDL_APPDATA);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cache_ = VersionCache{};
    g_ledger = LibraryLedger();
    g_ledger.missing_library = c.missing_library;
    g_ledger.missing_export = c.missing_export;
    version_.Set({VER_PLATFORM_WIN32_NT, 5, 1});
    SetEnvironmentVariableA("USERPROFILE", c.user_profile);
    std::string expect = c.expect == Case::kAppData   ? app_data
                         : c.expect == Case::kProfile ? std::string(c.user_profile)
                                                      : WindowsDirectory();
    EXPECT_EQ(Folder(), expect);
    EXPECT_EQ(g_ledger.loads, g_ledger.frees);
  }
}

TEST_F(UserDataFolderTest, VistaWithoutTheKnownFolderExportUsesTheProfile) {
  version_.Set({VER_PLATFORM_WIN32_NT, 6, 0});
  g_ledger.missing_export = "SHGetFolderPathEx";
  SetEnvironmentVariableA("USERPROFILE", "C:\\profile");
  EXPECT_EQ(Folder(), "C:\\profile");
  EXPECT_EQ(g_ledger.loads, g_ledger.frees);
}

TEST_F(UserDataFolderTest, PackagePathCreatesTheFolderChain) {
  ScratchFolder scratch;
  SetEnvironmentVariableA("USERPROFILE", scratch.Path().c_str());
  version_.Set({VER_PLATFORM_WIN32_NT, 5, 1});
  g_ledger.missing_library = "shfolder.dll";
  g_ledger.missing_export = "SHGetSpecialFolderPathA";
  char path[MAX_PATH];
  EXPECT_EQ(GetPackagePath(path, &cache_), 0u);
  const std::string folder = scratch.Path() + "\\Orvo\\Kova\\krt1.6.0_07";
  EXPECT_EQ(std::string(path), folder + "\\krt1.6.0_07.msi");
  DWORD attributes = GetFileAttributesA(folder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  // Existing folders are no obstacle; a file in the data folder's place is.
  EXPECT_EQ(GetPackagePath(path, &cache_), 0u);
  const std::string blocked = scratch.File("blocked");
  ASSERT_TRUE(test::WriteWholeFile(blocked, "x"));
  SetEnvironmentVariableA("USERPROFILE", blocked.c_str());
  // The error creating the package file in the missing folder would give.
  EXPECT_EQ(GetPackagePath(path, &cache_), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(UserDataFolderTest, PackagePathTooLongIsLeftEmpty) {
  // A 230-byte folder leaves no room for the 45-byte chain in 259 bytes.
  // (The folder itself is created, so it lives in the scratch folder.)
  ScratchFolder scratch;
  std::string long_folder = scratch.Path() + "\\" + std::string(229 - scratch.Path().size(), 'x');
  SetEnvironmentVariableA("USERPROFILE", long_folder.c_str());
  version_.Set({VER_PLATFORM_WIN32_NT, 5, 1});
  g_ledger.missing_library = "shfolder.dll";
  g_ledger.missing_export = "SHGetSpecialFolderPathA";
  char path[MAX_PATH];
  GetPackagePath(path, &cache_);
  EXPECT_STREQ(path, "");
}

// ---- Extraction ------------------------------------------------------------------

// The fault the file calls below make, through the seam.
enum Fault { kNone, kWriteFails, kZeroProgress, kCorruptWrite, kCloseFails, kReopenFails };
Fault g_fault = kNone;
std::vector<DWORD> g_chunks;

BOOL WINAPI FaultyWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                            LPOVERLAPPED overlapped) {
  g_chunks.push_back(size);
  if (g_fault == kWriteFails) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  if (g_fault == kZeroProgress) {  // success that writes nothing
    *written = 0;
    return TRUE;
  }
  if (g_fault == kCorruptWrite && g_chunks.size() == 2) {
    std::string altered(static_cast<const char*>(data), size);
    altered[size / 2] ^= 0x20;
    return RealOs().WriteFile(file, altered.data(), size, written, overlapped);
  }
  return RealOs().WriteFile(file, data, size, written, overlapped);
}

HANDLE WINAPI FaultyCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                DWORD disposition, DWORD flags, HANDLE template_file) {
  if (access == GENERIC_READ && g_fault == kReopenFails) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  return RealOs().CreateFileA(path, access, share, sa, disposition, flags, template_file);
}

BOOL WINAPI FaultyCloseHandle(HANDLE handle) {
  const BOOL closed = RealOs().CloseHandle(handle);
  if (g_fault != kCloseFails) return closed;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

class ExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_chunks.clear();
    g_fault = kNone;
  }
  int Extract(int id, const std::string& path, DWORD folder_error = 0) {
    fatal_ = FatalError{};
    lstrcpynA(path_, path.c_str(), sizeof path_);
    return ExtractResourceToFile(GetModuleHandleA(nullptr), id, kPackageResourceType, path_,
                                 folder_error, &verified_, &fatal_);
  }
  char path_[MAX_PATH];  // the path given, then the verified file's final path
  ScratchFolder scratch_;
  FileHandle verified_;
  FatalError fatal_;
};

TEST_F(ExtractionTest, WritesExactlyTheResourceInChunksOfAtMost8192AndHoldsIt) {
  struct Case {
    int id;
    size_t chunks;
    DWORD last_chunk;
  } cases[] = {
      {kLargeResource, 1936, 5632},  // 1935 * 8192 + 5632 = 15,857,152
      {kOddResource, 3, 3616},
      {kEmptyResource, 0, 0},
  };
  ScopedOsOverride<decltype(OsSeam::WriteFile)> write(&OsSeam::WriteFile, FaultyWriteFile);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    g_chunks.clear();
    std::string path = scratch_.File("package.msi");
    ASSERT_EQ(Extract(c.id, path), 1);
    EXPECT_EQ(fatal_.label, nullptr);
    std::string written;
    ASSERT_TRUE(test::ReadWholeFile(path, &written));
    EXPECT_TRUE(written == ResourceBytes(c.id)) << written.size();
    ASSERT_EQ(g_chunks.size(), c.chunks);
    for (size_t i = 0; i + 1 < g_chunks.size(); ++i) ASSERT_EQ(g_chunks[i], 8192u) << i;
    if (c.chunks > 0) {
      EXPECT_EQ(g_chunks.back(), c.last_chunk);
    }
    // While held, readers may open the file; nobody may write, replace or delete it.
    ASSERT_TRUE(verified_.IsOpen());
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    verified_.Close();
  }
  EXPECT_EQ(ResourceBytes(kLargeResource).size(), 15857152u);
}

TEST_F(ExtractionTest, ReplacesTheNameNeverTheFileBehindIt) {
  // An earlier, longer package is replaced. A name hard-linked to another
  // file gets a new file: the file behind the link keeps its bytes.
  const std::string outside = scratch_.File("outside.txt");
  ASSERT_TRUE(test::WriteWholeFile(outside, std::string(50000, 'o')));
  const struct {
    const char* name;
    bool linked;
  } cases[] = {{"an earlier package", false}, {"a hard link", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = scratch_.File("package.msi");
    DeleteFileA(path.c_str());
    if (c.linked) {
      ASSERT_TRUE(CreateHardLinkA(path.c_str(), outside.c_str(), nullptr));
    } else {
      ASSERT_TRUE(test::WriteWholeFile(path, std::string(50000, 'p')));
    }
    ASSERT_EQ(Extract(kOddResource, path), 1);
    verified_.Close();
    std::string written, kept;
    ASSERT_TRUE(test::ReadWholeFile(path, &written));
    EXPECT_TRUE(written == ResourceBytes(kOddResource));
    ASSERT_TRUE(test::ReadWholeFile(outside, &kept));
    EXPECT_EQ(kept, std::string(50000, 'o'));
  }
}

TEST_F(ExtractionTest, MissingResourceReturnsZeroAndWritesNothing) {
  std::string path = scratch_.File("package.msi");
  EXPECT_EQ(Extract(kMissingResource, path, ERROR_ACCESS_DENIED), 0);
  EXPECT_EQ(fatal_.label, nullptr);
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// What follows "Installer : Wrapper." in the message.
const char kCreateLabel[] = "CreateFile ";
const char kWriteLabel[] = "WriteFile (In small chunks) ";

// The error travels up as a value, and the entry point's box shows it exactly so.
void ExpectFatal(const FatalError& fatal, DWORD code, const char* label) {
  EXPECT_EQ(fatal.code, code);
  ASSERT_NE(fatal.label, nullptr);
  EXPECT_STREQ(fatal.label, label);
  test::MessageBoxRecorder recorder;
  ShowFatalError(fatal);
  EXPECT_EQ(recorder.boxes, 1);
  EXPECT_EQ(recorder.caption, "Error");
  EXPECT_EQ(recorder.style, static_cast<UINT>(MB_OK));
  char* system_text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                 LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&system_text), 0, nullptr);
  std::string expect = std::string("Installer : Wrapper.") + label + " failed with error " +
                       std::to_string(code) + ": " +
                       (system_text ? system_text : "");
  if (system_text != nullptr) LocalFree(system_text);
  EXPECT_EQ(recorder.text, expect);
}

TEST_F(ExtractionTest, FileErrorsComeBackAsTheFatalError) {
  ScopedOsOverride<decltype(OsSeam::WriteFile)> write(&OsSeam::WriteFile, FaultyWriteFile);
  ScopedOsOverride<decltype(OsSeam::CreateFileA)> create(&OsSeam::CreateFileA, FaultyCreateFileA);
  ScopedOsOverride<decltype(OsSeam::CloseHandle)> close(&OsSeam::CloseHandle, FaultyCloseHandle);
  const std::string folder_at_path = scratch_.File("folder.msi");
  ASSERT_TRUE(CreateDirectoryA(folder_at_path.c_str(), nullptr));
  const std::string package = scratch_.File("package.msi");
  const std::string file_as_folder = scratch_.File("plain.txt");
  ASSERT_TRUE(test::WriteWholeFile(file_as_folder, "x"));
  const struct {
    const char* name;
    std::string path;
    DWORD folder_error;
    Fault fault;
    DWORD code;
    const char* label;
  } cases[] = {
      // A folder where the file should go: refused with 5 even as root.
      {"folder at the path", folder_at_path, 0, kNone, 5, kCreateLabel},
      {"path that could not be built", "", 0, kNone, ERROR_FILENAME_EXCED_RANGE, kCreateLabel},
      {"a folder could not be created", package, ERROR_ACCESS_DENIED, kNone, 5, kCreateLabel},
      {"a file where a folder should be", file_as_folder + "\\package.msi", 0, kNone,
       ERROR_DIRECTORY, kCreateLabel},
      {"write fails", package, 0, kWriteFails, ERROR_DISK_FULL, kWriteLabel},
      // A write that succeeds without progress would loop forever.
      {"write makes no progress", package, 0, kZeroProgress, ERROR_WRITE_FAULT, kWriteLabel},
      {"close fails", package, 0, kCloseFails, ERROR_INVALID_HANDLE, "CloseHandle "},
      {"written bytes differ", package, 0, kCorruptWrite, ERROR_FILE_CORRUPT, "ReadFile "},
      {"reopen fails", package, 0, kReopenFails, ERROR_SHARING_VIOLATION, kCreateLabel},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_chunks.clear();
    g_fault = c.fault;
    EXPECT_EQ(Extract(kOddResource, c.path, c.folder_error), 0);
    g_fault = kNone;
    EXPECT_FALSE(verified_.IsOpen());
    ExpectFatal(fatal_, c.code, c.label);
    if (c.fault == kWriteFails || c.fault == kZeroProgress) {
      EXPECT_EQ(g_chunks.size(), 1u);
    }
  }
}

// ---- Final paths ----------------------------------------------------------------

// The system's final path, except that a file whose name ends in ".msi" is
// reported one letter off (as if a link had moved it); or no such function.
enum class FinalPaths { kMoved, kMissing } g_final_paths;

DWORD WINAPI MovingGetFinalPathNameByHandleA(HANDLE file, LPSTR path, DWORD size, DWORD flags) {
  using Fn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
  const Fn real = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
  const DWORD length = real(file, path, size, flags);
  if (length > 4 && length < size && EndsWithName(path, ".msi")) path[length - 5] ^= 1;
  return length;
}

FARPROC WINAPI FinalPathGetProcAddress(HMODULE module, LPCSTR name) {
  if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 &&
      std::strcmp(name, "GetFinalPathNameByHandleA") == 0) {
    if (g_final_paths == FinalPaths::kMissing) return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(MovingGetFinalPathNameByHandleA));
  }
  return RealOs().GetProcAddress(module, name);
}

TEST_F(ExtractionTest, OnlyFilesWhoseFinalPathIsThePackagesAreDeletedCreatedAndHandedOn) {
  const std::string path = scratch_.File("package.msi");
  // With the system's own answers, the engine gets the final path, without "\\?\".
  ASSERT_EQ(Extract(kOddResource, path), 1);
  EXPECT_STREQ(path_, path.c_str());
  verified_.Close();
  ScopedOsOverride<decltype(OsSeam::GetProcAddress)> lookup(&OsSeam::GetProcAddress,
                                                            FinalPathGetProcAddress);
  const struct {
    const char* name;
    FinalPaths final_paths;
    bool stale;  // an earlier file is at the path
    int result;
  } cases[] = {
      // The earlier file is not deleted; the new one is not kept.
      {"the stale file lies elsewhere", FinalPaths::kMoved, true, 0},
      {"the new file lies elsewhere", FinalPaths::kMoved, false, 0},
      // Before Vista: by name, as built.
      {"no final paths", FinalPaths::kMissing, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_final_paths = c.final_paths;
    DeleteFileA(path.c_str());
    ASSERT_TRUE(!c.stale || test::WriteWholeFile(path, "earlier"));
    EXPECT_EQ(Extract(kOddResource, path), c.result);
    if (c.result == 0) {
      ExpectFatal(fatal_, ERROR_CANT_ACCESS_FILE, kCreateLabel);
    } else {
      EXPECT_STREQ(path_, path.c_str());
    }
    verified_.Close();
    std::string left = "(none)";
    test::ReadWholeFile(path, &left);
    EXPECT_EQ(left, c.result == 1 ? ResourceBytes(kOddResource) : c.stale ? "earlier" : "(none)");
  }
}

}  // namespace
}  // namespace kova
