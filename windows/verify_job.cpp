#include "verify_job.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "verify_worker.h"

const wchar_t *const kSignatureSuffixes[SIGNATURE_SUFFIX_COUNT] = {L".sig", L".asc", L".pgp"};

namespace {

// The longest ANSI path an entry takes, in bytes without the terminator.
constexpr int kAnsiPathMax = JOB_PATH_CHARS - 2;
// Room a suffix needs after a signed file's path.
constexpr size_t kSuffixRoom = 5;
// join_path: directory, separator, name and room for a terminator must stay below MAX_PATH.
constexpr size_t kJoinRoom = 4;
constexpr char kGoodSignature[] = "Good signature, public key fingerprint: ";

bool is_regular_file(const wchar_t *path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool copy_name(const wchar_t *path, wchar_t (&name)[JOB_PATH_CHARS]) {
    const wchar_t *part = path_name_part(path);
    if (std::wcslen(part) >= JOB_PATH_CHARS) {
        return false;
    }
    std::wcscpy(name, part);
    return true;
}

bool make_room(verify_job *job) {
    if (job->capacity < job->count) {
        return false;
    }
    if (job->capacity != 0 && job->capacity != job->count) {
        return true;
    }
    if (job->capacity > INT32_MAX / 2) {
        return false;
    }
    int32_t capacity = job->capacity == 0 ? JOB_FIRST_CAPACITY : job->capacity * 2;
    verify_entry *entries =
        static_cast<verify_entry *>(std::calloc(static_cast<size_t>(capacity), sizeof *entries));
    if (entries == nullptr) {
        return false;
    }
    if (job->count > 0) {
        std::memcpy(entries, job->entries, static_cast<size_t>(job->count) * sizeof *entries);
    }
    std::free(job->entries);
    job->entries = entries;
    job->capacity = capacity;
    return true;
}

}  // namespace

const wchar_t *path_name_part(const wchar_t *path) {
    const wchar_t *slash = std::wcsrchr(path, L'\\');
    if (slash == nullptr) {
        slash = std::wcsrchr(path, L'/');
    }
    return slash != nullptr ? slash + 1 : path;
}

bool to_ansi_path(const wchar_t *path, char (&out)[JOB_PATH_CHARS]) {
    out[0] = '\0';
    if (path == nullptr || std::wcslen(path) >= JOB_PATH_CHARS) {
        return false;
    }
    int bytes = WideCharToMultiByte(CP_ACP, 0, path, -1, nullptr, 0, nullptr, nullptr);
    // bytes counts the terminator.
    if (bytes < 2 || bytes - 1 > kAnsiPathMax) {
        return false;
    }
    if (WideCharToMultiByte(CP_ACP, 0, path, -1, out, JOB_PATH_CHARS, nullptr, nullptr) != bytes) {
        out[0] = '\0';
        return false;
    }
    return true;
}

verify_job *create_verify_job(const wchar_t *key_path) {
    if (key_path == nullptr || *key_path == L'\0') {
        return nullptr;
    }
    verify_job *job = static_cast<verify_job *>(std::calloc(1, sizeof *job));
    if (job == nullptr) {
        return nullptr;
    }
    // A key path without an ANSI form stays empty: opening the key file reports it later.
    to_ansi_path(key_path, job->key_path);
    if (!InitializeCriticalSectionAndSpinCount(&job->lock, JOB_LOCK_SPIN_COUNT)) {
        std::free(job);
        return nullptr;
    }
    job->refs = 1;
    return job;
}

int add_verify_entry(verify_job *job, int id, const wchar_t *source_path,
                     const wchar_t *signature_path) {
    if (job == nullptr || !make_room(job)) {
        return -1;
    }
    verify_entry *entry = &job->entries[job->count];
    std::memset(entry, 0, sizeof *entry);
    entry->id = id;
    if (!to_ansi_path(signature_path, entry->signature_path) ||
        !to_ansi_path(source_path, entry->source_path)) {
        return -1;
    }
    ++job->count;
    return 0;
}

void release_verify_job(verify_job *job, DWORD stop_limit_ms) {
    if (job == nullptr) {
        return;
    }
    if (job->thread != nullptr) {
        stop_verify_thread(job, stop_limit_ms);
    }
    set_job_sink(job, nullptr);
    drop_verify_job(job);
}

void retain_verify_job(verify_job *job) {
    InterlockedIncrement(&job->refs);
}

void drop_verify_job(verify_job *job) {
    if (InterlockedDecrement(&job->refs) != 0) {
        return;
    }
    if (job->thread != nullptr) {
        CloseHandle(job->thread);
    }
    std::free(job->entries);
    DeleteCriticalSection(&job->lock);
    std::free(job);
}

verify_notify_sink *job_sink(verify_job *job) {
    return static_cast<verify_notify_sink *>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile *>(&job->sink), nullptr, nullptr));
}

