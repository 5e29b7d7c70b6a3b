#include "pellax_err.h"

#include "pellax_plt_st_check.h"

namespace {

struct ErrMsg {
    PELLAX_ERROR_CODE code;
    const char *text;
};

// Front ends show these texts and tests compare them byte for byte: keep them exactly as they
// are, odd wording and missing full stops included. The order matters too (first match wins).
constexpr ErrMsg s_err_msgs[] = {
    {0, "No error."},
    {1, "Alloc memory error."},
    {2, "Get current time error."},
    {3, "Open file to read error."},
    {4, "Buffer is too short, can't fill the data."},
    {5, "Data is too long."},
    {6, "The operate of stream failed."},
    {7, "The is truncate."},
    {9, "Data is not valid."},
    {10, "Bad logic."},
    {11, "List node not found."},
    {12, "Create message digest context error."},
    {13, "Initialize message digest context error."},
    {14, "Update message digest context error."},
    {15, "Calculate message digest error."},
    {16, "Create crypt context error."},
    {17, "Initialize crypt context error."},
    {18, "Update crypt contest error."},
    {19, "Verify signature data error."},
    {207, "Message digest callback function error.Maybe is null."},
    {208, "Crypt callback function error.Maybe is null."},
    {22, "Decode security data error."},
    {23, "Encode security data error."},
    {24, "Generate random code error."},
    {25, "Create security context error."},
    {26, "List node has no data."},
    {101, "Header line is invalid."},
    {102, "File format error."},
    {103, "File hash type error."},
    {104, "Invalid armor tag"},
    {105, "Clear signature not support."},
    {106, "Crc is invalid"},
    {107, "Base64 is invalid."},
    {108, "File is not a detach signature file."},
    {109, "Public key version is not supported."},
    {113, "Read more data from stream error."},
    {114, "Data is over."},
    {115, "Invalid signature sub packet."},
    {116, "Digest string is not valid."},
    {117, "Digest type string is not valid."},
    {118, "Digest data length is not right."},
    {119, "No valid file digest data."},
    {120, "Timestamp is invalid."},
    {121, "Crypt algorithm is not supported."},
    {201, "Parameter error."},
    {202, "Error code is invalid."},
    {203, "Context type error."},
    {204, "Digest parameter is invalid."},
    {122, "Packet length item is too long."},
    {PELLAX_ERR_TABLE_END, nullptr},
};

}  // namespace

PELLAX_ERROR_CODE pellax_get_err_msg(const PELLAX_PLT_FUNCS *plt, PELLAX_ERROR_CODE code,
                                     const char **text) {
    if (code >= PELLAX_ERR_TABLE_END) {
        return PELLAX_ERR_CODE_INVALID;
    }
    if (plt == nullptr || text == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (code >= PELLAX_HOST_CODE_FIRST) {
        // The host's crypto provider owns these codes and their texts.
        if (plt->user_def_msg_callback == nullptr) {
            return PELLAX_ERR_NO_MSG_CALLBACK;
        }
        *text = plt->user_def_msg_callback(code);
        return PELLAX_OK;
    }
    *text = nullptr;
    for (const ErrMsg *entry = s_err_msgs; entry->code != PELLAX_ERR_TABLE_END; ++entry) {
        if (entry->code == code) {
            *text = entry->text;
            break;
        }
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_get_error_string_from_error_code(PELLAX_ERROR_CODE code,
                                                          const char **text) {
    if (!pellax_global_table_ready()) {
        return PELLAX_ERR_NOT_INITIALIZED;
    }
    return pellax_get_err_msg(&s_kitCallbackFuncs.plt, code, text);
}

const char *fips_pellax_version(void) {
    return PELLAX_VERSION_TEXT;
}

const char *pellax_version(void) {
    return fips_pellax_version();
}
