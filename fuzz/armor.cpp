// The armor filter alone over a fuzzed source, its output read to the end. Each input runs
// twice: the source in whole stream blocks read back in large blocks, and the source in small
// pieces read back byte by byte. The filter's code and output must not depend on either.
#include <algorithm>
#include <vector>

#include "armor_filter.h"
#include "fuzz_host.h"
#include "targets.h"

namespace {

struct Outcome {
    PELLAX_ERROR_CODE rc = PELLAX_OK;
    std::vector<uint8_t> bytes;
};

Outcome run(const uint8_t *data, size_t size, PX_UINT32 chunk, bool bytewise) {
    const PELLAX_PLT_FUNCS *plt = fuzz::plt();
    fuzz::MemStream source(data, size, chunk);
    PELLAX_IOBUF *armor = nullptr;
    fuzz::check(pellax_open_armor_filter(plt, source.get(), &armor) == PELLAX_OK,
                "armor filter did not open");
    Outcome out;
    for (;;) {
        if (bytewise) {
            PX_BYTE byte = 0;
            int eof = 0;
            out.rc = fips_pellax_iobuf_get(plt, armor, &byte, &eof);
            if (out.rc != PELLAX_OK || eof != 0) {
                break;
            }
            out.bytes.push_back(byte);
        } else {
            PX_BYTE block[700];
            PX_UINT32 n = sizeof block;
            out.rc = fips_pellax_iobuf_read_noalloc(plt, armor, block, 0, &n);
            if (out.rc != PELLAX_OK || n == 0) {
                break;
            }
            out.bytes.insert(out.bytes.end(), block, block + n);
        }
        // Decoding never makes more bytes than it reads; passing binary through gives as many.
        fuzz::check(out.bytes.size() <= size, "armor output longer than its input");
    }
    fips_pellax_iobuf_free(plt, armor);
    return out;
}

}  // namespace

int fuzz_armor(const uint8_t *data, size_t size) {
    fuzz::begin_input();
    const Outcome whole = run(data, size, PELLAX_IOBUF_CAPACITY, false);
    const Outcome pieces = run(data, size, 1 + static_cast<PX_UINT32>(size % 13), true);
    fuzz::check(whole.rc == pieces.rc, "armor code depends on the source's pieces");
    // After a failure a block read reports none of the bytes it had copied, so only a common
    // beginning is asked for then.
    const size_t common = std::min(whole.bytes.size(), pieces.bytes.size());
    fuzz::check(
        std::equal(whole.bytes.begin(), whole.bytes.begin() + common, pieces.bytes.begin()) &&
            (whole.rc != PELLAX_OK || whole.bytes.size() == pieces.bytes.size()),
        "armor output depends on the source's pieces");
    fuzz::end_input();
    return 0;
}
