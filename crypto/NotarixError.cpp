#include "NotarixError.h"

#include <type_traits>

#include "pellax_sys.h"

// Users see these texts and tests compare them byte for byte: keep them as they stand, the
// repeated text of 301 and 308 included.
const NOTARIX_ERR_MSG s_pgp_errs[] = {
    {301, "Get openssl evpmd struct error."},
    {302, "Initialize openssl digest progress error."},
    {303, "Update openssl digest data error."},
    {304, "Openssl digest final error."},
    {305, "Cache is too short to fill the digest result."},
    {306, "Create openssl public key error."},
    {307, "Initialize openssl crypt context error."},
    {308, "Get openssl evpmd struct error."},
    {309, "Update openssl verify crypt data error."},
    {310, "Read file error."},
    {PELLAX_ERR_TABLE_END, nullptr},
};

const char *GetPGPErrorMessage(PELLAX_ERROR_CODE code) {
    for (const NOTARIX_ERR_MSG *entry = s_pgp_errs; entry->code != PELLAX_ERR_TABLE_END; ++entry) {
        if (entry->code == code) {
            return entry->text;
        }
    }
    return nullptr;
}

static_assert(std::is_same<decltype(&GetPGPErrorMessage), PELLAX_USER_DEF_MSG_CALLBACK>::value,
              "the library takes GetPGPErrorMessage as its message callback");
