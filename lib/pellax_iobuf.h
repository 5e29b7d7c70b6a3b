/* Buffered byte stream with a filter chain. A stream holds at most 1024 bytes; when a reader
 * finds it empty, the stream asks its filter (FILTER_CMD_UNDERFLOW) to append more. */
#ifndef PELLAX_IOBUF_H
#define PELLAX_IOBUF_H

#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

#define PELLAX_IOBUF_CAPACITY 1024u

enum { FILTER_CMD_INIT = 0, FILTER_CMD_UNDERFLOW = 1, FILTER_CMD_FREE = 2 };

struct PELLAX_IOBUF;
/* Style 0 (library filters): filter(plt, stream, command). */
typedef PELLAX_ERROR_CODE (*PELLAX_IOBUF_FILTER)(const PELLAX_PLT_FUNCS *plt,
                                                 struct PELLAX_IOBUF *stream, int command);
/* Style 1 (hosts' filters, attached by pellax_iobuf_create_and_init): filter(stream, command). */
typedef PELLAX_ERROR_CODE (*PELLAX_IOBUF_FILTER_NOPLT)(struct PELLAX_IOBUF *stream, int command);

typedef struct PELLAX_IOBUF {
    PX_UINT32 buf_size; /* 0 until the buffer exists, then 1024 */
    PX_UINT32 read_pos; /* next unread byte */
    PX_UINT32 data_len; /* valid bytes in buf */
    PX_BYTE *buf;
    void *filter_ctx;        /* owned by the filter */
    const char *filter_name; /* "file", "armor", ...: informational */
    PX_UINT32 filter_style;  /* 0: called with the platform table; 1: without */
    void *filter;            /* PELLAX_IOBUF_FILTER or PELLAX_IOBUF_FILTER_NOPLT by style */
} PELLAX_IOBUF;

/* Lifecycle. */
PELLAX_ERROR_CODE fips_pellax_iobuf_create(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF **stream);
PELLAX_ERROR_CODE fips_pellax_iobuf_create_and_init(const PELLAX_PLT_FUNCS *plt,
                                                    PELLAX_IOBUF_FILTER filter, void *filter_ctx,
                                                    PELLAX_IOBUF **stream);
void fips_pellax_iobuf_free(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream);
void fips_pellax_iobuf_clean_buffer(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream);

/* Reading. */
PELLAX_ERROR_CODE fips_pellax_iobuf_peek(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                         PX_BYTE *byte);
PELLAX_ERROR_CODE fips_pellax_iobuf_get(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                        PX_BYTE *byte, int *eof);
PELLAX_ERROR_CODE fips_pellax_iobuf_get_noend(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                              PX_BYTE *byte);
PELLAX_ERROR_CODE fips_pellax_iobuf_skip_rest(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                              uint64_t count);
PELLAX_ERROR_CODE fips_pellax_iobuf_read_16(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                            uint16_t *value);
PELLAX_ERROR_CODE fips_pellax_iobuf_read_32(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                            PX_UINT32 *value);
PELLAX_ERROR_CODE fips_pellax_iobuf_read_noalloc(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                                 PX_BYTE *buffer, PX_UINT32 offset,
                                                 PX_UINT32 *r_len);
PELLAX_ERROR_CODE fips_pellax_iobuf_read(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                         PX_BYTE **buffer, PX_UINT32 offset, PX_UINT32 *size,
                                         PX_UINT32 *r_len);
PELLAX_ERROR_CODE fips_pellax_iobuf_read_line(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                              PX_BYTE **buffer, PX_UINT32 *len, PX_UINT32 *size,
                                              PX_UINT32 *max_len);

/* Writing (filter side). */
PELLAX_ERROR_CODE fips_pellax_iobuf_get_space_size(const PELLAX_PLT_FUNCS *plt,
                                                   PELLAX_IOBUF *stream, PX_UINT32 *space);
PELLAX_ERROR_CODE fips_pellax_iobuf_write(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                          const PX_BYTE *data, PX_UINT32 len);
PELLAX_ERROR_CODE fips_pellax_iobuf_put(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                        PX_BYTE byte, int *full);
PELLAX_ERROR_CODE fips_pellax_iobuf_put_nofull(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                               PX_BYTE byte);

/* Public forms on the global table: 214 before initialization, 206 for missing services. */
PELLAX_ERROR_CODE pellax_iobuf_create(PELLAX_IOBUF **stream);
PELLAX_ERROR_CODE pellax_iobuf_create_and_init(PELLAX_IOBUF_FILTER_NOPLT filter, void *filter_ctx,
                                               PELLAX_IOBUF **stream);
PELLAX_ERROR_CODE pellax_iobuf_free(PELLAX_IOBUF *stream);
PELLAX_ERROR_CODE pellax_iobuf_clean_buffer(PELLAX_IOBUF *stream);
PELLAX_ERROR_CODE pellax_iobuf_get_space_size(PELLAX_IOBUF *stream, PX_UINT32 *space);
PELLAX_ERROR_CODE pellax_iobuf_peek(PELLAX_IOBUF *stream, PX_BYTE *byte);
PELLAX_ERROR_CODE pellax_iobuf_get(PELLAX_IOBUF *stream, PX_BYTE *byte, int *eof);
PELLAX_ERROR_CODE pellax_iobuf_get_noend(PELLAX_IOBUF *stream, PX_BYTE *byte);
PELLAX_ERROR_CODE pellax_iobuf_skip_rest(PELLAX_IOBUF *stream, uint64_t count);
PELLAX_ERROR_CODE pellax_iobuf_read_16(PELLAX_IOBUF *stream, uint16_t *value);
PELLAX_ERROR_CODE pellax_iobuf_read_32(PELLAX_IOBUF *stream, PX_UINT32 *value);
PELLAX_ERROR_CODE pellax_iobuf_read_noalloc(PELLAX_IOBUF *stream, PX_BYTE *buffer, PX_UINT32 offset,
                                            PX_UINT32 *r_len);
PELLAX_ERROR_CODE pellax_iobuf_read(PELLAX_IOBUF *stream, PX_BYTE **buffer, PX_UINT32 offset,
                                    PX_UINT32 *size, PX_UINT32 *r_len);
PELLAX_ERROR_CODE pellax_iobuf_read_line(PELLAX_IOBUF *stream, PX_BYTE **buffer, PX_UINT32 *len,
                                         PX_UINT32 *size, PX_UINT32 *max_len);
PELLAX_ERROR_CODE pellax_iobuf_write(PELLAX_IOBUF *stream, const PX_BYTE *data, PX_UINT32 len);
PELLAX_ERROR_CODE pellax_iobuf_put(PELLAX_IOBUF *stream, PX_BYTE byte, int *full);
PELLAX_ERROR_CODE pellax_iobuf_put_nofull(PELLAX_IOBUF *stream, PX_BYTE byte);

PELLAX_EXTERN_C_END

#endif
