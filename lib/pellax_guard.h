/* Scope guards for the library's C++ internals (not part of the C interface): host memory,
 * streams and crypto contexts, each released through the host or the provider on every exit. */
#ifndef PELLAX_GUARD_H
#define PELLAX_GUARD_H

#include "pellax_crypto.h"
#include "pellax_iobuf.h"
#include "pellax_sys.h"

// One host block, released through the host's free unless ownership moves on.
template <typename T = void>
class HostBlock {
  public:
    explicit HostBlock(const PELLAX_PLT_FUNCS *plt, T *block = nullptr)
        : sys_(&plt->sys), block_(block) {}
    ~HostBlock() { reset(); }
    HostBlock(const HostBlock &) = delete;
    HostBlock &operator=(const HostBlock &) = delete;
    T *get() const { return block_; }
    T *release() {
        T *block = block_;
        block_ = nullptr;
        return block;
    }
    // Frees the block now.
    void reset() {
        if (block_ != nullptr) {
            pellax_free(sys_, block_);
            block_ = nullptr;
        }
    }
    // A fresh block of this many bytes in place of the one held; false when the host has none.
    bool allocate(PX_ULONG bytes) {
        reset();
        block_ = static_cast<T *>(pellax_malloc(sys_, bytes));
        return block_ != nullptr;
    }
    // For callees that store a block of their own making, or grow the one held.
    T **slot() { return &block_; }

  private:
    const PELLAX_SYS_API *sys_;
    T *block_;
};

// Owns a stream; stacked streams are released by their own guards first.
class StreamGuard {
  public:
    explicit StreamGuard(const PELLAX_PLT_FUNCS *plt) : plt_(plt) {}
    ~StreamGuard() { reset(); }
    StreamGuard(const StreamGuard &) = delete;
    StreamGuard &operator=(const StreamGuard &) = delete;
    PELLAX_IOBUF **out() { return &stream_; }
    PELLAX_IOBUF *get() const { return stream_; }
    // Closes the stream now.
    void reset() {
        fips_pellax_iobuf_free(plt_, stream_);
        stream_ = nullptr;
    }

  private:
    const PELLAX_PLT_FUNCS *plt_;
    PELLAX_IOBUF *stream_ = nullptr;
};

// Owns a context of the crypto provider, destroyed through the slot Destroy names.
template <PELLAX_ERROR_CODE (*Destroy)(const PELLAX_CALLBACK_FUNCS *, void *)>
class CryptoCtxGuard {
  public:
    explicit CryptoCtxGuard(const PELLAX_CALLBACK_FUNCS *funcs) : funcs_(funcs) {}
    ~CryptoCtxGuard() { reset(); }
    CryptoCtxGuard(const CryptoCtxGuard &) = delete;
    CryptoCtxGuard &operator=(const CryptoCtxGuard &) = delete;
    void **out() { return &ctx_; }
    void *get() const { return ctx_; }
    // Destroys the context now (for callers that log after releasing it).
    void reset() {
        if (ctx_ != nullptr) {
            Destroy(funcs_, ctx_);
            ctx_ = nullptr;
        }
    }

  private:
    const PELLAX_CALLBACK_FUNCS *funcs_;
    void *ctx_ = nullptr;
};

using PellaxVrfCtxGuard = CryptoCtxGuard<pellax_crypto_vrf_ctx_destory>;
using PellaxMdCtxGuard = CryptoCtxGuard<pellax_crypto_md_ctx_destory>;

#endif
