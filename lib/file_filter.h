/* Files as streams, read through the host's fopen/fread/fclose slots only. */
#ifndef PELLAX_FILE_FILTER_H
#define PELLAX_FILE_FILTER_H

#include "pellax_iobuf.h"

PELLAX_EXTERN_C_BEGIN

extern const char FILE_FILTER_NAME[]; /* "file" */

typedef struct PELLAX_FILEFILTER_CTX {
    PX_UINT32 eof; /* 1 once the file has ended and been closed */
    void *fp;
} PELLAX_FILEFILTER_CTX;

/* 3 when the file cannot be opened; the caller frees the stream with fips_pellax_iobuf_free. */
PELLAX_ERROR_CODE pellax_open_file_filter(const PELLAX_PLT_FUNCS *plt, const char *path,
                                          const char *mode, PELLAX_IOBUF **stream);
PELLAX_ERROR_CODE file_filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, int command);
void filefilter_ctx_free(const PELLAX_PLT_FUNCS *plt, PELLAX_FILEFILTER_CTX *ctx);

PELLAX_EXTERN_C_END

#endif
