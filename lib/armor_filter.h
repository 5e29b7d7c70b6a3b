/* ASCII armor (the radix-64 text form of OpenPGP data): tells armored from binary input by its
 * first byte, and decodes an armored public key block or signature read from another stream,
 * checking the CRC-24 on the way. Messages and clear-signed messages are refused. */
#ifndef PELLAX_ARMOR_FILTER_H
#define PELLAX_ARMOR_FILTER_H

#include "pellax_iobuf.h"

PELLAX_EXTERN_C_BEGIN

extern const char ARMOR_FILTER_NAME[]; /* "armor" */

typedef struct PELLAX_ARMORFILTER_CTX {
    PX_UINT32 in_body;  /* decoding the radix-64 body, or passing binary input through */
    PX_UINT32 all_over; /* nothing more to deliver */
    PX_UINT32 binary;   /* pass-through: the input was binary after all */
    PX_UINT32 crc;      /* running CRC-24 of the decoded bytes */
    int32_t quad_index; /* position (0..3) of the next character in its group of four */
    PX_BYTE partial;    /* high bits of the byte being assembled */
    PX_UINT32 truncated_lines;
    PX_UINT32 crc_done;        /* the checksum line has been reached */
    PX_BYTE decode_table[256]; /* radix-64 value of each byte, 0xFF outside the alphabet */
    PX_UINT32 crc_table[256];  /* CRC-24 lookup table */
    PELLAX_IOBUF *source;      /* the armored text; not owned */
    PX_BYTE *line;             /* current input line, owned */
    PX_UINT32 line_size;       /* capacity of line */
    PX_UINT32 line_len;        /* bytes in line */
    PX_UINT32 line_pos;        /* next unread byte of line */
} PELLAX_ARMORFILTER_CTX;

/* 1 when data starting with this byte is to be read as armor, 0 when it is a binary packet of
 * a type this library reads. Cannot fail. */
int pellax_check_data_is_armored(const PELLAX_PLT_FUNCS *plt, PX_BYTE byte);

/* Stacks an armor stream on source. The caller owns the new stream and frees it with
 * fips_pellax_iobuf_free before freeing source. 1: no memory. */
PELLAX_ERROR_CODE pellax_open_armor_filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *source,
                                           PELLAX_IOBUF **stream);

/* The stream filter (calling style 0). Underflow failures: 101 (not a key block or signature),
 * 102 (no BEGIN line, or the input ends inside the headers), 104 (unknown armor header),
 * 105 (clear-signed message), 106 (wrong or missing checksum), 107 (character outside the
 * radix-64 alphabet), or a code of the source stream. Bytes delivered before a failure stay in
 * the stream. */
PELLAX_ERROR_CODE armor_filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, int command);

/* Releases the line block and the context; nothing for null. The source is not touched. */
void armorfilter_ctx_free(const PELLAX_PLT_FUNCS *plt, PELLAX_ARMORFILTER_CTX *ctx);

PELLAX_EXTERN_C_END

#endif
