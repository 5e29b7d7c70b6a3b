// A host for library tests: the C library behind every slot, with allocation counting and
// failure injection, and a recorder for log lines. One host is active at a time.
#ifndef NOTARIX_TEST_HOST_H
#define NOTARIX_TEST_HOST_H

#include <cstdint>
#include <string>
#include <vector>

#include "pellax_sys.h"

struct LogLine {
    PELLAX_LOG_TYPE level;
    std::string file;
    int line;
    int64_t time;
    int code;
    std::string message;
};

class TestHost {
  public:
    TestHost();
    ~TestHost();
    TestHost(const TestHost &) = delete;
    TestHost &operator=(const TestHost &) = delete;

    // Services table over the C library; slots may be changed before use.
    PELLAX_SYS_API sys{};
    // A platform table with these services and the recording log callback.
    PELLAX_PLT_FUNCS plt{};

    // Fails the n-th malloc (1-based) and every one after it when sticky; 0 never fails.
    long fail_malloc_at = 0;
    bool fail_sticky = false;
    long malloc_calls = 0;
    long live_blocks = 0;
    bool malloc_failed = false;
    // Reading of the clock slot; 0 makes the clock fail.
    int64_t clock = 1700000000;
    // Files opened through the slots and not yet closed, and the length of every fread.
    long open_files = 0;
    std::vector<PX_ULONG> fread_lengths;
    std::vector<LogLine> logs;

    // pellax_old_library_initialize with this host's services; the global table is cleared
    // again when the host goes away.
    PELLAX_ERROR_CODE install();
    // Whether a recorded line has this code and message.
    bool logged(int code, const std::string &message) const;

    static TestHost *current();

    static void record_log(PELLAX_LOG_TYPE level, const char *file, int line, PX_ULONG thread_id,
                           int64_t utc_time, int code, const char *message);
};

#endif
