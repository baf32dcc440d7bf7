// The product's fixed names and sizes, below every layer that uses them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

constexpr const char kRuntimeVersion[] = "1.6.0_07";
constexpr const char kRuntimeBuild[] = "1.6.0_07-b06";
constexpr const char kRuntimeShortName[] = "krt";
constexpr const char kMakerFolder[] = "Orvo";
constexpr const char kProductFolder[] = "Kova";
constexpr const char kInstallMethod[] = "koff";

// The package resource in the exe.
constexpr int kPackageResourceId = 101;
constexpr const char kPackageResourceType[] = "KOVA_INSTALLER";
// The engine message in the string table.
constexpr int kEngineMessageStringId = 4;

// The package's own language (English), which needs no transform.
constexpr uint16_t kBaseTransformLanguage = 1033;
// A path is at most MAX_PATH units, terminator included.
constexpr size_t kPathSize = 260;
// Bytes of a path text buffer (platform/path_text.h): a path of kPathSize - 1
// UTF-16 units takes at most three bytes a unit in UTF-8, plus a final
// path's "\\?\" and the NUL.
constexpr size_t kPathTextSize = 3 * (kPathSize + 4) + 1;

}  // namespace kova
