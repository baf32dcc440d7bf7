#include "platform/deadline_job.h"

namespace kova {

namespace {

DWORD WINAPI RunJob(LPVOID parameter) {
  DeadlineJob* job = static_cast<DeadlineJob*>(parameter);
  job->run(job);
  ReleaseDeadlineJob(job);
  return 0;
}

}  // namespace

DeadlineJob* NewDeadlineJob(size_t size, void (*run)(DeadlineJob* job)) {
  DeadlineJob* job = static_cast<DeadlineJob*>(LocalAlloc(LPTR, size));
  if (job != nullptr) {
    job->owners = 1;
    job->run = run;
  }
  return job;
}

void ReleaseDeadlineJob(DeadlineJob* job) {
  if (job != nullptr && InterlockedDecrement(&job->owners) == 0) LocalFree(job);
}

bool RunBeforeDeadline(DeadlineJob* job, DWORD milliseconds) {
  if (job == nullptr) return false;
  job->owners = 2;  // the caller and the worker
  HANDLE thread = CreateThread(nullptr, 0, RunJob, job, 0, nullptr);
  if (thread == nullptr) {
    job->owners = 1;
    ReleaseDeadlineJob(job);
    return false;
  }
  const bool finished = WaitForSingleObject(thread, milliseconds) == WAIT_OBJECT_0;
  // Closing the handle leaves a running worker running; it ends with the process.
  CloseHandle(thread);
  if (!finished) ReleaseDeadlineJob(job);
  return finished;
}

}  // namespace kova
