/* Error texts and the version text. */
#ifndef PELLAX_ERR_H
#define PELLAX_ERR_H

#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

#define PELLAX_VERSION_TEXT "3.1.0.17"

/* Stores a constant text (or null for a code without text) through text.
 * 202: code above 399 (text untouched); 301..399: asks plt's message callback, 213 without one;
 * 201: null plt or text. */
PELLAX_ERROR_CODE pellax_get_err_msg(const PELLAX_PLT_FUNCS *plt, PELLAX_ERROR_CODE code,
                                     const char **text);

/* The same lookup on the global table; 214 before the library is initialized. */
PELLAX_ERROR_CODE pellax_get_error_string_from_error_code(PELLAX_ERROR_CODE code,
                                                          const char **text);

const char *fips_pellax_version(void);
const char *pellax_version(void);

PELLAX_EXTERN_C_END

#endif
