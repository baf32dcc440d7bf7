// The status log against Wine's real file system: where it lands (TMPDIR or
// the temporary folder), what an entry looks like, appending, and a log that
// another holder has locked. The clock comes through the OS seam.
#include "reporting/status_log_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"
#include "platform/win32_test_support.h"

namespace kova {
namespace {

SYSTEMTIME g_now;

void WINAPI FakeLocalTime(LPSYSTEMTIME time) { *time = g_now; }

std::string TempFolder() {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  return folder;
}

// Each test: a scratch folder, a fixed clock (Wednesday the 8th), TMPDIR
// restored afterwards, and no log left in the temporary folder.
class StatusLog : public ::testing::Test {
 protected:
  StatusLog() : clock_(&OsSeam::GetLocalTime, FakeLocalTime) {
    g_now = SYSTEMTIME{2025, 1, 3, 8, 14, 3, 9, 250};
    char value[4096];
    DWORD n = GetEnvironmentVariableA("TMPDIR", value, sizeof value);
    had_tmpdir_ = n > 0 && n < sizeof value;
    if (had_tmpdir_) saved_tmpdir_ = value;
    DeleteFileA(TempLog().c_str());
  }
  ~StatusLog() override {
    SetEnvironmentVariableA("TMPDIR", had_tmpdir_ ? saved_tmpdir_.c_str() : nullptr);
    DeleteFileA(TempLog().c_str());
  }

  static std::string TempLog() { return TempFolder() + "kusched.log"; }
  std::string ScratchLog() const { return scratch_.File("kusched.log"); }
  static std::string Read(const std::string& path) {
    std::string bytes;
    if (!test::ReadWholeFile(path, &bytes)) return "<missing>";
    return bytes;
  }

  test::ScratchFolder scratch_;

