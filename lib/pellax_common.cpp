#include "pellax_common.h"

#include "pellax_log.h"
#include "pellax_plt_st_check.h"

namespace {

const char kModule[] = "pellax_common";

// Two octets of bit count precede the magnitude in the OpenPGP integer form.
constexpr PX_UINT32 kMpiHeader = 2;

// A stored length above the record's capacity would walk past the record.
bool bigint_len_ok(const PELLAX_BIGINT *value) {
    return value->len <= PELLAX_BIGINT_MAX_BYTES;
}

int hex_value(int character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + 10;
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    return -1;
}

// One hex character to its value; checks the table again like every helper step does.
PELLAX_ERROR_CODE to_hex_char(const PELLAX_PLT_FUNCS *plt, char character, PX_BYTE *nibble) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    int v = hex_value(static_cast<unsigned char>(character));
    if (v < 0) {
        return PELLAX_ERR_INVALID_DATA;
    }
    *nibble = static_cast<PX_BYTE>(v);
    return PELLAX_OK;
}

}  // namespace

PELLAX_ERROR_CODE pellax_common_get_bigint_nbits(const PELLAX_PLT_FUNCS *plt,
                                                 const PELLAX_BIGINT *value, uint64_t *nbits) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (value == nullptr || nbits == nullptr || !bigint_len_ok(value)) {
        return PELLAX_ERR_PARAM;
    }
    uint64_t leading_zeros = 0;
    PX_UINT32 i = 0;
    while (i < value->len && value->data[i] == 0) {
        leading_zeros += 8;
        ++i;
    }
    if (i == value->len) {
        *nbits = 0;
        return PELLAX_OK;
    }
    for (PX_BYTE mask = 0x80; (value->data[i] & mask) == 0; mask >>= 1) {
        ++leading_zeros;
    }
    *nbits = 8ull * value->len - leading_zeros;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_common_bigint_print(const PELLAX_PLT_FUNCS *plt,
                                             const PELLAX_BIGINT *value, PX_BYTE *output,
                                             PX_UINT32 *r_len, PX_UINT32 *size) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (value == nullptr || size == nullptr || !bigint_len_ok(value)) {
        return PELLAX_ERR_PARAM;
    }
    const PX_UINT32 need = value->len + kMpiHeader;
    if (output == nullptr) {
        *size = need;
        return PELLAX_OK;
    }
    if (r_len == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_PARAM, "Parameter error, r_len is null.");
        return PELLAX_ERR_PARAM;
    }
    if (*size < need) {
        PX_LOG_ERROR(plt, PELLAX_ERR_BUFFER_SHORT,
                     "Memory size is satisfied with the big integer data: need: 0x%x, size: 0x%x.",
                     need, *size);
        return PELLAX_ERR_BUFFER_SHORT;
    }
    uint64_t nbits = 0;
    rc = pellax_common_get_bigint_nbits(plt, value, &nbits);
    if (rc != PELLAX_OK) {
        return rc;
    }
    output[0] = static_cast<PX_BYTE>(nbits >> 8);
    output[1] = static_cast<PX_BYTE>(nbits);
    if (value->len != 0 && pellax_memcpy_s(&plt->sys, output + kMpiHeader, *size - kMpiHeader,
                                           value->data, value->len) != 0) {
        return PELLAX_ERR_BUFFER_SHORT;
    }
    *r_len = need;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_common_ascii_toupper(const PELLAX_PLT_FUNCS *plt, PX_UINT32 character,
                                              int *value) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (value == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    if (character < 'a' || character > 'z') {
        return PELLAX_ERR_NOT_LOWER;
    }
    *value &= ~0x20;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_common_isxdigist(const PELLAX_PLT_FUNCS *plt, int character, int *flag) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (flag == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    *flag = hex_value(character & 0xFF) >= 0 ? 1 : 0;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_common_isdigit(const PELLAX_PLT_FUNCS *plt, int character, int *flag) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (flag == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    const int c = character & 0xFF;
    *flag = (c >= '0' && c <= '9') ? 1 : 0;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_common_copy_string(const PELLAX_PLT_FUNCS *plt, char **copy,
                                            const char *source, PX_UINT32 n) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (copy == nullptr || (source == nullptr && n != 0)) {
        return PELLAX_ERR_PARAM;
    }
    *copy = nullptr;
    // Computed wide: n + 1 must not wrap where PX_ULONG has 32 bits.
    const uint64_t block_size = static_cast<uint64_t>(n) + 1;
    if (block_size > static_cast<PX_ULONG>(-1)) {
        return PELLAX_ERR_TOO_LONG;
    }
    const PX_ULONG alloc_size = static_cast<PX_ULONG>(block_size);
    char *block = static_cast<char *>(pellax_malloc_zeroed(&plt->sys, alloc_size));
    if (block == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc error, alloc memory size: 0x%x.",
                     static_cast<unsigned>(alloc_size));
        return PELLAX_ERR_ALLOC;
    }
    if (n != 0 && pellax_memcpy_s(&plt->sys, block, alloc_size, source, n) != 0) {
        pellax_free(&plt->sys, block);
        return PELLAX_ERR_ALLOC;
    }
    *copy = block;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_common_realloc(const PELLAX_PLT_FUNCS *plt, void *old_block,
                                        PX_UINT32 old_length, PX_UINT32 new_size,
                                        void **new_block) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (new_block == nullptr || old_length > new_size ||
        (old_block == nullptr && old_length != 0)) {
        return PELLAX_ERR_PARAM;
    }
    *new_block = nullptr;
    PX_BYTE *block = static_cast<PX_BYTE *>(pellax_malloc_zeroed(&plt->sys, new_size));
    if (block == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, alloc size: 0x%x.", new_size);
        return PELLAX_ERR_ALLOC;
    }
    if (old_length != 0 &&
        pellax_memcpy_s(&plt->sys, block, new_size, old_block, old_length) != 0) {
        // The caller keeps its old block, as with a failed allocation.
        pellax_free(&plt->sys, block);
        return PELLAX_ERR_ALLOC;
    }
    if (old_block != nullptr) {
        pellax_free(&plt->sys, old_block);
    }
    *new_block = block;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE pellax_common_hexstring_to_hexdata(const PELLAX_PLT_FUNCS *plt, const char *hex,
                                                     PX_UINT32 hex_len, PX_UINT32 *data_len,
                                                     PX_BYTE **data) {
    PELLAX_ERROR_CODE rc = pellax_plt_check_funcs_valid(plt);
    if (rc != PELLAX_OK) {
        return rc;
    }
    if (data_len == nullptr || data == nullptr || (hex == nullptr && hex_len != 0)) {
        return PELLAX_ERR_PARAM;
    }
    if (hex_len % 2 != 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_INVALID_DATA,
                     "Data is not integer multiple of 2, data length: 0x%x.", hex_len);
        return PELLAX_ERR_INVALID_DATA;
    }
    const PX_UINT32 out_len = hex_len / 2;
    // An empty text still yields a block, so callers always own something to free.
    const PX_ULONG alloc_size = out_len == 0 ? 1 : out_len;
    PX_BYTE *out = static_cast<PX_BYTE *>(pellax_malloc_zeroed(&plt->sys, alloc_size));
    if (out == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, size: 0x%x.", out_len);
        return PELLAX_ERR_ALLOC;
    }
    *data_len = 0;
    for (PX_UINT32 i = 0; i < hex_len; ++i) {
        PX_BYTE nibble = 0;
        rc = to_hex_char(plt, hex[i], &nibble);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, PELLAX_OK, "to_hex_char error, char: 0x%08x.",
                         static_cast<unsigned>(static_cast<int>(static_cast<signed char>(hex[i]))));
            pellax_free(&plt->sys, out);
            *data = nullptr;
            return rc;
        }
        out[i / 2] |= (i % 2 == 0) ? static_cast<PX_BYTE>(nibble << 4) : nibble;
    }
    *data_len = out_len;
    *data = out;
    return PELLAX_OK;
}
