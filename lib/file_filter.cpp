#include "file_filter.h"

#include "pellax_log.h"
#include "pellax_plt_st_check.h"

const char FILE_FILTER_NAME[] = "file";

namespace {

const char kModule[] = "file_filter";

// Hosts are asked for at most this much per read.
constexpr PX_UINT32 kReadChunk = 256;

PELLAX_ERROR_CODE filefilter_ctx_create(const PELLAX_PLT_FUNCS *plt, PELLAX_FILEFILTER_CTX **ctx) {
    PELLAX_FILEFILTER_CTX *created =
        static_cast<PELLAX_FILEFILTER_CTX *>(pellax_malloc_zeroed(&plt->sys, sizeof *created));
    if (created == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, alloc size: 0x%x.",
                     static_cast<unsigned>(sizeof *created));
        return PELLAX_ERR_ALLOC;
    }
    *ctx = created;
    return PELLAX_OK;
}

void close_file(const PELLAX_PLT_FUNCS *plt, PELLAX_FILEFILTER_CTX *ctx) {
    if (ctx->fp != nullptr) {
        pellax_fclose(&plt->sys, ctx->fp);
        ctx->fp = nullptr;
    }
}

// Fills the stream's free space from the file in host reads of at most 256 bytes. A read of
// nothing is the end of the file: the file is closed at once, whatever the stream still holds.
PELLAX_ERROR_CODE on_underflow(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                               PELLAX_FILEFILTER_CTX *ctx) {
    if (ctx->eof) {
        PX_LOG_INFO(plt, PELLAX_OK, "file stream is over, iobuf: 0x%08x.", PX_PTR(stream));
        return PELLAX_OK;
    }
    PX_UINT32 space = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_space_size(plt, stream, &space);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc,
                     "pellax_iobuf_get_space_size error, iobuf: 0x%08x, &space_size: 0x%08x.",
                     PX_PTR(stream), PX_PTR(&space));
        return rc;
    }
    if (space == 0) {
        return PELLAX_OK;
    }
    PX_BYTE *chunk = static_cast<PX_BYTE *>(pellax_malloc(&plt->sys, kReadChunk));
    if (chunk == nullptr || pellax_memset_s(&plt->sys, chunk, kReadChunk, 0, kReadChunk) != 0) {
        if (chunk != nullptr) {
            pellax_free(&plt->sys, chunk);
        }
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, alloc size: 0x%x.", kReadChunk);
        return PELLAX_ERR_ALLOC;
    }
    PX_UINT32 remaining = space;
    for (;;) {
        const PX_UINT32 ask = remaining < kReadChunk ? remaining : kReadChunk;
        PX_ULONG got = pellax_fread(&plt->sys, chunk, ask, ctx->fp);
        if (got == 0) {
            pellax_free(&plt->sys, chunk);
            close_file(plt, ctx);
            ctx->eof = 1;
            return PELLAX_OK;
        }
        // A host answering more than asked must not push the stream past its space.
        const PX_UINT32 n = got > ask ? ask : static_cast<PX_UINT32>(got);
        rc = fips_pellax_iobuf_write(plt, stream, chunk, n);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_write error.");
            pellax_free(&plt->sys, chunk);
            return rc;
        }
        remaining -= n;
        if (remaining == 0) {
            pellax_free(&plt->sys, chunk);
            return PELLAX_OK;
        }
    }
}

PELLAX_ERROR_CODE on_free(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                          PELLAX_FILEFILTER_CTX *ctx) {
    if (ctx != nullptr) {
        close_file(plt, ctx);
        filefilter_ctx_free(plt, ctx);
    }
    stream->filter_ctx = nullptr;
    stream->filter_name = nullptr;
    fips_pellax_iobuf_clean_buffer(plt, stream);
    return PELLAX_OK;
}

}  // namespace

PELLAX_ERROR_CODE pellax_open_file_filter(const PELLAX_PLT_FUNCS *plt, const char *path,
                                          const char *mode, PELLAX_IOBUF **stream) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (path == nullptr || mode == nullptr || stream == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM,
                     "Parameter error, path: 0x%08x, mode: 0x%08x, iobuf: 0x%08x.", PX_PTR(path),
                     PX_PTR(mode), PX_PTR(stream));
        return PELLAX_ERR_PARAM;
    }
    *stream = nullptr;
    PELLAX_FILEFILTER_CTX *ctx = nullptr;
    rc = filefilter_ctx_create(plt, &ctx);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "filefilter_ctx_create error.");
        return rc;
    }
    ctx->fp = pellax_fopen(&plt->sys, path, mode);
    if (ctx->fp == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_OK, "pellax_fopen error, file path: %s, mode: %s.", path, mode);
        filefilter_ctx_free(plt, ctx);
        return PELLAX_ERR_OPEN_FILE;
    }
    // The filter's initialisation cannot fail, so a failure here comes before it owns ctx.
    rc = fips_pellax_iobuf_create_and_init(plt, file_filter, ctx, stream);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_create_and_init error.");
        close_file(plt, ctx);
        filefilter_ctx_free(plt, ctx);
        return rc;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE file_filter(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, int command) {
    if (plt == nullptr || stream == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    PELLAX_FILEFILTER_CTX *ctx = static_cast<PELLAX_FILEFILTER_CTX *>(stream->filter_ctx);
    switch (command) {
        case FILTER_CMD_INIT:
            stream->filter_name = FILE_FILTER_NAME;
            return PELLAX_OK;
        case FILTER_CMD_UNDERFLOW:
            if (ctx == nullptr) {
                return PELLAX_ERR_PARAM;
            }
            return on_underflow(plt, stream, ctx);
        case FILTER_CMD_FREE:
            return on_free(plt, stream, ctx);
        default:
            return PELLAX_OK;
    }
}

void filefilter_ctx_free(const PELLAX_PLT_FUNCS *plt, PELLAX_FILEFILTER_CTX *ctx) {
    if (plt != nullptr && ctx != nullptr) {
        pellax_free(&plt->sys, ctx);
    }
}