 private:
  ScopedOsOverride<decltype(OsSeam::GetLocalTime)> clock_;
  bool had_tmpdir_ = false;
  std::string saved_tmpdir_;
};

const char kEntry[] = "\nWed Jan 08 14:03:09 2025\n:: ";

TEST_F(StatusLog, TmpDirNamesTheFolder) {
  for (const std::string& tmpdir : {scratch_.Path(), scratch_.Path() + "\\"}) {
    SCOPED_TRACE(tmpdir);
    DeleteFileA(ScratchLog().c_str());
    ASSERT_TRUE(SetEnvironmentVariableA("TMPDIR", tmpdir.c_str()));
    AppendStatusLog("InstallStatus:ret=200");
    EXPECT_EQ(Read(ScratchLog()), std::string(kEntry) + "InstallStatus:ret=200");
    EXPECT_EQ(Read(TempLog()), "<missing>");
  }
}

TEST_F(StatusLog, WithoutTmpDirTheTemporaryFolder) {
  SetEnvironmentVariableA("TMPDIR", nullptr);
  AppendStatusLog("one");
  EXPECT_EQ(Read(TempLog()), std::string(kEntry) + "one");
  // An empty TMPDIR counts as none.
  SetEnvironmentVariableA("TMPDIR", "");
  AppendStatusLog("two");
  EXPECT_EQ(Read(TempLog()), std::string(kEntry) + "one" + kEntry + "two");
}

TEST_F(StatusLog, EntriesAppendToWhatIsThere) {
  ASSERT_TRUE(SetEnvironmentVariableA("TMPDIR", scratch_.Path().c_str()));
  ASSERT_TRUE(test::WriteWholeFile(ScratchLog(), "older text"));
  AppendStatusLog("first\nsecond line");
  g_now.wDay = 9;
  g_now.wDayOfWeek = 4;
  AppendStatusLog("third");
  // Each entry begins with a newline right after the last byte before it.
  EXPECT_EQ(Read(ScratchLog()), std::string("older text") + kEntry + "first\nsecond line" +
                                    "\nThu Jan 09 14:03:09 2025\n:: third");
}

TEST_F(StatusLog, AClockThatCannotBeWrittenLeavesOnlyTheText) {
  ASSERT_TRUE(SetEnvironmentVariableA("TMPDIR", scratch_.Path().c_str()));
  g_now.wMonth = 13;
  AppendStatusLog("text");
  EXPECT_EQ(Read(ScratchLog()), "text");
}

TEST_F(StatusLog, TooLongATmpDirFallsBackToTheTemporaryFolder) {
  // 300 characters do not fit the 260-byte buffer; 250 do, but not with the
  // file name after them.
  for (size_t length : {300u, 250u, 248u}) {
    SCOPED_TRACE(length);
    DeleteFileA(TempLog().c_str());
    const std::string tmpdir = scratch_.Path() + "\\" +
                               std::string(length - scratch_.Path().size() - 1, 'd');
    ASSERT_EQ(tmpdir.size(), length);
    ASSERT_TRUE(SetEnvironmentVariableA("TMPDIR", tmpdir.c_str()));
    AppendStatusLog("long");
    EXPECT_EQ(Read(TempLog()), std::string(kEntry) + "long");
  }
}

TEST_F(StatusLog, ALogLockedByAnotherHolderGetsNoEntry) {
  ASSERT_TRUE(SetEnvironmentVariableA("TMPDIR", scratch_.Path().c_str()));
  ASSERT_TRUE(test::WriteWholeFile(ScratchLog(), "kept"));
  HANDLE holder = CreateFileA(ScratchLog().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  AppendStatusLog("lost");
  CloseHandle(holder);
  EXPECT_EQ(Read(ScratchLog()), "kept");
}

TEST_F(StatusLog, AnotherWriterSharingTheLogDoesNotStopAnEntry) {
  ASSERT_TRUE(SetEnvironmentVariableA("TMPDIR", scratch_.Path().c_str()));
  HANDLE writer = CreateFileA(ScratchLog().c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(writer, "other", 5, &written, nullptr);
  AppendStatusLog("mine");
  CloseHandle(writer);
  EXPECT_EQ(Read(ScratchLog()), std::string("other") + kEntry + "mine");
}

TEST_F(StatusLog, ALogNameLinkedToAnotherFileGetsNoEntry) {
  ASSERT_TRUE(SetEnvironmentVariableA("TMPDIR", scratch_.Path().c_str()));
  const std::string other = scratch_.File("other.ini");
  ASSERT_TRUE(test::WriteWholeFile(other, "kept"));
  ASSERT_TRUE(CreateHardLinkA(ScratchLog().c_str(), other.c_str(), nullptr));
  AppendStatusLog("lost");
  EXPECT_EQ(Read(other), "kept");
}

// Windows appends every write through a handle that has FILE_APPEND_DATA but
// not FILE_WRITE_DATA at the end of the file as it is at that moment, so an
// entry written in one call never mixes with another process's. (Wine
// computes the end itself before writing, so two Wine processes appending at
// once can overwrite each other: measured with 2 x 300 entries. Hence the
// access and the single write are checked here, through the seam.)
DWORD g_access = 0;
DWORD g_flags = 0;
std::vector<std::string> g_writes;

HANDLE WINAPI RecordingCreateFileW(LPCWSTR path, DWORD access, DWORD share,
                                   LPSECURITY_ATTRIBUTES sa, DWORD disposition, DWORD flags,
                                   HANDLE template_file) {
  g_access = access;
  g_flags = flags;
  return RealOs().CreateFileW(path, access, share, sa, disposition, flags, template_file);
}

BOOL WINAPI RecordingWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                               LPOVERLAPPED overlapped) {
  g_writes.emplace_back(static_cast<const char*>(data), size);
  return RealOs().WriteFile(file, data, size, written, overlapped);
}

TEST_F(StatusLog, AnEntryIsOneAppendOnlyWriteToTheNameItself) {
  ASSERT_TRUE(SetEnvironmentVariableA("TMPDIR", scratch_.Path().c_str()));
  ScopedOsOverride<decltype(OsSeam::CreateFileW)> create(&OsSeam::CreateFileW,
                                                         RecordingCreateFileW);
  ScopedOsOverride<decltype(OsSeam::WriteFile)> write(&OsSeam::WriteFile, RecordingWriteFile);
  g_writes.clear();
  const std::string body(2000, 'b');  // as long as a report body gets
  AppendStatusLog(body.c_str());
  EXPECT_EQ(g_access & (FILE_APPEND_DATA | FILE_WRITE_DATA), static_cast<DWORD>(FILE_APPEND_DATA));
  EXPECT_NE(g_flags & FILE_FLAG_OPEN_REPARSE_POINT, 0u);
  EXPECT_EQ(g_writes, std::vector<std::string>{kEntry + body});
}

}  // namespace
}  // namespace kova
