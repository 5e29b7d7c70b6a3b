// A lean host for the fuzz targets and their replay test: the C library behind every slot, the
// Linux program's own bounded formatter for log lines, the OpenSSL crypto provider, a fixed
// clock, allocations counted and capped, files opened only below one directory, and log lines
// dropped once they are read to their end. Anything wrong aborts with a line on stderr, which is
// how libFuzzer learns of a finding.
#ifndef NOTARIX_FUZZ_HOST_H
#define NOTARIX_FUZZ_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "pellax_iobuf.h"
#include "pellax_packet.h"
#include "pellax_sys.h"

namespace fuzz {

// No allocation the library asks for may exceed this: fuzz inputs are at most 24 KiB, so a
// larger block means a length field was trusted before its data was there.
constexpr PX_ULONG kAllocCap = 1u << 20;
// The host's clock: fixed, so that a verdict depends on the input alone; 2027-01-15, after
// every key and signature fixture was made.
constexpr int64_t kClock = 1800000000;

// The callback table of the host (services, log callback, OpenSSL callbacks), set up once.
const PELLAX_CALLBACK_FUNCS &callbacks();
inline const PELLAX_PLT_FUNCS *plt() {
    return &callbacks().plt;
}

// Names the input being run, for the failure line of a replay.
void set_input_label(const char *label);
// Files open only at or below this directory (null: none at all).
void set_file_root(const char *dir);

// Brackets one input: afterwards no host block and no file may still be open.
void begin_input();
void end_input();

[[noreturn]] void fail(const char *what);
inline void check(bool ok, const char *what) {
    if (!ok) {
        fail(what);
    }
}

// Reads data (armored or binary, told apart as the library does) packet by packet with
// parse_packet, hands each packet to visit and releases it; stops at the end or an error.
void each_packet(const uint8_t *data, size_t size,
                 void (*visit)(const PELLAX_PACKET &packet, void *user), void *user);

// The whole file, or fail.
void read_file(const char *path, uint8_t **data, size_t *size);

// A stream over bytes held by the caller, handed out at most `chunk` bytes per underflow.
class MemStream {
  public:
    MemStream(const uint8_t *data, size_t size, PX_UINT32 chunk = PELLAX_IOBUF_CAPACITY);
    ~MemStream();
    MemStream(const MemStream &) = delete;
    MemStream &operator=(const MemStream &) = delete;
    PELLAX_IOBUF *get() const { return stream_; }

  private:
    static PELLAX_ERROR_CODE filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, int command);
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
    PX_UINT32 chunk_;
    PELLAX_IOBUF *stream_ = nullptr;
};

}  // namespace fuzz

#endif
