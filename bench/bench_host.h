// The benchmarks' host: the C library behind every service slot, as a front end fills it.
#ifndef NOTARIX_BENCH_HOST_H
#define NOTARIX_BENCH_HOST_H

#include <cstddef>

#include "pellax_sys.h"

// Stdio buffer given to each file the library opens; 0 keeps the C library's default.
extern size_t g_stdio_buffer;
// Bytes of host memory the library holds now, and the most it held since g_peak was reset.
extern size_t g_live;
extern size_t g_peak;

// A complete services table; its clock reads the real time.
PELLAX_SYS_API bench_sys_api();

#endif
