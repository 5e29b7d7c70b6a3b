// The dialog's verification run on one worker thread: the worker verifies a job's entries in
// order and reports through a notification sink, which the dialog implements with SendMessageW
// of WM_VERIFY_NOTIFY (the sender waits until the dialog has handled it).
#ifndef NOTARIX_VERIFY_WORKER_H
#define NOTARIX_VERIFY_WORKER_H

#include <windows.h>

#include <cstdint>

#include "verify_job.h"
#include "verify_run.h"

class verify_notify_sink {
  public:
    virtual ~verify_notify_sink() = default;
    // One WM_VERIFY_NOTIFY: kind and argument. Returns once the dialog has handled it.
    virtual void notify(WPARAM kind, LPARAM argument) = 0;
    // The worker did not stop within the limit: tell the user.
    virtual void worker_hung() = 0;
};

// The progress argument: entries done in the low 16 bits, entries in the job in the high 16.
// Counts that do not fit are sent as a share of 100, so the bar stays right for any job size.
LPARAM pack_progress(int32_t done, int32_t total);
// The bar position a progress argument gives: done * 100 / total, 0 for an empty job.
int progress_position(LPARAM argument);

// Starts the worker on the job, which then reports to sink. 0, or -1 when no thread could be
// made (the job is left as it was).
int start_verify_worker(verify_job *job, verify_notify_sink *sink);

// The worker's body: opens a context on the job's key file, verifies entry after entry while
// the job runs, and ends with "finished" and the status "Operations completed.". 0, or -1 when
// no context could be opened (the reason was shown as status; only "finished" is sent).
int run_verify_worker(verify_job *job);

// The thread function: run_verify_worker, then the worker lets go of its job.
DWORD WINAPI verify_thread_proc(LPVOID job);

// Asks a running worker to stop after its current entry and waits for it, sending "pump" to
// the sink meanwhile so that a worker blocked in a notification gets it handled. true when the
// worker has ended (or there is none); false after limit_ms, when sink->worker_hung() has been
// called.
bool stop_verify_thread(verify_job *job, DWORD limit_ms = VERIFY_STOP_LIMIT_MS);

#endif
