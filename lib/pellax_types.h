/* Basic types, error codes and log levels shared by the library and its hosts.
 * C-compatible: hosts may include this from C or C++. */
#ifndef PELLAX_TYPES_H
#define PELLAX_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
#define PELLAX_EXTERN_C_BEGIN extern "C" {
#define PELLAX_EXTERN_C_END }
#else
#define PELLAX_EXTERN_C_BEGIN
#define PELLAX_EXTERN_C_END
#endif

#if defined(__GNUC__) || defined(__clang__)
#define PELLAX_PRINTF_FMT(fmt_index, args_index) \
    __attribute__((format(printf, fmt_index, args_index)))
#else
#define PELLAX_PRINTF_FMT(fmt_index, args_index)
#endif

typedef uint8_t PX_BYTE;
typedef uint32_t PX_UINT32;
/* As wide as a machine word on the host: 8 bytes on Linux, 4 on Windows. */
typedef unsigned long PX_ULONG;
typedef uint32_t PELLAX_ERROR_CODE;

/* One OpenPGP multiprecision integer by value: big-endian magnitude in the first len bytes. */
#define PELLAX_BIGINT_MAX_BYTES 512
typedef struct PELLAX_BIGINT {
    PX_UINT32 len;
    PX_BYTE data[PELLAX_BIGINT_MAX_BYTES];
} PELLAX_BIGINT;

typedef enum PELLAX_LOG_TYPE {
    PELLAX_LOG_ERROR = 0,
    PELLAX_LOG_WARNING = 1,
    PELLAX_LOG_INFO = 2,
    PELLAX_LOG_DEBUG = 3
} PELLAX_LOG_TYPE;

/* Every code the library returns has its one name here. Texts live in pellax_err. */
enum {
    PELLAX_OK = 0,

    /* 1..99: resources, streams, crypto calls */
    PELLAX_ERR_ALLOC = 1,
    PELLAX_ERR_TIME = 2,
    PELLAX_ERR_OPEN_FILE = 3,
    PELLAX_ERR_BUFFER_SHORT = 4,
    PELLAX_ERR_TOO_LONG = 5,
    PELLAX_ERR_STREAM = 6,
    PELLAX_ERR_TRUNCATED = 7,
    PELLAX_ERR_INVALID_DATA = 9,
    PELLAX_ERR_BAD_LOGIC = 10,
    PELLAX_ERR_NODE_NOT_FOUND = 11,
    PELLAX_ERR_MD_CREATE = 12,
    PELLAX_ERR_MD_INIT = 13,
    PELLAX_ERR_MD_UPDATE = 14,
    PELLAX_ERR_MD_FINAL = 15,
    PELLAX_ERR_CRYPT_CREATE = 16,
    PELLAX_ERR_CRYPT_INIT = 17,
    PELLAX_ERR_CRYPT_UPDATE = 18,
    PELLAX_ERR_VERIFY = 19,
    PELLAX_ERR_DECODE = 22,
    PELLAX_ERR_ENCODE = 23,
    PELLAX_ERR_RANDOM = 24,
    PELLAX_ERR_SEC_CTX = 25,
    PELLAX_ERR_NODE_NO_DATA = 26,
    /* No text: a stream buffer just became full; a key block without a reachable key. */
    PELLAX_ERR_FULL = 30,

    /* 101..199: malformed or unsupported input data */
    PELLAX_ERR_HEADER_LINE = 101,
    PELLAX_ERR_FILE_FORMAT = 102,
    PELLAX_ERR_HASH_TYPE = 103,
    PELLAX_ERR_ARMOR_TAG = 104,
    PELLAX_ERR_CLEARSIGN = 105,
    PELLAX_ERR_CRC = 106,
    PELLAX_ERR_BASE64 = 107,
    PELLAX_ERR_NOT_DETACHED = 108,
    PELLAX_ERR_PK_VERSION = 109,
    PELLAX_ERR_READ_MORE = 113,
    PELLAX_ERR_DATA_OVER = 114,
    PELLAX_ERR_SUBPACKET = 115,
    PELLAX_ERR_DIGEST_STRING = 116,
    PELLAX_ERR_DIGEST_TYPE_STRING = 117,
    PELLAX_ERR_DIGEST_LENGTH = 118,
    PELLAX_ERR_NO_DIGEST_DATA = 119,
    PELLAX_ERR_TIMESTAMP = 120,
    PELLAX_ERR_CRYPT_ALGO = 121,
    PELLAX_ERR_PACKET_LENGTH = 122,
    PELLAX_ERR_NO_VALID_KEY = 123, /* no text */
    PELLAX_ERR_NOT_LOWER = 124,    /* no text */

    /* 201..299: parameters, tables, library state */
    PELLAX_ERR_PARAM = 201,
    PELLAX_ERR_CODE_INVALID = 202,
    PELLAX_ERR_CTX_TYPE = 203,
    PELLAX_ERR_DIGEST_PARAM = 204,
    PELLAX_ERR_SIZE_TAG = 205, /* no text */
    PELLAX_ERR_SYS_API = 206,  /* no text */
    PELLAX_ERR_MD_CALLBACK = 207,
    PELLAX_ERR_VRF_CALLBACK = 208,
    PELLAX_ERR_CALLBACKS_INCOMPLETE = 209, /* no text */
    PELLAX_ERR_CTX_SIZE = 210,             /* no text */
    PELLAX_ERR_NO_MSG_CALLBACK = 213,      /* no text */
    PELLAX_ERR_NOT_INITIALIZED = 214,      /* no text */
    PELLAX_ERR_PLT_SIZE = 215,             /* no text */

    /* 301..399 belong to the host's crypto provider; 400 closes the tables. */
    PELLAX_HOST_CODE_FIRST = 301,
    PELLAX_HOST_CODE_LAST = 399,
    PELLAX_ERR_TABLE_END = 400
};

#endif
