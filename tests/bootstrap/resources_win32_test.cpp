// The product exe's resources, read from the built file as Windows reads them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bootstrap/product.h"

namespace kova {
namespace {

const char kEngineMessage[] =
    "Kova(TM) could not be installed because the Windows Installer 2.0 Engine is not installed "
    "on this system.  Please download and install Windows Installer 2.0 or higher from the "
    "Microsoft web site.";

class ProductResources : public ::testing::Test {
 protected:
  void SetUp() override {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string dir = self;
    dir = dir.substr(0, dir.rfind('\\') + 1);
    module_ = LoadLibraryExA((dir + "krt-1.6.0_07-windows-i586.exe").c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  std::string Resource(LPCSTR type, LPCSTR name, WORD language) {
    HRSRC found = FindResourceExA(module_, type, name, language);
    if (found == nullptr) return std::string();
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module_, found)));
    return std::string(bytes, SizeofResource(module_, found));
  }
  HMODULE module_ = nullptr;
};

// String id 4 sits in block 1 (ids 0-15) as its fifth counted UTF-16 string.
std::string StringFromBlock(const std::string& block, int index) {
  const WCHAR* p = reinterpret_cast<const WCHAR*>(block.data());
  const WCHAR* end = p + block.size() / sizeof(WCHAR);
  for (int i = 0; p < end; ++i) {
    WORD length = *p++;
    if (i == index) {
      std::string text;
      for (WORD k = 0; k < length && p + k < end; ++k) text += static_cast<char>(p[k]);
      return text;
    }
    p += length;
  }
  return std::string();
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

TEST_F(ProductResources, EngineMessageInAllTenLanguages) {
  const WORD languages[] = {7, 10, 12, 16, 29, 1028, 1033, 1041, 1042, 2052};
  for (WORD language : languages) {
    std::string block = Resource(RT_STRING, MAKEINTRESOURCEA(4 / 16 + 1), language);
    ASSERT_FALSE(block.empty()) << language;
    EXPECT_EQ(StringFromBlock(block, 4 % 16), kEngineMessage) << language;
  }
  // Exactly these languages carry the block.
  std::vector<WORD> found;
  EnumResourceLanguagesA(module_, RT_STRING, MAKEINTRESOURCEA(1), CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&found));
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, std::vector<WORD>(std::begin(languages), std::end(languages)));
}

TEST_F(ProductResources, PackageIconAndManifest) {
  HRSRC package = FindResourceA(module_, MAKEINTRESOURCEA(kPackageResourceId),
                                kPackageResourceType);
  ASSERT_NE(package, nullptr);
  EXPECT_GT(SizeofResource(module_, package), 0u);
  EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(114), RT_GROUP_ICON), nullptr);

  HRSRC manifest_found = FindResourceA(module_, MAKEINTRESOURCEA(1), RT_MANIFEST);
  ASSERT_NE(manifest_found, nullptr);
  std::string manifest(static_cast<const char*>(LockResource(LoadResource(module_, manifest_found))),
                       SizeofResource(module_, manifest_found));
  for (const char* part :
       {"name=\"krt-6-windows-i586\"", "version=\"6.0.70.6\"", "processorArchitecture=\"X86\"",
        "type=\"win32\"", "level=\"requireAdministrator\"", "uiAccess=\"false\""}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace kova
