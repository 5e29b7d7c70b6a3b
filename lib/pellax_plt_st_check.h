/* Checks that a host table is whole before the library trusts it. */
#ifndef PELLAX_PLT_ST_CHECK_H
#define PELLAX_PLT_ST_CHECK_H

#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

/* 1 when first_slot is not null and every pointer-sized slot in byte_length bytes is set. */
int pellax_sys_sub_st_api_valid(const void *first_slot, PX_ULONG byte_length);

/* 1 when sys is not null, its size tag is right and all eighteen slots are set. */
int pellax_sys_is_all_sys_api_valid(const PELLAX_SYS_API *sys);

/* 201: null table; 215: wrong size tag; 206: incomplete services; else 0. */
PELLAX_ERROR_CODE pellax_plt_check_funcs_valid(const PELLAX_PLT_FUNCS *plt);

/* 1 when the global table has been initialized (both size tags set). */
int pellax_global_table_ready(void);

PELLAX_EXTERN_C_END

#endif
