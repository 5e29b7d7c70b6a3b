#include "pellax_sys.h"

#include "pellax_plt_st_check.h"

PELLAX_CALLBACK_FUNCS s_kitCallbackFuncs;

PELLAX_ERROR_CODE pellax_old_library_initialize(const PELLAX_SYS_API *sys) {
    if (sys == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (!pellax_sys_is_all_sys_api_valid(sys)) {
        return PELLAX_ERR_SYS_API;
    }
    // Starting over drops every callback registered before, so a host re-initializing the
    // library cannot keep a half-replaced set.
    sys->memset_s(&s_kitCallbackFuncs, sizeof s_kitCallbackFuncs, 0, sizeof s_kitCallbackFuncs);
    if (sys->memcpy_s(&s_kitCallbackFuncs.plt.sys, sizeof s_kitCallbackFuncs.plt.sys, sys,
                      sizeof *sys) != 0) {
        // A host copy that refuses a fitting copy leaves the table empty, never half filled.
        sys->memset_s(&s_kitCallbackFuncs, sizeof s_kitCallbackFuncs, 0, sizeof s_kitCallbackFuncs);
        return PELLAX_ERR_SYS_API;
    }
    s_kitCallbackFuncs.plt.size = sizeof(PELLAX_PLT_FUNCS);
    s_kitCallbackFuncs.size = sizeof(PELLAX_CALLBACK_FUNCS);
    return PELLAX_OK;
}

void *pellax_malloc(const PELLAX_SYS_API *sys, PX_ULONG size) {
    return sys->malloc(size);
}

int pellax_memset_s(const PELLAX_SYS_API *sys, void *dest, PX_ULONG dest_size, int value,
                    PX_ULONG count) {
    return sys->memset_s(dest, dest_size, value, count);
}

int pellax_memmove_s(const PELLAX_SYS_API *sys, void *dest, PX_ULONG dest_size, const void *src,
                     PX_ULONG count) {
    return sys->memmove_s(dest, dest_size, src, count);
}

int pellax_memcpy_s(const PELLAX_SYS_API *sys, void *dest, PX_ULONG dest_size, const void *src,
                    PX_ULONG count) {
    return sys->memcpy_s(dest, dest_size, src, count);
}

void pellax_free(const PELLAX_SYS_API *sys, void *block) {
    sys->free(block);
}

void *pellax_malloc_zeroed(const PELLAX_SYS_API *sys, PX_ULONG size) {
    void *block = sys->malloc(size);
    if (block != nullptr && size != 0 && sys->memset_s(block, size, 0, size) != 0) {
        sys->free(block);
        return nullptr;
    }
    return block;
}

int pellax_memcmp(const PELLAX_SYS_API *sys, const void *first, const void *second,
                  PX_ULONG count) {
    return sys->memcmp(first, second, count);
}

int pellax_strncmp(const PELLAX_SYS_API *sys, const char *first, const char *second,
                   PX_ULONG count) {
    return sys->strncmp(first, second, count);
}

char *pellax_strstr(const PELLAX_SYS_API *sys, const char *text, const char *pattern) {
    return sys->strstr(text, pattern);
}

char *pellax_strchr(const PELLAX_SYS_API *sys, const char *text, int character) {
    return sys->strchr(text, character);
}

PX_ULONG pellax_strlen(const PELLAX_SYS_API *sys, const char *text) {
    return sys->strlen(text);
}

int pellax_strcmp(const PELLAX_SYS_API *sys, const char *first, const char *second) {
    return sys->strcmp(first, second);
}

int pellax_strcpy_s(const PELLAX_SYS_API *sys, char *dest, PX_ULONG dest_size, const char *src) {
    return sys->strcpy_s(dest, dest_size, src);
}

int pellax_vsnprintf_s(const PELLAX_SYS_API *sys, char *dest, PX_ULONG dest_size, PX_ULONG count,
                       const char *format, va_list args) {
    return sys->vsnprintf_s(dest, dest_size, count, format, args);
}

int pellax_snprintf_s(const PELLAX_SYS_API *sys, char *dest, PX_ULONG dest_size, PX_ULONG count,
                      const char *format, ...) {
    va_list args;
    va_start(args, format);
    int result = sys->vsnprintf_s(dest, dest_size, count, format, args);
    va_end(args);
    return result;
}

void *pellax_fopen(const PELLAX_SYS_API *sys, const char *path, const char *mode) {
    return sys->fopen(path, mode);
}

PX_ULONG pellax_fread(const PELLAX_SYS_API *sys, void *buffer, PX_ULONG length, void *handle) {
    return sys->fread(buffer, length, handle);
}

int pellax_fclose(const PELLAX_SYS_API *sys, void *handle) {
    return sys->fclose(handle);
}

PX_ULONG pellax_get_thread_id(const PELLAX_SYS_API *sys) {
    return sys->get_thread_id();
}

int64_t pellax_get_utc_time(const PELLAX_SYS_API *sys) {
    return sys->get_utc_time();
}
