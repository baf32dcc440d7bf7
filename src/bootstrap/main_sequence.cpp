#include "bootstrap/main_sequence.h"

#include "bootstrap/arguments.h"
#include "bootstrap/command_line.h"
#include "bootstrap/engine.h"
#include "bootstrap/languages_win32.h"
#include "bootstrap/package_extraction.h"
#include "bootstrap/package_path_win32.h"
#include "descriptor/descriptor_fetch.h"
#include "platform/deadline_job.h"
#include "platform/os_seam.h"
#include "platform/wininet_library.h"
#include "product/process_state.h"
#include "product/product.h"
#include "reporting/country_lookup.h"
#include "reporting/http_exchange.h"
#include "reporting/status_report_win32.h"
#include "settings/policy_key.h"
#include "settings/vendor_key.h"
#include "text/bounded_text.h"

namespace kova {

namespace {

// Engine exit codes that mean the install succeeded (3010, 1641: a restart is needed or under way).
bool IsSuccessfulInstall(int32_t exit_code) {
  return exit_code == ERROR_SUCCESS || exit_code == ERROR_SUCCESS_REBOOT_REQUIRED ||
         exit_code == ERROR_SUCCESS_REBOOT_INITIATED;
}

// A network step run on a worker thread against its own copy of the run's
// state (see RunNetworkStep).
struct NetworkStep {
  DeadlineJob job;
  NetworkDialogs dialogs;
  int32_t exit_code;  // the report's
  bool fetched;       // the descriptor step's answer
  ProcessState state;
};

// The label of the fatal error of a run that finds another at work (see
// fatal_message.h).
constexpr char kRunGuardLabel[] = "CreateMutex ";

NetworkStep* StepOf(DeadlineJob* job) { return reinterpret_cast<NetworkStep*>(job); }

void FetchDescriptorStep(DeadlineJob* job) {
  NetworkStep* step = StepOf(job);
  step->fetched = FetchUpdateDescriptor(&step->state);
}

void LookUpCountryStep(DeadlineJob* job) {
  NetworkStep* step = StepOf(job);
  LookupCountry(step->state.country_lookup_url, step->state.country, step->dialogs);
}

void ReportStep(DeadlineJob* job) {
  NetworkStep* step = StepOf(job);
  PostInstallStatus(step->state.post_status_url, kInstallMethod, "ic", step->state.country,
                    kRuntimeBuild, step->exit_code, step->dialogs);
}

// Runs a network step on a worker thread against a copy of *state and waits
// for it until the exchange deadline. In time, *state takes what the step
// wrote, and the answer is whether the step fetched; else (or when WinINet or
// the thread cannot be had) *state stays as it was, as after a failed
// exchange, and the answer is false. The worker owns its copy; once given
// up, nothing of it is read. WinINet is loaded here, on this thread, before
// any worker runs.
bool RunNetworkStep(void (*run)(DeadlineJob*), ProcessState* state, NetworkDialogs dialogs,
                    int32_t exit_code) {
  if (LoadWinInet() == nullptr) return false;
  NetworkStep* step = StepOf(NewDeadlineJob(sizeof(NetworkStep), run));
  if (step == nullptr) return false;
  step->dialogs = dialogs;
  step->exit_code = exit_code;
  step->state = *state;
  if (!RunBeforeDeadline(&step->job, kExchangeDeadlineMs)) return false;
  *state = step->state;
  const bool fetched = step->fetched;
  ReleaseDeadlineJob(&step->job);
  return fetched;
}

// True when another run of this bootstrapper in this session holds the
// guard. The guard is then left alone; otherwise this run holds it until the
// process ends. A system that cannot make the guard (one without session
// namespaces) runs unguarded, as before.
bool IsAnotherRunActive() {
  // The guard's name holds the product's version: "Local\krt1.6.0_07". In
  // the session's own namespace ("Local\"): a global name could be taken by
  // any other user of the machine to block every install on it.
  char name[32];
  TextFormat(name, sizeof name, "Local\\%s%s", kRuntimeShortName, kRuntimeVersion);
  // The handle is never closed: the guard is held until the process ends.
  CreateMutexA(nullptr, FALSE, name);
  // Another run's guard: it exists already, or (made with other rights) it
  // exists and cannot be opened. A new guard leaves the error 0.
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
}

// Ends the run with a fatal error: the box (unless silent), then the code.
int32_t EndWith(const FatalError& fatal, bool silent) {
  if (!silent) ShowFatalError(fatal);
  return static_cast<int32_t>(fatal.code);
}

// Deletes the values a finished run must not leave behind.
void CleanUp() {
  UpdateInstallStatus();
  SetPolicyString("VisitorId", nullptr);
  SetPolicyString("Method", nullptr);
}

}  // namespace

int32_t RunMainSequence(HINSTANCE instance, int argc, char** argv) {
  ProcessState state{};
  state.transform_language = GetDefaultTransformLanguage();

  int32_t exit_code = kExitNoPackageOrNoEngineRun;
  bool silent = false;
  ArgumentText argument_text{};
  char command_line[kCommandLineSize];
  char install_status[512];

  TranslateArguments(argc, argv, &argument_text, &silent, &state.transform_language);
  // One run at a time: a second one touches nothing and says so with the
  // code deployment tools take for "retry later".
  if (IsAnotherRunActive()) {
    return EndWith(FatalError{kRunGuardLabel, ERROR_INSTALL_ALREADY_RUNNING}, silent);
  }
  UpdateInstallStatus();

  // A silent install shows nothing (nobody may be there to click), so its
  // exit code alone says what happened.
  if (!IsInstallerEngineSufficient()) {
    if (silent) return kExitEngineInsufficient;
    char message[1024];
    if (LoadStringA(instance, kEngineMessageStringId, message, sizeof message) <= 0) {
      message[0] = '\0';
    }
    Os().MessageBoxA(nullptr, message, "", MB_ICONERROR);
    return kExitEngineInsufficient;
  }

  VersionCache version_cache;
  PackageLocation location;
  const DWORD folder_error = GetPackagePath(&location, &version_cache);
  // The verified package, open for reading and shared with readers only: held
  // until the last engine run has returned, so nobody can change it meanwhile.
  FileHandle package;
  const Extraction extraction =
      ExtractResourceToFile(instance, kPackageResourceId, location, folder_error, &package);
  if (extraction.fatal.label != nullptr) return EndWith(extraction.fatal, silent);
  if (!extraction.written) {
    CleanUp();
    return exit_code;
  }

  // Best effort: neither step can stop the install. A silent install never
  // asks the user anything, not even for a proxy's credentials.
  const NetworkDialogs dialogs = silent ? NetworkDialogs::kNever : NetworkDialogs::kAllowed;
  // Each exchange has a deadline, however its peer paces its bytes.
  GetDescriptorLanguageTag(state.language_tag, sizeof state.language_tag);
  if (!RunNetworkStep(FetchDescriptorStep, &state, dialogs, 0)) state.descriptor_fetched = 0;
  if (state.reporting || state.descriptor_fetched) {
    RunNetworkStep(LookUpCountryStep, &state, dialogs, 0);
  }

  if (!GetMsiexecPath(state.msiexec_path, sizeof state.msiexec_path)) {
    return kExitMsiexecNotFound;
  }

  FinishArgumentText(&argument_text, silent, state.reporting, kInstallMethod);
  // The engine is given the held, verified file by its final path, which no
  // link can re-point later (and on Windows the held handle keeps each folder
  // of it from being renamed); before Vista, by the path as built.
  if (FormatCommandLine(command_line, sizeof command_line, state.msiexec_path, location.file,
                        state.transform_language, argument_text)) {
    // Before each start: the name the engine opens must open the file held.
    for (int run = 0; run < 2; ++run) {
      if (CheckPackageIdentity(location.file, package.Get()) != 0) {
        return EndWith(FatalError{kCreateFileLabel, ERROR_CANT_ACCESS_FILE}, silent);
      }
      exit_code = RunAndWait(command_line, state);
      // The package asks for one more run by leaving "reinstall" (exactly so)
      // behind. ReadVendorValue leaves a text or an empty buffer either way.
      if (run != 0) break;
      ReadVendorValue("InstallStatus", install_status, sizeof install_status);
      if (!TextEquals(install_status, "reinstall")) break;
      UpdateInstallStatus();
    }
  }
  package.Close();

  if (state.reporting && !IsSuccessfulInstall(exit_code)) {
    RunNetworkStep(ReportStep, &state, dialogs, exit_code);
  }

  CleanUp();
  return exit_code;
}

}  // namespace kova
