#include "pellax_plt_st_check.h"

#include <stddef.h>
#include <string.h>

namespace {

using AnySlot = void (*)(void);

// Byte span of the slots from `first` through `last`, for the group test.
constexpr PX_ULONG slot_span(size_t first, size_t last) {
    return static_cast<PX_ULONG>(last - first + sizeof(AnySlot));
}

const PX_BYTE *slot_at(const PELLAX_SYS_API *sys, size_t offset) {
    return reinterpret_cast<const PX_BYTE *>(sys) + offset;
}

}  // namespace

int pellax_sys_sub_st_api_valid(const void *first_slot, PX_ULONG byte_length) {
    if (first_slot == nullptr) {
        return 0;
    }
    const PX_BYTE *bytes = static_cast<const PX_BYTE *>(first_slot);
    for (PX_ULONG i = 0; i < byte_length / sizeof(AnySlot); ++i) {
        AnySlot slot;
        // Read each slot's representation: the table is a record of distinct pointer types.
        memcpy(&slot, bytes + i * sizeof(AnySlot), sizeof slot);
        if (slot == nullptr) {
            return 0;
        }
    }
    return 1;
}

int pellax_sys_is_all_sys_api_valid(const PELLAX_SYS_API *sys) {
    if (sys == nullptr || sys->size != sizeof(PELLAX_SYS_API)) {
        return 0;
    }
    // Memory, files, clock and thread, then strings: the order the checks have always run in.
    static constexpr struct {
        size_t first;
        size_t last;
    } kGroups[] = {
        {offsetof(PELLAX_SYS_API, malloc), offsetof(PELLAX_SYS_API, memcmp)},
        {offsetof(PELLAX_SYS_API, fopen), offsetof(PELLAX_SYS_API, fclose)},
        {offsetof(PELLAX_SYS_API, get_thread_id), offsetof(PELLAX_SYS_API, get_utc_time)},
        {offsetof(PELLAX_SYS_API, strncmp), offsetof(PELLAX_SYS_API, vsnprintf_s)},
    };
    for (const auto &group : kGroups) {
        if (!pellax_sys_sub_st_api_valid(slot_at(sys, group.first),
                                         slot_span(group.first, group.last))) {
            return 0;
        }
    }
    return 1;
}

PELLAX_ERROR_CODE pellax_plt_check_funcs_valid(const PELLAX_PLT_FUNCS *plt) {
    if (plt == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (plt->size != sizeof(PELLAX_PLT_FUNCS)) {
        return PELLAX_ERR_PLT_SIZE;
    }
    if (!pellax_sys_is_all_sys_api_valid(&plt->sys)) {
        return PELLAX_ERR_SYS_API;
    }
    return PELLAX_OK;
}

int pellax_global_table_ready(void) {
    return s_kitCallbackFuncs.size == sizeof(PELLAX_CALLBACK_FUNCS) &&
           s_kitCallbackFuncs.plt.size == sizeof(PELLAX_PLT_FUNCS);
}
