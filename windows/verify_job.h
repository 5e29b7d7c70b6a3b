// The verification job both Windows modes build: (signed file, signature file) entries paired by
// name, and the pairing rules. Paths arrive wide; the job keeps them in the ANSI code page, the
// form the library and the file stream take.
#ifndef NOTARIX_VERIFY_JOB_H
#define NOTARIX_VERIFY_JOB_H

#include <windows.h>

#include <cstdint>
#include <string>

#include "pellax_types.h"

// Characters (wide) or bytes (ANSI) of every path buffer, terminator included.
constexpr int JOB_PATH_CHARS = MAX_PATH;
constexpr int ENTRY_FINGERPRINT_BYTES = 32;
constexpr int ENTRY_MESSAGE_CHARS = 200;
constexpr int JOB_FIRST_CAPACITY = 32;
constexpr DWORD JOB_LOCK_SPIN_COUNT = 1024;
// A signed file has at most one signature per suffix.
constexpr int SIGNATURE_SUFFIX_COUNT = 3;
extern const wchar_t *const kSignatureSuffixes[SIGNATURE_SUFFIX_COUNT];  // ".sig" ".asc" ".pgp"

// Result bits of a command-line run.
enum {
    JOB_FLAG_GOOD = 1,      // at least one good signature
    JOB_FLAG_LEFT_OUT = 2,  // a named file was not verified (missing, partner missing, not added)
    JOB_FLAG_INVALID = 4    // an invalid signature, or a directory could not be listed
};

// verify_entry::result
enum { ENTRY_NOT_DECIDED = 0, ENTRY_GOOD = 1, ENTRY_WARNING = 2, ENTRY_FAILED = 3 };

// verify_job::state, the worker's run state
enum { JOB_NOT_STARTED = 0, JOB_RUNNING = 1, JOB_STOP_REQUESTED = 2, JOB_FINISHED = 3 };

// How long a release waits for a worker to stop before it warns and leaves the job to it.
constexpr DWORD VERIFY_STOP_LIMIT_MS = 60000;

class verify_notify_sink;

struct verify_entry {
    int32_t id;  // the list row's item data in the dialog, 0 on the command line
    char source_path[JOB_PATH_CHARS];
    char signature_path[JOB_PATH_CHARS];
    int32_t progress;  // 100 once verified
    int32_t result;
    PX_BYTE fingerprint[ENTRY_FINGERPRINT_BYTES];
    PX_ULONG fingerprint_len;
    wchar_t message[ENTRY_MESSAGE_CHARS];
};

struct verify_job {
    HANDLE thread;          // the worker working on this job, if any
    CRITICAL_SECTION lock;  // guards entries and count
    volatile LONG state;
    char key_path[JOB_PATH_CHARS];  // empty when the path had no ANSI form
    verify_entry *entries;
    int32_t count;
    int32_t capacity;
    uint32_t flags;
    // Where a dialog run's worker reports; null when no one listens any more.
    verify_notify_sink *volatile sink;
    // Holders of the job: its creator, and its worker while that runs. The last one frees it,
    // so a worker that outlives the stop limit never works on freed memory.
    volatile LONG refs;
};

// Null for a missing or empty key path, or when memory or the lock cannot be had.
verify_job *create_verify_job(const wchar_t *key_path);

// Appends an entry; the caller holds the job's lock. -1 (count unchanged) when memory runs out
// or a path has no ANSI form of 1 to 258 bytes within 259 wide characters.
int add_verify_entry(verify_job *job, int id, const wchar_t *source_path,
                     const wchar_t *signature_path);

// Asks the job's worker, if any, to stop and waits for it (stop_verify_thread, which keeps
// serving the worker's notifications) at most stop_limit_ms; then the creator lets go of the
// job. A worker still running after the limit reports to no one and frees the job when it ends.
// The worker's thread handle is closed with the job. Null does nothing.
void release_verify_job(verify_job *job, DWORD stop_limit_ms = VERIFY_STOP_LIMIT_MS);

// Another holder of the job (a worker about to start); it lets go with drop_verify_job.
void retain_verify_job(verify_job *job);
// Lets go of the job; the last holder frees it.
void drop_verify_job(verify_job *job);

// The job's listener, read and changed atomically: the worker reads it for every notification.
verify_notify_sink *job_sink(verify_job *job);
void set_job_sink(verify_job *job, verify_notify_sink *sink);

// Scoped hold of a job's lock.
class job_lock_guard {
  public:
    explicit job_lock_guard(verify_job *job) : job_(job) { EnterCriticalSection(&job_->lock); }
    ~job_lock_guard() { LeaveCriticalSection(&job_->lock); }
    job_lock_guard(const job_lock_guard &) = delete;
    job_lock_guard &operator=(const job_lock_guard &) = delete;

  private:
    verify_job *job_;
};

// A wide path in the ANSI code page: false unless it has fewer than 260 characters and its
// ANSI form 1 to 258 bytes. out is left empty on failure.
bool to_ansi_path(const wchar_t *path, char (&out)[JOB_PATH_CHARS]);

// Whether the text after the path's last "." is exactly "sig", "asc" or "pgp".
bool is_signature_file_w(const wchar_t *path);

// The name (without directory) of the signed file of a signature: the path without its last
// extension, when that is an existing file and no directory.
bool find_source_file(const wchar_t *signature_path, wchar_t (&name)[JOB_PATH_CHARS]);

// The names of the signature files beside a signed file, in suffix order; unused slots are
// left empty. false when there is none (or the path is too long to take a suffix).
bool find_signature_files(const wchar_t *source_path,
                          wchar_t (&names)[SIGNATURE_SUFFIX_COUNT][JOB_PATH_CHARS]);

// directory + "\" + name; -1 (out empty) when the result would exceed 256 characters.
int join_path(const wchar_t *directory, const wchar_t *name, wchar_t (&out)[JOB_PATH_CHARS]);

// A walked folder whose path has this many characters or more is passed over.
constexpr size_t WALK_FOLDER_LIMIT = 257;

// Whether a folder listing's entry is "." or "..".
bool is_dot_entry(const wchar_t *name);

// Closes a FindFirstFileW listing when the walk leaves it, on every path.
class find_guard {
  public:
    explicit find_guard(HANDLE find) : find_(find) {}
    ~find_guard() {
        if (find_ != INVALID_HANDLE_VALUE) {
            FindClose(find_);
        }
    }
    find_guard(const find_guard &) = delete;
    find_guard &operator=(const find_guard &) = delete;

  private:
    HANDLE find_;
};

// The name part of a path: after the last "\" or, failing that, the last "/".
const wchar_t *path_name_part(const wchar_t *path);

// Upper-case hex pairs with a space after every fourth byte; after the last one too when
// space_after_last.
std::string fingerprint_text(const PX_BYTE *fingerprint, PX_ULONG length, bool space_after_last);

// Fills message with "Good signature, public key fingerprint: " and the fingerprint groups,
// each group followed by a space (cut to the message's size).
void good_signature_message(const PX_BYTE *fingerprint, PX_ULONG length,
                            wchar_t (&message)[ENTRY_MESSAGE_CHARS]);

#endif
