#include "NotarixHost.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "NotarixCmdProc.h"
#include "memcpy_s.h"
#include "memmove_s.h"
#include "memset_s.h"
#include "snprintf_s.h"
#include "strcpy_s.h"
#include "vsnprintf_s.h"

FILE *s_logfile = nullptr;
const char *const log_level_str[4] = {"ERROR", "WARNING", "INFO", "DEBUG"};

namespace {

constexpr size_t kLogBufferSize = 2048;
// A log line longer than this is dropped whole.
constexpr size_t kLogLineMax = 511;

// The library reads files in 256-byte pieces; a large stdio buffer turns them into few
// system calls. The buffer lives with the handle the library holds.
constexpr size_t kFileBufferSize = 64 * 1024;
struct HostFile {
    FILE *fp;
    char buffer[kFileBufferSize];
};

void *malloc_callback(PX_ULONG size) {
    return malloc(size);
}
int memcmp_callback(const void *a, const void *b, PX_ULONG n) {
    return memcmp(a, b, n);
}
int strncmp_callback(const char *a, const char *b, PX_ULONG n) {
    return strncmp(a, b, n);
}
PX_ULONG strlen_callback(const char *text) {
    return strlen(text);
}

}  // namespace

int memset_s_callback(void *dest, PX_ULONG dest_size, int value, PX_ULONG count) {
    if (dest_size < count) {
        return -1;
    }
    memset_s(dest, dest_size, value, count);
    return 0;
}

int memmove_s_callback(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count) {
    if (dest_size < count) {
        return -1;
    }
    memmove_s(dest, dest_size, src, count);
    return 0;
}

int memcpy_s_callback(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count) {
    if (dest_size < count) {
        return -1;
    }
    memcpy_s(dest, dest_size, src, count);
    return 0;
}

int strcpy_s_callback(char *dest, PX_ULONG dest_size, const char *src) {
    if (strlen(src) + 1 > dest_size) {
        return -1;
    }
    strcpy_s(dest, dest_size, src);
    return 0;
}

int vsnprintf_s_callback(char *dest, PX_ULONG dest_size, PX_ULONG count, const char *format,
                         va_list args) {
    if (count >= dest_size) {
        return -1;
    }
    int written = vsnprintf_s(dest, dest_size, count, format, args);
    // The bounded formatter reports a cut text as a failure; the library sees -1 for both.
    if (written < 0 || static_cast<PX_ULONG>(written) >= dest_size) {
        return -1;
    }
    dest[written] = '\0';
    return written;
}

char *strstr_callback(const char *text, const char *pattern) {
    return const_cast<char *>(strstr(text, pattern));
}

char *strchr_callback(const char *text, int character) {
    return const_cast<char *>(strchr(text, character));
}

void *fopen_callback(const char *path, const char *mode) {
    char buffer[kPathBufferSize];
    if (path == nullptr || mode == nullptr || !ApplyPathRule(path, buffer)) {
        return nullptr;
    }
    FILE *fp = fopen(buffer, mode);
    if (fp == nullptr) {
        return nullptr;
    }
    HostFile *file = new (std::nothrow) HostFile;
    if (file == nullptr) {
        fclose(fp);
        return nullptr;
    }
    file->fp = fp;
    setvbuf(fp, file->buffer, _IOFBF, sizeof file->buffer);
    return file;
}

PX_ULONG fread_callback(void *buffer, PX_ULONG length, void *handle) {
    return fread(buffer, 1, length, static_cast<HostFile *>(handle)->fp);
}

int fclose_callback(void *handle) {
    HostFile *file = static_cast<HostFile *>(handle);
    const int result = fclose(file->fp);
    delete file;
    return result;
}

// The library's thread identifier is the process id: the program has one thread.
PX_ULONG get_thread_id_callback() {
    return static_cast<PX_ULONG>(getpid());
}

int64_t get_utc_time_callback() {
    return static_cast<int64_t>(time(nullptr));
}

void init_kit_sysapi_callback_funcs() {
    PELLAX_SYS_API sys{};
    sys.size = sizeof(PELLAX_SYS_API);
    sys.malloc = malloc_callback;
    sys.memset_s = memset_s_callback;
    sys.memmove_s = memmove_s_callback;
    sys.memcpy_s = memcpy_s_callback;
    sys.free = free;
    sys.memcmp = memcmp_callback;
    sys.strncmp = strncmp_callback;
    sys.strstr = strstr_callback;
    sys.strchr = strchr_callback;
    sys.strlen = strlen_callback;
    sys.strcmp = strcmp;
    sys.strcpy_s = strcpy_s_callback;
    sys.vsnprintf_s = vsnprintf_s_callback;
    sys.fopen = fopen_callback;
    sys.fread = fread_callback;
    sys.fclose = fclose_callback;
    sys.get_thread_id = get_thread_id_callback;
    sys.get_utc_time = get_utc_time_callback;
    pellax_old_library_initialize(&sys);
}

void notarix_log(PELLAX_LOG_TYPE level, const char *file, int line, PX_ULONG, int64_t utc_time, int,
                 const char *message) {
    if (s_logfile == nullptr) {
        return;
    }
    const time_t when = static_cast<time_t>(utc_time);
    struct tm local {};
    if (localtime_r(&when, &local) == nullptr) {
        puts("get local time error.");
        return;
    }
    char time_text[64];
    // The standard 24-character form with its newline, which stays inside the first brackets.
    if (asctime_r(&local, time_text) == nullptr) {
        puts("get time string error.");
        return;
    }
    char *buffer = static_cast<char *>(malloc(kLogBufferSize));
    if (buffer == nullptr) {
        puts("Alloc memory error.");
        return;
    }
    memset_s(buffer, kLogBufferSize, 0, kLogBufferSize);
    const char *slash = file != nullptr ? strrchr(file, '/') : nullptr;
    const char *base = slash != nullptr ? slash + 1 : (file != nullptr ? file : "");
    const unsigned level_index = static_cast<unsigned>(level);
    const char *level_text = level_index < 4 ? log_level_str[level_index] : "";
    int written =
        snprintf_s(buffer, kLogBufferSize - 1, kLogLineMax, "\r\n[%s]:[%s]:[%lu]:[%s:%d]:%s",
                   time_text, level_text, static_cast<unsigned long>(pthread_self()), base, line,
                   message != nullptr ? message : "");
    if (written > 0) {
        fwrite(buffer, 1, static_cast<size_t>(written), s_logfile);
    }
    free(buffer);
}
