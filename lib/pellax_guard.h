/* Scope guards over host memory for the library's C++ internals (not part of the C interface). */
#ifndef PELLAX_GUARD_H
#define PELLAX_GUARD_H

#include "pellax_sys.h"

// One host block, released through the host's free on every exit unless ownership moves on.
class HostBlock {
  public:
    HostBlock(const PELLAX_PLT_FUNCS *plt, void *block) : sys_(&plt->sys), block_(block) {}
    ~HostBlock() {
        if (block_ != nullptr) {
            pellax_free(sys_, block_);
        }
    }
    HostBlock(const HostBlock &) = delete;
    HostBlock &operator=(const HostBlock &) = delete;
    void *get() const { return block_; }
    void *release() {
        void *block = block_;
        block_ = nullptr;
        return block;
    }

  private:
    const PELLAX_SYS_API *sys_;
    void *block_;
};

#endif
