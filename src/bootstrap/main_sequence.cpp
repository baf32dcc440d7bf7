#include "bootstrap/main_sequence.h"

#include "bootstrap/command_line.h"
#include "bootstrap/engine.h"
#include "bootstrap/package_extraction.h"
#include "bootstrap/process_state.h"
#include "bootstrap/product.h"
#include "platform/os_seam.h"
#include "text/bounded_text.h"

namespace kova {

int32_t RunMainSequence(HINSTANCE instance, int argc, char** argv) {
  ProcessState& state = State();
  int32_t exit_code = kExitNoPackageOrNoEngineRun;
  char install_method[20];
  ArgumentText argument_text{};
  char package_path[kPathSize];
  char command_line[kCommandLineSize];

  TextCopy(state.country, sizeof state.country, "YY");
  TextCopy(install_method, sizeof install_method, kInstallMethod);

  if (!IsInstallerEngineSufficient()) {
    char message[1024];
    if (LoadStringA(instance, kEngineMessageStringId, message, sizeof message) <= 0) {
      message[0] = '\0';
    }
    Os().MessageBoxA(nullptr, message, "", MB_ICONERROR);
    return kExitEngineInsufficient;
  }

  GetPackagePath(package_path);
  if (!ExtractResourceToFile(instance, kPackageResourceId, kPackageResourceType, package_path)) {
    return exit_code;
  }

  if (!GetMsiexecPath(state.msiexec_path, sizeof state.msiexec_path)) {
    return kExitMsiexecNotFound;
  }

  if (FormatCommandLine(command_line, sizeof command_line, state.msiexec_path, package_path,
                        state.transform_language, argument_text)) {
    exit_code = RunAndWait(command_line);
  }
  return exit_code;
}

}  // namespace kova
