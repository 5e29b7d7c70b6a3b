#include "pellax_vrf_internal.h"

#include "pellax_log.h"

namespace {

const char kModule[] = "pellax_vrf_internal";

}  // namespace

/* ---- Key rings and detached signatures ---------------------------------------------------- */

/* ---- Digest files ------------------------------------------------------------------------- */
