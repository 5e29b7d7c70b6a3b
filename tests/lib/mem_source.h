// A stream filter over bytes held in memory, for stream and armor tests: appends at most `chunk`
// bytes per underflow (with write, or with put until the stream is full), can fail on purpose,
// and records what it was asked.
#ifndef NOTARIX_TESTS_MEM_SOURCE_H
#define NOTARIX_TESTS_MEM_SOURCE_H

#include <algorithm>
#include <string>
#include <vector>

#include "pellax_iobuf.h"

struct MemSource {
    std::string data;
    size_t pos = 0;
    size_t chunk = PELLAX_IOBUF_CAPACITY;
    bool use_put = false;
    // Underflow number (1-based) that appends `fail_after_bytes` bytes and then fails.
    int fail_at = 0;
    size_t fail_after_bytes = 0;
    PELLAX_ERROR_CODE fail_code = 6;
    PELLAX_ERROR_CODE init_rc = 0;
    PELLAX_ERROR_CODE free_rc = 0;
    int underflows = 0;
    bool freed = false;
    std::vector<size_t> appended;  // bytes appended per underflow

    explicit MemSource(std::string bytes = std::string()) : data(std::move(bytes)) {}

    static PELLAX_ERROR_CODE filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                    int command) {
        MemSource *src = static_cast<MemSource *>(stream->filter_ctx);
        switch (command) {
            case FILTER_CMD_INIT:
                stream->filter_name = "mem";
                return src->init_rc;
            case FILTER_CMD_FREE:
                src->freed = true;
                stream->filter_ctx = nullptr;
                stream->filter_name = nullptr;
                return src->free_rc;
            case FILTER_CMD_UNDERFLOW:
                return src->underflow(plt, stream);
            default:
                return 0;
        }
    }

    PELLAX_ERROR_CODE underflow(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream) {
        ++underflows;
        const bool failing = underflows == fail_at;
        PX_UINT32 space = 0;
        PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_space_size(plt, stream, &space);
        if (rc != 0) {
            return rc;
        }
        size_t n = std::min<size_t>({space, chunk, data.size() - pos});
        if (failing) {
            n = std::min(n, fail_after_bytes);
        }
        size_t done = 0;
        if (use_put) {
            int full = 0;
            while (done < n && !full) {
                rc = fips_pellax_iobuf_put(plt, stream, static_cast<PX_BYTE>(data[pos + done]),
                                           &full);
                if (rc != 0) {
                    return rc;
                }
                ++done;
            }
        } else if (n != 0) {
            rc = fips_pellax_iobuf_write(plt, stream,
                                         reinterpret_cast<const PX_BYTE *>(data.data()) + pos,
                                         static_cast<PX_UINT32>(n));
            if (rc != 0) {
                return rc;
            }
            done = n;
        }
        pos += done;
        appended.push_back(done);
        return failing ? fail_code : 0;
    }
};

#endif
