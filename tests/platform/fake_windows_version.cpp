#include "platform/fake_windows_version.h"

namespace kova {
namespace test {
namespace {

FakeWindowsVersion g_version{VER_PLATFORM_WIN32_NT, 6, 1};
std::vector<DWORD> g_sizes;

BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA info) {
  g_sizes.push_back(info->dwOSVersionInfoSize);
  const bool ex = info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA);
  if (g_version.fails || (ex && g_version.ex_fails)) return FALSE;
  info->dwMajorVersion = g_version.major;
  info->dwMinorVersion = g_version.minor;
  info->dwBuildNumber = 1;
  info->dwPlatformId = g_version.platform;
  lstrcpynA(info->szCSDVersion, g_version.csd, sizeof info->szCSDVersion);
  if (ex) reinterpret_cast<OSVERSIONINFOEXA*>(info)->wProductType = g_version.product_type;
  return TRUE;
}

}  // namespace

ScopedWindowsVersion::ScopedWindowsVersion(const FakeWindowsVersion& version)
    : override_(&OsSeam::GetVersionExA, FakeGetVersionExA) {
  Set(version);
}

void ScopedWindowsVersion::Set(const FakeWindowsVersion& version) {
  g_version = version;
  g_sizes.clear();
}

const std::vector<DWORD>& ScopedWindowsVersion::StructureSizes() { return g_sizes; }

}  // namespace test
}  // namespace kova
