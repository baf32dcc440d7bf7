#include "bootstrap/main_sequence.h"

#include "bootstrap/arguments.h"
#include "bootstrap/command_line.h"
#include "bootstrap/engine.h"
#include "bootstrap/languages_win32.h"
#include "bootstrap/package_extraction.h"
#include "product/process_state.h"
#include "product/product.h"
#include "descriptor/descriptor_fetch.h"
#include "platform/os_seam.h"
#include "reporting/country_lookup.h"
#include "reporting/status_report_win32.h"
#include "settings/registry_settings.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// Engine exit codes that mean the install succeeded (3010, 1641: a restart is needed or under way).
bool IsSuccessfulInstall(int32_t exit_code) {
  return exit_code == ERROR_SUCCESS || exit_code == ERROR_SUCCESS_REBOOT_REQUIRED ||
         exit_code == ERROR_SUCCESS_REBOOT_INITIATED;
}

// Deletes the values a finished run must not leave behind.
void CleanUp() {
  UpdateInstallStatus();
  SetPolicyString("VisitorId", nullptr);
  SetPolicyString("Method", nullptr);
}

}  // namespace

int32_t RunMainSequence(HINSTANCE instance, int argc, char** argv, FatalError* fatal) {
  ProcessState state{};
  state.transform_language = GetDefaultTransformLanguage();

  int32_t exit_code = kExitNoPackageOrNoEngineRun;
  int silent = 0;
  ArgumentText argument_text{};
  char package_path[kPathSize];
  char command_line[kCommandLineSize];
  char install_status[512];

  UpdateInstallStatus();
  TranslateArguments(argc, argv, &argument_text, &silent, &state.transform_language);

  if (!IsInstallerEngineSufficient()) {
    char message[1024];
    if (LoadStringA(instance, kEngineMessageStringId, message, sizeof message) <= 0) {
      message[0] = '\0';
    }
    Os().MessageBoxA(nullptr, message, "", MB_ICONERROR);
    return kExitEngineInsufficient;
  }

  VersionCache version_cache;
  const DWORD folder_error = GetPackagePath(package_path, &version_cache);
  // The verified package, open for reading and shared with readers only: held
  // until the last engine run has returned, so nobody can change it meanwhile.
  FileHandle package;
  if (!ExtractResourceToFile(instance, kPackageResourceId, kPackageResourceType, package_path,
                             folder_error, &package, fatal)) {
    if (fatal->label != nullptr) return 0;  // the entry point shows it and ends the process
    CleanUp();
    return exit_code;
  }

  // Best effort: neither step can stop the install. A silent install never
  // asks the user anything, not even for a proxy's credentials.
  const NetworkDialogs dialogs = silent ? NetworkDialogs::kNever : NetworkDialogs::kAllowed;
  GetDescriptorLanguageTag(state.language_tag, sizeof state.language_tag);
  if (!FetchUpdateDescriptor(&state)) state.descriptor_fetched = 0;
  if (state.reporting || state.descriptor_fetched) {
    LookupCountry(state.country_lookup_url, state.country, dialogs);
  }

  if (!GetMsiexecPath(state.msiexec_path, sizeof state.msiexec_path)) {
    return kExitMsiexecNotFound;
  }

  FinishArgumentText(&argument_text, silent, state.reporting, kInstallMethod);
  if (FormatCommandLine(command_line, sizeof command_line, state.msiexec_path, package_path,
                        state.transform_language, argument_text)) {
    exit_code = RunAndWait(command_line, state);

    // The package asks for one more run by leaving "reinstall" (exactly so)
    // behind. ReadVendorValue leaves a text or an empty buffer either way.
    ReadVendorValue("InstallStatus", install_status, sizeof install_status);
    if (TextEquals(install_status, "reinstall")) {
      UpdateInstallStatus();
      exit_code = RunAndWait(command_line, state);
    }
  }
  package.Close();

  if (state.reporting && !IsSuccessfulInstall(exit_code)) {
    PostInstallStatus(state.post_status_url, kInstallMethod, "ic", state.country, kRuntimeBuild,
                      exit_code, dialogs);
  }

  CleanUp();
  return exit_code;
}

}  // namespace kova
