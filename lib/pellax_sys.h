/* Host services table, platform table, callback table and the library's one global table.
 * The library has no I/O, memory or clock of its own: everything goes through these slots. */
#ifndef PELLAX_SYS_H
#define PELLAX_SYS_H

#include <stdarg.h>

#include "pellax_types.h"

PELLAX_EXTERN_C_BEGIN

/* Slot order is part of the interface: the validity check walks the slots by position. */
typedef struct PELLAX_SYS_API {
    PX_ULONG size;
    void *(*malloc)(PX_ULONG size);
    int (*memset_s)(void *dest, PX_ULONG dest_size, int value, PX_ULONG count);
    int (*memmove_s)(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count);
    int (*memcpy_s)(void *dest, PX_ULONG dest_size, const void *src, PX_ULONG count);
    void (*free)(void *block);
    int (*memcmp)(const void *first, const void *second, PX_ULONG count);
    int (*strncmp)(const char *first, const char *second, PX_ULONG count);
    char *(*strstr)(const char *text, const char *pattern);
    char *(*strchr)(const char *text, int character);
    PX_ULONG (*strlen)(const char *text);
    int (*strcmp)(const char *first, const char *second);
    int (*strcpy_s)(char *dest, PX_ULONG dest_size, const char *src);
    int (*vsnprintf_s)(char *dest, PX_ULONG dest_size, PX_ULONG count, const char *format,
                       va_list args);
    void *(*fopen)(const char *path, const char *mode);
    PX_ULONG (*fread)(void *buffer, PX_ULONG length, void *handle);
    int (*fclose)(void *handle);
    PX_ULONG (*get_thread_id)(void);
    int64_t (*get_utc_time)(void); /* 0: the clock failed */
} PELLAX_SYS_API;

typedef void (*PELLAX_LOG_CALLBACK)(PELLAX_LOG_TYPE level, const char *file, int line,
                                    PX_ULONG thread_id, int64_t utc_time, int code,
                                    const char *message);
typedef const char *(*PELLAX_USER_DEF_MSG_CALLBACK)(PELLAX_ERROR_CODE code);

typedef struct PELLAX_PLT_FUNCS {
    PX_ULONG size;
    PELLAX_SYS_API sys;
    PELLAX_LOG_CALLBACK log_callback;
    PELLAX_USER_DEF_MSG_CALLBACK user_def_msg_callback;
} PELLAX_PLT_FUNCS;

/* Crypto callbacks registered by the host: 0 for success, the provider's code otherwise. */
typedef PELLAX_ERROR_CODE (*PELLAX_MD_CTX_CREATE)(void **ctx);
typedef PELLAX_ERROR_CODE (*PELLAX_MD_INIT)(void *ctx, int algorithm);
typedef PELLAX_ERROR_CODE (*PELLAX_MD_UPDATE)(void *ctx, const PX_BYTE *data, PX_UINT32 length);
/* length: capacity of output on entry, digest length on return */
typedef PELLAX_ERROR_CODE (*PELLAX_MD_FINAL)(void *ctx, PX_BYTE *output, PX_UINT32 *length);
typedef void (*PELLAX_MD_CTX_DESTORY)(void *ctx);
typedef PELLAX_ERROR_CODE (*PELLAX_VRF_CTX_CREATE)(void **ctx);
typedef PELLAX_ERROR_CODE (*PELLAX_VRF_INIT)(void *ctx, const PELLAX_BIGINT *e,
                                             const PELLAX_BIGINT *n, int algorithm);
typedef PELLAX_ERROR_CODE (*PELLAX_VRF_UPDATE)(void *ctx, const PX_BYTE *data, PX_UINT32 length);
/* verdict: 1 for a good signature, else 0; the result is 0 when the check could be made */
typedef PELLAX_ERROR_CODE (*PELLAX_VRF_FINAL)(void *ctx, const PX_BYTE *signature, PX_UINT32 length,
                                              int *verdict);
typedef void (*PELLAX_VRF_CTX_DESTORY)(void *ctx);

