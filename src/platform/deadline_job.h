// A job run on a worker thread that the caller waits for only until a
// deadline. A synchronous WinINet call waits for as long as a peer paces its
// bytes (each time-out bounds one single wait, and closing the handle from
// another thread does not end the call under Wine), so an exchange that must
// end in time runs here: at the deadline the caller goes on without it.
#pragma once

#include <windows.h>

namespace kova {

// The head of a job block: the job's own record starts with it. The block
// comes from NewDeadlineJob and is shared by the caller and the worker
// (owners counts them); whoever lets go last frees it, so a worker that the
// caller stopped waiting for never writes into freed or reused memory, and
// the caller never reads what such a worker writes.
struct DeadlineJob {
  LONG owners;
  void (*run)(DeadlineJob* job);
};

// A zero-filled block of size bytes (a record that starts with DeadlineJob),
// owned by the caller, that runs run; null when no memory is left.
DeadlineJob* NewDeadlineJob(size_t size, void (*run)(DeadlineJob* job));

// Runs job->run(job) on a worker thread and waits for it at most
// milliseconds. True when it finished in time: the block is the caller's
// again, to read and then to release. False when it did not finish in time
// or no thread could be started: the block is no longer the caller's, who
// must not touch it again.
bool RunBeforeDeadline(DeadlineJob* job, DWORD milliseconds);

// Gives up the caller's share of the block (null: nothing).
void ReleaseDeadlineJob(DeadlineJob* job);

}  // namespace kova
