#include "win_log.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// g_log_file is read and changed only with g_log_lock held.
HANDLE g_log_file = INVALID_HANDLE_VALUE;
SRWLOCK g_log_lock = SRWLOCK_INIT;

constexpr const char *kLevelNames[] = {"ERROR", "WARNING", "INFO", "DEBUG"};
constexpr size_t kAsctimeChars = 32;

const char *level_name(PELLAX_LOG_TYPE level) {
    unsigned index = static_cast<unsigned>(level);
    return index < sizeof kLevelNames / sizeof kLevelNames[0] ? kLevelNames[index] : "UNKNOWN";
}

const char *base_name(const char *file) {
    if (file == nullptr) {
        return "";
    }
    const char *slash = std::strrchr(file, '\\');
    return slash != nullptr ? slash + 1 : file;
}

// The C library's fixed form, line feed included; empty when the time cannot be converted.
void time_text(int64_t utc_time, char (&text)[kAsctimeChars]) {
    text[0] = '\0';
    __time64_t when = utc_time != 0 ? static_cast<__time64_t>(utc_time) : _time64(nullptr);
    struct tm local;
    if (_localtime64_s(&local, &when) != 0 || asctime_s(text, sizeof text, &local) != 0) {
        text[0] = '\0';
    }
}

// Swaps in a new handle under the lock and closes the old one.
void replace_log_file(HANDLE file) {
    AcquireSRWLockExclusive(&g_log_lock);
    HANDLE old = g_log_file;
    g_log_file = file;
    ReleaseSRWLockExclusive(&g_log_lock);
    if (old != INVALID_HANDLE_VALUE) {
        CloseHandle(old);
    }
}

}  // namespace

bool open_log_file(const wchar_t *path) {
    replace_log_file(INVALID_HANDLE_VALUE);
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(file, zero, nullptr, FILE_END)) {
        DWORD error = GetLastError();
        CloseHandle(file);
        SetLastError(error);
        return false;
    }
    replace_log_file(file);
    return true;
}

void close_log_file() {
    replace_log_file(INVALID_HANDLE_VALUE);
}

bool log_file_is_open() {
    AcquireSRWLockShared(&g_log_lock);
    bool open = g_log_file != INVALID_HANDLE_VALUE;
    ReleaseSRWLockShared(&g_log_lock);
    return open;
}

void win_log_callback(PELLAX_LOG_TYPE level, const char *file, int line, PX_ULONG thread_id,
                      int64_t utc_time, int code, const char *message) {
    if (!log_file_is_open()) {
        return;
    }
    char when[kAsctimeChars];
    time_text(utc_time, when);
    char text[WIN_LOG_LINE_MAX + 1];
    int length = std::snprintf(text, sizeof text, "\r\n[%s]:[%s]:[%d]:[%s:%d]:[0x%X]:%s", when,
                               level_name(level), static_cast<int>(thread_id), base_name(file),
                               line, static_cast<unsigned>(code), message ? message : "");
    if (length <= 0 || length > WIN_LOG_LINE_MAX) {
        return;
    }
    AcquireSRWLockExclusive(&g_log_lock);
    if (g_log_file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(g_log_file, text, static_cast<DWORD>(length), &written, nullptr);
    }
    ReleaseSRWLockExclusive(&g_log_lock);
}
