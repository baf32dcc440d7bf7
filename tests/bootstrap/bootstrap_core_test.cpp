// The pure decisions behind package extraction and the engine check.
#include <gtest/gtest.h>

#include <string>

#include "bootstrap/command_line.h"
#include "bootstrap/engine_version.h"
#include "bootstrap/fatal_message.h"
#include "bootstrap/package_path.h"

namespace kova {
namespace {

constexpr uint32_t Ms(uint32_t major, uint32_t minor) { return major << 16 | minor; }

TEST(EngineVersion, OldestAcceptedIs2_0_2600_0) {
  struct Case {
    uint32_t major, minor, build, revision;
    bool sufficient;
  } cases[] = {
      {2, 0, 2600, 0, true},    {2, 0, 2599, 9999, false}, {2, 0, 2599, 65535, false},
      {1, 20, 1827, 0, false},  {3, 1, 4000, 0, true},      {2, 1, 0, 0, true},
      {0, 0, 0, 0, false},      {4, 5, 6001, 22308, true},  {65535, 65535, 0, 0, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsEngineVersionSufficient(Ms(c.major, c.minor), c.build << 16 | c.revision),
              c.sufficient)
        << c.major << "." << c.minor << "." << c.build << "." << c.revision;
  }
}

TEST(PackagePath, ChainBelowTheDataFolder) {
  char path[kPathSize] = "C:\\users\\u\\AppData\\LocalLow";
  const char* steps[] = {
      "C:\\users\\u\\AppData\\LocalLow\\Orvo\\",
      "C:\\users\\u\\AppData\\LocalLow\\Orvo\\Kova\\",
      "C:\\users\\u\\AppData\\LocalLow\\Orvo\\Kova\\krt1.6.0_07",
      "C:\\users\\u\\AppData\\LocalLow\\Orvo\\Kova\\krt1.6.0_07\\krt1.6.0_07.msi",
  };
  for (int step = 0; step < kPackagePathSteps; ++step) {
    ASSERT_TRUE(ExtendPackagePath(path, sizeof path, step));
    EXPECT_STREQ(path, steps[step]);
  }
}

TEST(PackagePath, TooLongDataFolderLeavesNoCutPath) {
  // The chain adds 45 bytes; 259 is the most a path may hold.
  const size_t chain = std::string("\\Orvo\\Kova\\krt1.6.0_07\\krt1.6.0_07.msi").size();
  for (size_t folder_len : {259 - chain, 260 - chain, size_t{250}, size_t{259}}) {
    char path[kPathSize];
    std::string folder(folder_len, 'f');
    snprintf(path, sizeof path, "%s", folder.c_str());
    bool fits = folder_len + chain <= kPathSize - 1;
    bool extended = true;
    for (int step = 0; step < kPackagePathSteps && extended; ++step) {
      extended = ExtendPackagePath(path, sizeof path, step);
    }
    EXPECT_EQ(extended, fits) << folder_len;
    if (fits) {
      EXPECT_EQ(std::string(path), folder + "\\Orvo\\Kova\\krt1.6.0_07\\krt1.6.0_07.msi");
    } else {
      EXPECT_STREQ(path, "");
    }
  }
}

TEST(FatalMessage, LabelCodeAndSystemText) {
  struct Case {
    const char* label;
    int32_t code;
    const char* system_text;
    const char* expect;
  } cases[] = {
      {"CreateFile ", 5, "Access denied.\r\n",
       "Installer : Wrapper.CreateFile  failed with error 5: Access denied.\r\n"},
      {"WriteFile (In small chunks) ", 112, "",
       "Installer : Wrapper.WriteFile (In small chunks)  failed with error 112: "},
      {"CloseHandle ", -1, nullptr,
       "Installer : Wrapper.CloseHandle  failed with error -1: "},
  };
  for (const auto& c : cases) {
    size_t size = FatalMessageSize(c.label, c.system_text);
    std::string out(size, '\0');
    EXPECT_TRUE(FormatFatalMessage(&out[0], size, c.label, c.code, c.system_text));
    EXPECT_STREQ(out.c_str(), c.expect);
  }
  // The size leaves room for the longest error number.
  size_t size = FatalMessageSize("L", "T");
  std::string out(size, '\0');
  EXPECT_TRUE(FormatFatalMessage(&out[0], size, "L", INT32_MIN, "T"));
}

TEST(CommandLine, NoArgumentsInTheBaseLanguage) {
  char line[kCommandLineSize];
  ArgumentText none{};
  ASSERT_TRUE(FormatCommandLine(line, sizeof line, "C:\\windows\\system32\\msiexec.exe",
                                "C:\\p\\krt.msi", kBaseTransformLanguage, none));
  EXPECT_STREQ(line, "\"C:\\windows\\system32\\msiexec.exe\" /i \"C:\\p\\krt.msi\" ");
}

}  // namespace
}  // namespace kova
