#include "bootstrap/main_sequence.h"

#include "bootstrap/arguments.h"
#include "bootstrap/command_line.h"
#include "bootstrap/engine.h"
#include "bootstrap/languages.h"
#include "bootstrap/package_extraction.h"
#include "bootstrap/process_state.h"
#include "bootstrap/product.h"
#include "platform/os_seam.h"
#include "settings/registry_settings.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// Deletes the values a finished run must not leave behind.
void CleanUp() {
  UpdateInstallStatus();
  SetPolicyString("VisitorId", nullptr);
  SetPolicyString("Method", nullptr);
}

}  // namespace

int32_t RunMainSequence(HINSTANCE instance, int argc, char** argv) {
  ProcessState& state = State();
  state.transform_language = GetDefaultTransformLanguage();

  int32_t exit_code = kExitNoPackageOrNoEngineRun;
  int silent = 0;
  ArgumentText argument_text{};
  char install_method[20];
  char package_path[kPathSize];
  char command_line[kCommandLineSize];
  char install_status[512];

  UpdateInstallStatus();
  TextCopy(state.country, sizeof state.country, "YY");
  TextCopy(install_method, sizeof install_method, kInstallMethod);
  TranslateArguments(argc, argv, &argument_text, &silent, &state.transform_language);

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
    CleanUp();
    return exit_code;
  }

  if (!GetMsiexecPath(state.msiexec_path, sizeof state.msiexec_path)) {
    return kExitMsiexecNotFound;
  }

  FinishArgumentText(&argument_text, silent, state.reporting, install_method);
  if (FormatCommandLine(command_line, sizeof command_line, state.msiexec_path, package_path,
                        state.transform_language, argument_text)) {
    exit_code = RunAndWait(command_line);

    // The package asks for one more run by leaving "reinstall" (exactly so) behind.
    install_status[0] = '\0';
    ReadVendorValue("InstallStatus", install_status, sizeof install_status);
    if (TextEquals(install_status, "reinstall")) {
      UpdateInstallStatus();
      exit_code = RunAndWait(command_line);
    }
  }

  CleanUp();
  return exit_code;
}

}  // namespace kova
