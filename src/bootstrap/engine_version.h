// The oldest Windows Installer engine the package can use: file version 2.0.2600.0.
#pragma once

#include <cstdint>

namespace kova {

// Halves of a file version as VS_FIXEDFILEINFO holds them: major<<16|minor, build<<16|revision.
constexpr uint32_t kMinEngineVersionMS = 0x00020000u;  // 2.0
constexpr uint32_t kMaxTooOldEngineVersionLS = 0x0A27FFFFu;  // build 2599, revision 65535

// True for 2.0.2600.0 and every later version (unsigned comparison of both halves).
bool IsEngineVersionSufficient(uint32_t version_ms, uint32_t version_ls);

}  // namespace kova