typedef struct PELLAX_CALLBACK_FUNCS {
    PX_ULONG size;
    PELLAX_PLT_FUNCS plt;
    PELLAX_VRF_CTX_CREATE crypto_vrf_ctx_create;
    PELLAX_VRF_INIT crypto_vrf_init;
    PELLAX_VRF_UPDATE crypto_vrf_update;
    PELLAX_VRF_FINAL crypto_vrf_final;
    PELLAX_VRF_CTX_DESTORY crypto_vrf_ctx_destory;
    PELLAX_MD_CTX_CREATE crypto_md_ctx_create;
    PELLAX_MD_INIT crypto_md_init;
    PELLAX_MD_UPDATE crypto_md_update;
    PELLAX_MD_FINAL crypto_md_final;
    PELLAX_MD_CTX_DESTORY crypto_md_ctx_destory;
} PELLAX_CALLBACK_FUNCS;

/* All zero until pellax_old_library_initialize succeeds; written only while the host sets up. */
extern PELLAX_CALLBACK_FUNCS s_kitCallbackFuncs;

/* Clears the global table and copies sys into it (crypto, log and message callbacks are
 * dropped). 201: sys is null; 206: sys is incomplete or has a wrong size tag. The caller may
 * discard its own table afterwards. */
PELLAX_ERROR_CODE pellax_old_library_initialize(const PELLAX_SYS_API *sys);

/* Service wrappers: pass the call to the slot unchanged. They test nothing; callers work on a
 * table that an entry point has already checked. */
void *pellax_malloc(const PELLAX_SYS_API *sys, PX_ULONG size);
int pellax_memset_s(const PELLAX_SYS_API *sys, void *dest, PX_ULONG dest_size, int value,
                    PX_ULONG count);
int pellax_memmove_s(const PELLAX_SYS_API *sys, void *dest, PX_ULONG dest_size, const void *src,
                     PX_ULONG count);
int pellax_memcpy_s(const PELLAX_SYS_API *sys, void *dest, PX_ULONG dest_size, const void *src,
                    PX_ULONG count);
void pellax_free(const PELLAX_SYS_API *sys, void *block);
/* A block of size bytes filled with zero, or null (nothing left allocated). */
void *pellax_malloc_zeroed(const PELLAX_SYS_API *sys, PX_ULONG size);
int pellax_memcmp(const PELLAX_SYS_API *sys, const void *first, const void *second, PX_ULONG count);
int pellax_strncmp(const PELLAX_SYS_API *sys, const char *first, const char *second,
                   PX_ULONG count);
char *pellax_strstr(const PELLAX_SYS_API *sys, const char *text, const char *pattern);
char *pellax_strchr(const PELLAX_SYS_API *sys, const char *text, int character);
PX_ULONG pellax_strlen(const PELLAX_SYS_API *sys, const char *text);
int pellax_strcmp(const PELLAX_SYS_API *sys, const char *first, const char *second);
int pellax_strcpy_s(const PELLAX_SYS_API *sys, char *dest, PX_ULONG dest_size, const char *src);
int pellax_vsnprintf_s(const PELLAX_SYS_API *sys, char *dest, PX_ULONG dest_size, PX_ULONG count,
                       const char *format, va_list args);
int pellax_snprintf_s(const PELLAX_SYS_API *sys, char *dest, PX_ULONG dest_size, PX_ULONG count,
                      const char *format, ...) PELLAX_PRINTF_FMT(5, 6);
void *pellax_fopen(const PELLAX_SYS_API *sys, const char *path, const char *mode);
PX_ULONG pellax_fread(const PELLAX_SYS_API *sys, void *buffer, PX_ULONG length, void *handle);
int pellax_fclose(const PELLAX_SYS_API *sys, void *handle);
PX_ULONG pellax_get_thread_id(const PELLAX_SYS_API *sys);
int64_t pellax_get_utc_time(const PELLAX_SYS_API *sys);

PELLAX_EXTERN_C_END

#endif
