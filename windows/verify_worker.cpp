#include "verify_worker.h"

namespace {

constexpr wchar_t kCompleted[] = L"Operations completed.";
constexpr int32_t kPackedMax = 0xFFFF;

LONG job_state(verify_job *job) {
    return InterlockedCompareExchange(&job->state, 0, 0);
}

// A notification to whoever listens; the sink pointer is read once per call.
void send(verify_job *job, WPARAM kind, LPARAM argument) {
    verify_notify_sink *sink = job_sink(job);
    if (sink != nullptr) {
        sink->notify(kind, argument);
    }
}

// Entry after entry while the job runs; stops at the first pair that cannot be verified.
void verify_entries(verify_job *job, PELLAX_VRF_CTX *ctx, const PELLAX_VERIFY_FUNCS *funcs) {
    for (int32_t i = 0; job_state(job) == JOB_RUNNING; ++i) {
        verify_entry *entry = nullptr;
        int32_t count = 0;
        {
            job_lock_guard hold(job);
            count = job->count;
            if (i < count) {
                entry = &job->entries[i];
            }
        }
        if (entry == nullptr || verify_one_entry(ctx, funcs, entry) != 0) {
            return;
        }
        entry->progress = 100;
        if (job_state(job) != JOB_RUNNING) {
            return;
        }
        send(job, VERIFY_NOTIFY_ENTRY_DONE, reinterpret_cast<LPARAM>(entry));
        if (job_state(job) != JOB_RUNNING) {
            return;
        }
        send(job, VERIFY_NOTIFY_PROGRESS, pack_progress(i + 1, count));
    }
}

}  // namespace

LPARAM pack_progress(int32_t done, int32_t total) {
    if (total <= 0 || done < 0) {
        return 0;
    }
    if (total > kPackedMax) {
        done = static_cast<int32_t>(static_cast<int64_t>(done) * 100 / total);
        total = 100;
    }
    return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(done), static_cast<WORD>(total)));
}

int progress_position(LPARAM argument) {
    unsigned done = LOWORD(static_cast<DWORD>(argument));
    unsigned total = HIWORD(static_cast<DWORD>(argument));
    return total == 0 ? 0 : static_cast<int>(done * 100 / total);
}

int start_verify_worker(verify_job *job, verify_notify_sink *sink) {
    set_job_sink(job, sink);
    retain_verify_job(job);
    // Suspended until the job knows its thread, so every holder sees the handle.
    HANDLE thread = CreateThread(nullptr, 0, verify_thread_proc, job, CREATE_SUSPENDED, nullptr);
    if (thread == nullptr) {
        drop_verify_job(job);
        set_job_sink(job, nullptr);
        return -1;
    }
    job->thread = thread;
    ResumeThread(thread);
    return 0;
}

int run_verify_worker(verify_job *job) {
    int rc = 0;
    // A stop asked for before the worker got going is kept: nothing is verified then.
    if (InterlockedCompareExchange(&job->state, JOB_RUNNING, JOB_NOT_STARTED) == JOB_NOT_STARTED) {
        PELLAX_VRF_CTX *ctx = nullptr;
        PELLAX_VERIFY_FUNCS funcs;
        if (open_verify_context(&ctx, &funcs, job->key_path) != 0) {
            rc = -1;
        } else {
            verify_entries(job, ctx, &funcs);
            funcs.vrf_ctx_free(ctx);
        }
    }
    InterlockedCompareExchange(&job->state, JOB_FINISHED, JOB_RUNNING);
    send(job, VERIFY_NOTIFY_FINISHED, 0);
    // A run whose key could not be loaded is not reported as completed.
    if (rc == 0) {
        send(job, VERIFY_NOTIFY_STATUS, reinterpret_cast<LPARAM>(kCompleted));
    }
    return rc;
}

DWORD WINAPI verify_thread_proc(LPVOID job) {
    verify_job *own = static_cast<verify_job *>(job);
    int rc = run_verify_worker(own);
    drop_verify_job(own);
    return static_cast<DWORD>(rc);
}

bool stop_verify_thread(verify_job *job, DWORD limit_ms) {
    if (job == nullptr || job->thread == nullptr) {
        return true;
    }
    if (InterlockedCompareExchange(&job->state, JOB_STOP_REQUESTED, JOB_RUNNING) ==
        JOB_NOT_STARTED) {
        InterlockedCompareExchange(&job->state, JOB_STOP_REQUESTED, JOB_NOT_STARTED);
    }
    DWORD start = GetTickCount();
    for (;;) {
        send(job, VERIFY_NOTIFY_PUMP, 0);
        if (GetTickCount() - start > limit_ms) {
            verify_notify_sink *sink = job_sink(job);
            if (sink != nullptr) {
                sink->worker_hung();
            }
            return false;
        }
        if (WaitForSingleObject(job->thread, 1) == WAIT_OBJECT_0) {
            return true;
        }
    }
}
