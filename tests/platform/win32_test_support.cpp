#include "platform/win32_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os_seam.h"

namespace kova {
namespace test {

namespace {

MessageBoxRecorder* g_recorder = nullptr;

int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT style) {
  ++g_recorder->boxes;
  g_recorder->text = text != nullptr ? text : "";
  g_recorder->caption = caption != nullptr ? caption : "";
  g_recorder->style = style;
  return IDOK;
}

HMODULE WINAPI RecordingLoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags) {
  LibraryRecorder::loaded.push_back(path);
  if (flags != LOAD_WITH_ALTERED_SEARCH_PATH) ++LibraryRecorder::other_flags;
  return RealOs().LoadLibraryExA(path, file, flags);
}

BOOL WINAPI CountingFreeLibrary(HMODULE module) {
  ++LibraryRecorder::frees;
  return RealOs().FreeLibrary(module);
}

}  // namespace

std::vector<std::string> LibraryRecorder::loaded;
int LibraryRecorder::frees = 0;
int LibraryRecorder::other_flags = 0;

LibraryRecorder::LibraryRecorder() {
  if (Os().LoadLibraryExA != RealOs().LoadLibraryExA ||
      Os().FreeLibrary != RealOs().FreeLibrary) {
    std::abort();  // already steered by another recorder or override
  }
  Clear();
  Os().LoadLibraryExA = RecordingLoadLibraryExA;
  Os().FreeLibrary = CountingFreeLibrary;
}

LibraryRecorder::~LibraryRecorder() {
  Os().LoadLibraryExA = RealOs().LoadLibraryExA;
  Os().FreeLibrary = RealOs().FreeLibrary;
}

void LibraryRecorder::Clear() {
  loaded.clear();
  frees = 0;
  other_flags = 0;
}

MessageBoxRecorder::MessageBoxRecorder() {
  if (g_recorder != nullptr) std::abort();
  g_recorder = this;
  Os().MessageBoxA = RecordMessageBox;
}

MessageBoxRecorder::~MessageBoxRecorder() {
  Os().MessageBoxA = RealOs().MessageBoxA;
  g_recorder = nullptr;
}

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  static int counter = 0;
  char name[MAX_PATH];
  std::snprintf(name, sizeof name, "%skova-test-%lu-%d", temp, GetCurrentProcessId(), ++counter);
  path_ = name;
  RemoveTree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

std::string ThisExe() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

HANDLE StartTestProcess(const std::string& exe, const std::string& filter) {
  std::string command = "\"" + exe + "\" --gtest_filter=" + filter;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  PROCESS_INFORMATION process;
  const BOOL started = CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(nul);
  if (!started) return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

DWORD FinishTestProcess(HANDLE process) {
  DWORD code = 1;
  if (WaitForSingleObject(process, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  bytes->clear();
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes->append(chunk, n);
  std::fclose(f);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

ScopedRegistryValue::ScopedRegistryValue(const char* key_path, const char* name)
    : key_path_(key_path), name_(name) {
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                      &disposition) != ERROR_SUCCESS) {
    key_ = nullptr;
    return;
  }
  created_key_ = disposition == REG_CREATED_NEW_KEY;
  DWORD size = 0;
  if (RegQueryValueExA(key_, name, nullptr, &saved_type_, nullptr, &size) == ERROR_SUCCESS) {
    saved_.resize(size);
    had_value_ = RegQueryValueExA(key_, name, nullptr, &saved_type_,
                                  reinterpret_cast<BYTE*>(&saved_[0]), &size) == ERROR_SUCCESS;
    saved_.resize(size);
  }
}

ScopedRegistryValue::~ScopedRegistryValue() {
  if (key_ == nullptr) return;
  if (had_value_) {
    Set(saved_type_, saved_);
  } else {
    Delete();
  }
  RegCloseKey(key_);
  if (created_key_) RegDeleteKeyA(HKEY_LOCAL_MACHINE, key_path_.c_str());
}

bool ScopedRegistryValue::Set(DWORD type, const std::string& data) {
  return key_ != nullptr &&
         RegSetValueExA(key_, name_.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

void ScopedRegistryValue::Delete() {
  if (key_ != nullptr) RegDeleteValueA(key_, name_.c_str());
}

void CleanProductKeys::Delete() {
  DeleteRegistryTree(HKEY_LOCAL_MACHINE, "Software\\KovaSoft");
  DeleteRegistryTree(HKEY_CURRENT_USER, "SOFTWARE\\KovaSoft");
}

std::string SystemDirectory() {
  char dir[MAX_PATH];
  GetSystemDirectoryA(dir, sizeof dir);
  return dir;
}

void DeleteRegistryTree(HKEY root, const char* path) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  char child[256];
  DWORD size = sizeof child;
  // Always the first subkey: each pass deletes it, so the list shrinks.
  while (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS) {
    DeleteRegistryTree(key, child);
    size = sizeof child;
  }
  RegCloseKey(key);
  RegDeleteKeyA(root, path);
}

bool RegistryKeyExists(HKEY root, const char* path) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ReadRegistryValue(HKEY root, const char* path, const char* name, DWORD* type,
                       std::string* data) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG status = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    std::string bytes(size + 1, '\0');
    status = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(&bytes[0]),
                              &size);
    bytes.resize(size);
    *data = bytes;
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool WriteRegistryValue(HKEY root, const char* path, const char* name, DWORD type,
                        const std::string& data, size_t length) {
  if (length > data.size()) length = data.size();
  HKEY key;
  if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  LONG status = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(length));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

DWORD WINAPI RealGetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags) {
  using Fn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static const Fn real = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
  return real(file, path, size, flags);
}

}  // namespace test
}  // namespace kova
