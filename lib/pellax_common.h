/* Small helpers shared by several modules. Each first checks the platform table (201, 215, 206). */
#ifndef PELLAX_COMMON_H
#define PELLAX_COMMON_H

#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

PELLAX_ERROR_CODE pellax_common_get_bigint_nbits(const PELLAX_PLT_FUNCS *plt,
                                                 const PELLAX_BIGINT *value, uint64_t *nbits);
/* OpenPGP MPI form: two octets of bit count, then the stored bytes. A null output asks only for
 * the length (stored in size). 4 when size is too small. */
PELLAX_ERROR_CODE pellax_common_bigint_print(const PELLAX_PLT_FUNCS *plt,
                                             const PELLAX_BIGINT *value, PX_BYTE *output,
                                             PX_UINT32 *r_len, PX_UINT32 *size);
PELLAX_ERROR_CODE pellax_common_ascii_toupper(const PELLAX_PLT_FUNCS *plt, PX_UINT32 character,
                                              int *value);
PELLAX_ERROR_CODE pellax_common_isxdigist(const PELLAX_PLT_FUNCS *plt, int character, int *flag);
PELLAX_ERROR_CODE pellax_common_isdigit(const PELLAX_PLT_FUNCS *plt, int character, int *flag);
/* A terminated host block holding n bytes of source; the caller frees it. */
PELLAX_ERROR_CODE pellax_common_copy_string(const PELLAX_PLT_FUNCS *plt, char **copy,
                                            const char *source, PX_UINT32 n);
/* New zeroed block of new_size holding the first old_length bytes; the old block is released
 * on success and stays the caller's on failure (1, output null). */
PELLAX_ERROR_CODE pellax_common_realloc(const PELLAX_PLT_FUNCS *plt, void *old_block,
                                        PX_UINT32 old_length, PX_UINT32 new_size, void **new_block);
/* Hex pairs to bytes; 9 for an odd length or a non-hex character (no block left behind). */
PELLAX_ERROR_CODE pellax_common_hexstring_to_hexdata(const PELLAX_PLT_FUNCS *plt, const char *hex,
                                                     PX_UINT32 hex_len, PX_UINT32 *data_len,
                                                     PX_BYTE **data);

PELLAX_EXTERN_C_END

#endif
