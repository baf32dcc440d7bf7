// Measures what writing and verifying the package costs (a benchmark, not a
// test): extraction_bench.exe [runs] [resource id: 101, the 15.8 MB test
// resource (default), or 102, 20,000 bytes] [an exe whose package resource is
// used instead, loaded as data]. Over that resource it times, per run,
//   full     ExtractResourceToFile: write, close, reopen, compare byte by byte
//   written  the same ended right after the write and close (the reopen refused
//            through the seam), so full - written is the verification's cost
//   digest   the alternative: SHA-256 of the resource (as while writing) and of
//            the file read back, with the system's CryptoAPI
// and prints min / median / max milliseconds of each.
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bootstrap/package_extraction.h"
#include "product/product.h"
#include "platform/os_seam.h"
#include "platform/scoped_os_override.h"

namespace {

int g_resource = 101;
// CALG_SHA_256, which the headers only declare for XP SP3 and later targets.
constexpr ALG_ID kSha256 = 0x0000800c;

HANDLE WINAPI RefuseReopen(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                           DWORD disposition, DWORD flags, HANDLE template_file) {
  if (access == GENERIC_READ) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  return kova::RealOs().CreateFileA(path, access, share, sa, disposition, flags, template_file);
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

bool Sha256(HCRYPTPROV provider, const BYTE* bytes, DWORD size, HANDLE file, BYTE* digest) {
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(provider, kSha256, 0, 0, &hash)) return false;
  bool ok = true;
  if (bytes != nullptr) {
    for (DWORD at = 0; ok && at < size; at += 8192) {
      ok = CryptHashData(hash, bytes + at, std::min<DWORD>(8192, size - at), 0) != 0;
    }
  } else {
    BYTE chunk[8192];
    DWORD read = 0;
    while (ok && ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) {
      ok = CryptHashData(hash, chunk, read, 0) != 0;
    }
  }
  DWORD length = 32;
  ok = ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0);
  CryptDestroyHash(hash);
  return ok;
}

void Print(const char* name, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  std::printf("%-8s %8.1f %8.1f %8.1f\n", name, times.front(), times[times.size() / 2],
              times.back());
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 15;
  if (argc > 2) g_resource = std::atoi(argv[2]);
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  lstrcatA(path, "kova-extraction-bench.msi");
  HMODULE self = GetModuleHandleA(nullptr);
  if (argc > 3) {
    self = LoadLibraryExA(argv[3], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (self == nullptr) {
      std::printf("cannot load %s\n", argv[3]);
      return 1;
    }
  }
  HRSRC resource = FindResourceA(self, MAKEINTRESOURCEA(g_resource), kova::kPackageResourceType);
  const DWORD size = SizeofResource(self, resource);
  const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(self, resource)));
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    std::printf("no SHA-256 provider\n");
    return 1;
  }

  std::vector<double> full, written, digest;
  for (int i = 0; i < runs; ++i) {
    LARGE_INTEGER t0, t1, t2, t3, t4, t5;
    kova::FileHandle held;
    kova::FatalError fatal;
    QueryPerformanceCounter(&t0);
    if (!kova::ExtractResourceToFile(self, g_resource, kova::kPackageResourceType, path, 0,
                                     &held, &fatal)) {
      std::printf("extraction failed: %lu\n", static_cast<unsigned long>(fatal.code));
      return 1;
    }
    QueryPerformanceCounter(&t1);
    held.Close();
    {
      kova::ScopedOsOverride<decltype(kova::OsSeam::CreateFileA)> refuse(
          &kova::OsSeam::CreateFileA, RefuseReopen);
      QueryPerformanceCounter(&t2);
      kova::ExtractResourceToFile(self, g_resource, kova::kPackageResourceType, path, 0,
                                  &held, &fatal);
      QueryPerformanceCounter(&t3);
    }
    BYTE a[32], b[32];
    QueryPerformanceCounter(&t4);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    const bool hashed = Sha256(provider, bytes, size, nullptr, a) &&
                        Sha256(provider, nullptr, 0, file, b) && std::equal(a, a + 32, b);
    CloseHandle(file);
    QueryPerformanceCounter(&t5);
    if (!hashed) {
      std::printf("digest failed\n");
      return 1;
    }
    full.push_back(Milliseconds(t0, t1));
    written.push_back(Milliseconds(t2, t3));
    digest.push_back(Milliseconds(t4, t5));
  }
  CryptReleaseContext(provider, 0);
  DeleteFileA(path);
  std::printf("%lu bytes, %d runs; ms      min   median      max\n",
              static_cast<unsigned long>(size), runs);
  Print("full", full);
  Print("written", written);
  Print("digest", digest);
  return 0;
}
