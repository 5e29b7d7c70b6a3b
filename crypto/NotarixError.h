/* Texts of the crypto provider's codes, handed to the library as its user-defined message
 * callback (PELLAX_USER_DEF_MSG_CALLBACK). Shared by both front ends. */
#ifndef NOTARIX_ERROR_H
#define NOTARIX_ERROR_H

#include "pellax_types.h"

PELLAX_EXTERN_C_BEGIN

typedef struct NOTARIX_ERR_MSG {
    PELLAX_ERROR_CODE code;
    const char *text;
} NOTARIX_ERR_MSG;

/* (code, text) pairs, closed by an entry with code PELLAX_ERR_TABLE_END (400). */
extern const NOTARIX_ERR_MSG s_pgp_errs[];

/* The constant text for code, or null when the table has none. */
const char *GetPGPErrorMessage(PELLAX_ERROR_CODE code);

PELLAX_EXTERN_C_END

#endif
