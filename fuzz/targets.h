// The fuzz targets, one per parser, in libFuzzer's shape: each runs one input through the
// library's own entry point with the fuzz host and aborts (fuzz::fail) on anything wrong. The
// libFuzzer programs call them, and the replay test runs the committed corpus and the regression
// inputs through them in the ordinary and the sanitizer builds.
#ifndef NOTARIX_FUZZ_TARGETS_H
#define NOTARIX_FUZZ_TARGETS_H

#include <stddef.h>
#include <stdint.h>

int fuzz_armor(const uint8_t *data, size_t size);
int fuzz_parse_packet(const uint8_t *data, size_t size);
int fuzz_digest_file(const uint8_t *data, size_t size);
int fuzz_vsnprintf_s(const uint8_t *data, size_t size);
int fuzz_load_key(const uint8_t *data, size_t size);
int fuzz_verify_detached(const uint8_t *data, size_t size);

#endif
