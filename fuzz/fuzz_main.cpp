// The libFuzzer program of one target; NOTARIX_FUZZ_ENTRY names it.
#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return NOTARIX_FUZZ_ENTRY(data, size);
}
