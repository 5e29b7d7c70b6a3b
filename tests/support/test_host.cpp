#include "test_host.h"

#include <cstring>

#include "plain_slots.h"

namespace {

TestHost *g_current = nullptr;

// The C library's slots, which the watching slots below pass on to.
const PELLAX_SYS_API &plain() {
    static const PELLAX_SYS_API slots = plain_sys_api();
    return slots;
}

void *host_malloc(PX_ULONG size) {
    TestHost *h = g_current;
    ++h->malloc_calls;
    if (h->fail_malloc_at != 0 && (h->malloc_calls == h->fail_malloc_at ||
                                   (h->fail_sticky && h->malloc_calls > h->fail_malloc_at))) {
        h->malloc_failed = true;
        return nullptr;
    }
    void *p = plain().malloc(size);
    if (p != nullptr) {
        ++h->live_blocks;
    }
    return p;
}

void host_free(void *p) {
    if (p != nullptr) {
        --g_current->live_blocks;
        plain().free(p);
    }
}

void *host_fopen(const char *path, const char *mode) {
    void *f = plain().fopen(path, mode);
    if (f != nullptr) {
        ++g_current->open_files;
    }
    return f;
}
PX_ULONG host_fread(void *buffer, PX_ULONG length, void *handle) {
    g_current->fread_lengths.push_back(length);
    return plain().fread(buffer, length, handle);
}
int host_fclose(void *handle) {
    --g_current->open_files;
    return plain().fclose(handle);
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
    sys = plain_sys_api();
    sys.malloc = host_malloc;
    sys.free = host_free;
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
