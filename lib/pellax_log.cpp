#include "pellax_log.h"

namespace {

const char kModule[] = "pellax_log";
constexpr PX_ULONG kLogBufferSize = 2048;
const char kTimeError[] = "Get current time error.";
const char kFormatError[] = "Format log data error.";

}  // namespace

void pellax_log_func(const PELLAX_PLT_FUNCS *plt, PELLAX_LOG_TYPE level, const char *file, int line,
                     PELLAX_ERROR_CODE code, const char *format, ...) {
    // Without a callback nothing is formatted, so logging costs no host memory at all.
    if (plt == nullptr || plt->log_callback == nullptr) {
        return;
    }
    const PELLAX_SYS_API *sys = &plt->sys;
    char *buffer = static_cast<char *>(pellax_malloc(sys, kLogBufferSize));
    if (buffer == nullptr) {
        return;
    }
    pellax_memset_s(sys, buffer, kLogBufferSize, 0, kLogBufferSize);
    PX_ULONG thread_id = pellax_get_thread_id(sys);
    int64_t now = pellax_get_utc_time(sys);
    if (now == 0) {
        plt->log_callback(PELLAX_LOG_ERROR, kModule, __LINE__, thread_id, 0, static_cast<int>(code),
                          kTimeError);
        pellax_free(sys, buffer);
        return;
    }
    va_list args;
    va_start(args, format);
    int written = pellax_vsnprintf_s(sys, buffer, kLogBufferSize, kLogBufferSize - 1, format, args);
    va_end(args);
    const char *message = written < 1 ? kFormatError : buffer;
    plt->log_callback(level, file, line, thread_id, now, static_cast<int>(code), message);
    pellax_free(sys, buffer);
}
