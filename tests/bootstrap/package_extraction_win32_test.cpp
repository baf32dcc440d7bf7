// Package extraction against the real file system, with the file calls'
// faults and the final-path answers steered through the OS seam.
#include "bootstrap/package_extraction.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "product/product.h"
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

HANDLE WINAPI FaultyCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                DWORD disposition, DWORD flags, HANDLE template_file) {
  if (access == GENERIC_READ && g_fault == kReopenFails) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  return RealOs().CreateFileW(path, access, share, sa, disposition, flags, template_file);
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
  // True when the file was written; fatal_ holds the fatal error, if any.
  // The scratch folder has no link on its way: the file's final path is the
  // path itself.
  bool Extract(int id, const std::string& path, DWORD folder_error = 0) {
    lstrcpynA(location_.path, path.c_str(), sizeof location_.path);
    lstrcpynA(location_.file, path.c_str(), sizeof location_.file);
    const Extraction extraction =
        ExtractResourceToFile(GetModuleHandleA(nullptr), id, location_, folder_error, &verified_);
    fatal_ = extraction.fatal;
    return extraction.written;
  }
  PackageLocation location_;
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
    ASSERT_TRUE(Extract(c.id, path));
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
    DWORD attributes;  // of an earlier package
  } cases[] = {{"an earlier package", false, FILE_ATTRIBUTE_NORMAL},
               {"a read-only earlier package", false, FILE_ATTRIBUTE_READONLY},
               {"a hard link", true, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = scratch_.File("package.msi");
    DeleteFileA(path.c_str());
    if (c.linked) {
      ASSERT_TRUE(CreateHardLinkA(path.c_str(), outside.c_str(), nullptr));
    } else {
      ASSERT_TRUE(test::WriteWholeFile(path, std::string(50000, 'p')));
      ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.attributes));
    }
    ASSERT_TRUE(Extract(kOddResource, path));
    verified_.Close();
    std::string written, kept;
    ASSERT_TRUE(test::ReadWholeFile(path, &written));
    EXPECT_TRUE(written == ResourceBytes(kOddResource));
    ASSERT_TRUE(test::ReadWholeFile(outside, &kept));
    EXPECT_EQ(kept, std::string(50000, 'o'));
  }
}

TEST_F(ExtractionTest, MissingResourceWritesNothingAndIsNoFatalError) {
  std::string path = scratch_.File("package.msi");
  EXPECT_FALSE(Extract(kMissingResource, path, ERROR_ACCESS_DENIED));
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
  ScopedOsOverride<decltype(OsSeam::CreateFileW)> create(&OsSeam::CreateFileW, FaultyCreateFileW);
  ScopedOsOverride<decltype(OsSeam::CloseHandle)> close(&OsSeam::CloseHandle, FaultyCloseHandle);
  const std::string folder_at_path = scratch_.File("folder.msi");
  ASSERT_TRUE(CreateDirectoryA(folder_at_path.c_str(), nullptr));
  const std::string package = scratch_.File("package.msi");
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
    EXPECT_FALSE(Extract(kOddResource, c.path, c.folder_error));
    g_fault = kNone;
    EXPECT_FALSE(verified_.IsOpen());
    ExpectFatal(fatal_, c.code, c.label);
    // A file this run made and could not finish is taken back.
    if (c.fault != kNone) {
      EXPECT_EQ(GetFileAttributesA(c.path.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    if (c.fault == kWriteFails || c.fault == kZeroProgress) {
      EXPECT_EQ(g_chunks.size(), 1u);
    }
  }
}

// ---- Final paths ----------------------------------------------------------------

// The system's final path, except that a file whose name ends in ".msi" is
// reported one letter off (as if a link had moved it); or no such function.
enum class FinalPaths { kMoved, kMissing } g_final_paths;

DWORD WINAPI MovingGetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags) {
  const DWORD length = test::RealGetFinalPathNameByHandleW(file, path, size, flags);
  if (length > 4 && length < size && _wcsicmp(path + length - 4, L".msi") == 0) {
    path[length - 5] ^= 1;
  }
  return length;
}

FARPROC WINAPI FinalPathGetProcAddress(HMODULE module, LPCSTR name) {
  if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 &&
      std::strcmp(name, "GetFinalPathNameByHandleW") == 0) {
    if (g_final_paths == FinalPaths::kMissing) return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(MovingGetFinalPathNameByHandleW));
  }
  return RealOs().GetProcAddress(module, name);
}

TEST_F(ExtractionTest, OnlyFilesWhoseFinalPathIsThePackagesAreDeletedCreatedAndHandedOn) {
  const std::string path = scratch_.File("package.msi");
  // With the system's own answers, the engine gets the final path, without "\\?\".
  ASSERT_TRUE(Extract(kOddResource, path));
  verified_.Close();
  ScopedOsOverride<decltype(OsSeam::GetProcAddress)> lookup(&OsSeam::GetProcAddress,
                                                            FinalPathGetProcAddress);
  const struct {
    const char* name;
    FinalPaths final_paths;
    bool stale;  // an earlier file is at the path
    bool written;
  } cases[] = {
      // The earlier file is not deleted; the new one is not kept.
      {"the stale file lies elsewhere", FinalPaths::kMoved, true, false},
      {"the new file lies elsewhere", FinalPaths::kMoved, false, false},
      // Before Vista: by name, as built.
      {"no final paths", FinalPaths::kMissing, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_final_paths = c.final_paths;
    DeleteFileA(path.c_str());
    ASSERT_TRUE(!c.stale || test::WriteWholeFile(path, "earlier"));
    EXPECT_EQ(Extract(kOddResource, path), c.written);
    if (!c.written) ExpectFatal(fatal_, ERROR_CANT_ACCESS_FILE, kCreateLabel);
    verified_.Close();
    std::string left = "(none)";
    test::ReadWholeFile(path, &left);
    EXPECT_EQ(left, c.written ? ResourceBytes(kOddResource) : c.stale ? "earlier" : "(none)");
  }
}

TEST_F(ExtractionTest, TheEngineIsGivenOnlyANameThatOpensTheFileHeld) {
  const std::string path = scratch_.File("package.msi");
  const std::string twin = scratch_.File("twin.msi");
  ASSERT_TRUE(Extract(kOddResource, path));
  ASSERT_TRUE(test::WriteWholeFile(twin, ResourceBytes(kOddResource)));
  EXPECT_EQ(CheckPackageIdentity(path.c_str(), verified_.Get()), 0u);
  // Equal bytes are not enough: another file is another file.
  EXPECT_EQ(CheckPackageIdentity(twin.c_str(), verified_.Get()),
            static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
}

}  // namespace
}  // namespace kova
