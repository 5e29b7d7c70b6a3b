// The C library behind every services slot, as the test, benchmark and fuzz hosts share it. Each
// host starts from this table and replaces the slots it watches (allocations, files, the clock).
#ifndef NOTARIX_PLAIN_SLOTS_H
#define NOTARIX_PLAIN_SLOTS_H

#include "pellax_sys.h"

// A complete table: the bounded forms keep their contract (a copy that does not fit, or a text
// that would be cut, fails with -1 and writes nothing past the destination); the thread id is 1
// and the clock reads the real time.
PELLAX_SYS_API plain_sys_api();

#endif