void set_job_sink(verify_job *job, verify_notify_sink *sink) {
    InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(&job->sink), sink);
}

bool is_signature_file_w(const wchar_t *path) {
    const wchar_t *dot = path != nullptr ? std::wcsrchr(path, L'.') : nullptr;
    if (dot == nullptr) {
        return false;
    }
    for (const wchar_t *suffix : kSignatureSuffixes) {
        if (std::wcscmp(dot, suffix) == 0) {
            return true;
        }
    }
    return false;
}

bool find_source_file(const wchar_t *signature_path, wchar_t (&name)[JOB_PATH_CHARS]) {
    name[0] = L'\0';
    if (signature_path == nullptr || std::wcslen(signature_path) >= JOB_PATH_CHARS) {
        return false;
    }
    wchar_t source[JOB_PATH_CHARS];
    std::wcscpy(source, signature_path);
    wchar_t *dot = std::wcsrchr(source, L'.');
    if (dot == nullptr) {
        return false;
    }
    *dot = L'\0';
    return is_regular_file(source) && copy_name(source, name);
}

bool find_signature_files(const wchar_t *source_path,
                          wchar_t (&names)[SIGNATURE_SUFFIX_COUNT][JOB_PATH_CHARS]) {
    for (auto &name : names) {
        name[0] = L'\0';
    }
    if (source_path == nullptr || std::wcslen(source_path) + kSuffixRoom >= JOB_PATH_CHARS) {
        return false;
    }
    int found = 0;
    for (const wchar_t *suffix : kSignatureSuffixes) {
        wchar_t candidate[JOB_PATH_CHARS];
        std::wcscpy(candidate, source_path);
        std::wcscat(candidate, suffix);
        if (is_regular_file(candidate) && copy_name(candidate, names[found])) {
            ++found;
        }
    }
    return found > 0;
}

bool is_dot_entry(const wchar_t *name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

int join_path(const wchar_t *directory, const wchar_t *name, wchar_t (&out)[JOB_PATH_CHARS]) {
    out[0] = L'\0';
    if (directory == nullptr || name == nullptr ||
        std::wcslen(directory) + std::wcslen(name) + kJoinRoom >= JOB_PATH_CHARS) {
        return -1;
    }
    std::wcscpy(out, directory);
    std::wcscat(out, L"\\");
    std::wcscat(out, name);
    return 0;
}

std::string fingerprint_text(const PX_BYTE *fingerprint, PX_ULONG length, bool space_after_last) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (PX_ULONG i = 0; i < length; ++i) {
        text += kHex[fingerprint[i] >> 4];
        text += kHex[fingerprint[i] & 0x0F];
        if ((i + 1) % 4 == 0 && (space_after_last || i + 1 < length)) {
            text += ' ';
        }
    }
    return text;
}

void good_signature_message(const PX_BYTE *fingerprint, PX_ULONG length,
                            wchar_t (&message)[ENTRY_MESSAGE_CHARS]) {
    std::string text = kGoodSignature + fingerprint_text(fingerprint, length, true);
    size_t n = 0;
    for (; n < text.size() && n + 1 < ENTRY_MESSAGE_CHARS; ++n) {
        message[n] = static_cast<unsigned char>(text[n]);
    }
    message[n] = L'\0';
}
