#include "test_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TestHost *g_current = nullptr;

void *host_malloc(PX_ULONG size) {
    TestHost *h = g_current;
    ++h->malloc_calls;
    if (h->fail_malloc_at != 0 && (h->malloc_calls == h->fail_malloc_at ||
                                   (h->fail_sticky && h->malloc_calls > h->fail_malloc_at))) {
        h->malloc_failed = true;
        return nullptr;
    }
    void *p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) {
        ++h->live_blocks;
    }
    return p;
}

void host_free(void *p) {
    if (p != nullptr) {
        --g_current->live_blocks;
        std::free(p);
    }
}

int host_memset_s(void *dest, PX_ULONG dest_size, int value, PX_ULONG count) {
    if (dest == nullptr || count > dest_size) {
        return -1;
    }
    std::memset(dest, value, count);
    return 0;
}

int host_memmove_s(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count) {
    if (dest == nullptr || src == nullptr || count > dest_size) {
        return -1;
    }
    std::memmove(dest, src, count);
    return 0;
}

int host_memcmp(const void *a, const void *b, PX_ULONG n) {
    return std::memcmp(a, b, n);
}
int host_strncmp(const char *a, const char *b, PX_ULONG n) {
    return std::strncmp(a, b, n);
}
char *host_strstr(const char *t, const char *p) {
    return const_cast<char *>(std::strstr(t, p));
}
char *host_strchr(const char *t, int c) {
    return const_cast<char *>(std::strchr(t, c));
}
PX_ULONG host_strlen(const char *t) {
    return std::strlen(t);
}
int host_strcmp(const char *a, const char *b) {
    return std::strcmp(a, b);
}

int host_strcpy_s(char *dest, PX_ULONG dest_size, const char *src) {
    if (dest == nullptr || src == nullptr || std::strlen(src) + 1 > dest_size) {
        return -1;
    }
    std::memcpy(dest, src, std::strlen(src) + 1);
    return 0;
}

// The contract of the slot: at most count characters, count below the size, a cut text fails.
int host_vsnprintf_s(char *dest, PX_ULONG dest_size, PX_ULONG count, const char *format,
                     va_list args) {
    if (dest == nullptr || format == nullptr || count >= dest_size) {
        return -1;
    }
    int n = std::vsnprintf(dest, count + 1, format, args);
    if (n < 0 || static_cast<PX_ULONG>(n) > count) {
        return -1;
    }
    return n;
}

void *host_fopen(const char *path, const char *mode) {
    FILE *f = std::fopen(path, mode);
    if (f != nullptr) {
        ++g_current->open_files;
    }
    return f;
}
PX_ULONG host_fread(void *buffer, PX_ULONG length, void *handle) {
    g_current->fread_lengths.push_back(length);
    return std::fread(buffer, 1, length, static_cast<FILE *>(handle));
}
int host_fclose(void *handle) {
    --g_current->open_files;
    return std::fclose(static_cast<FILE *>(handle));
}
PX_ULONG host_thread_id() {
    return 4242;
}
int64_t host_utc_time() {
    return g_current->clock;
}

}  // namespace

TestHost::TestHost() {
    g_current = this;
    sys.size = sizeof(PELLAX_SYS_API);
    sys.malloc = host_malloc;
    sys.memset_s = host_memset_s;
    sys.memmove_s = host_memmove_s;
    sys.memcpy_s = host_memmove_s;
    sys.free = host_free;
    sys.memcmp = host_memcmp;
    sys.strncmp = host_strncmp;
    sys.strstr = host_strstr;
    sys.strchr = host_strchr;
    sys.strlen = host_strlen;
    sys.strcmp = host_strcmp;
    sys.strcpy_s = host_strcpy_s;
    sys.vsnprintf_s = host_vsnprintf_s;
    sys.fopen = host_fopen;
    sys.fread = host_fread;
    sys.fclose = host_fclose;
    sys.get_thread_id = host_thread_id;
    sys.get_utc_time = host_utc_time;
    plt.size = sizeof(PELLAX_PLT_FUNCS);
    plt.sys = sys;
    plt.log_callback = &TestHost::record_log;
}

TestHost::~TestHost() {
    std::memset(&s_kitCallbackFuncs, 0, sizeof s_kitCallbackFuncs);
    g_current = nullptr;
}

PELLAX_ERROR_CODE TestHost::install() {
    return pellax_old_library_initialize(&sys);
}

bool TestHost::logged(int code, const std::string &message) const {
    for (const LogLine &l : logs) {
        if (l.code == code && l.message == message) {
            return true;
        }
    }
    return false;
}

TestHost *TestHost::current() {
    return g_current;
}

void TestHost::record_log(PELLAX_LOG_TYPE level, const char *file, int line, PX_ULONG,
                          int64_t utc_time, int code, const char *message) {
    g_current->logs.push_back(LogLine{level, file, line, utc_time, code, message});
}
