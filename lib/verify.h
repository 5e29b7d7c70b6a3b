/* Verification of one detached signature against a key ring. Logs under the module name
 * "verify". */
#ifndef PELLAX_VERIFY_H
#define PELLAX_VERIFY_H

#include "mainproc.h"

PELLAX_EXTERN_C_BEGIN

/* sig_ctx holds the packets of the signature file: exactly one signature packet, first (other
 * packets may follow). Finds its issuer among the primary keys of keyring by key id, hashes the
 * source stream from its current position and the signature's trailer, and lets the provider
 * decide. *verdict is 1 only when the provider said 1 and the key has neither expired nor been
 * revoked; then *fingerprint (when given) points at the key's 20-octet fingerprint inside the
 * key ring. A missing key, a bad signature, an expired or revoked key: 0 with *verdict 0.
 * 102: the signature file holds no signature first, or more than one; 120/2: time checks;
 * otherwise the code of a failing stream, list or crypto call (*verdict 0). */
PELLAX_ERROR_CODE verify_detach_signature(const PELLAX_CALLBACK_FUNCS *funcs,
                                          PELLAX_MAINPROC_CTX *sig_ctx, PELLAX_IOBUF *source,
                                          PELLAX_LIST *keyring, const PX_BYTE **fingerprint,
                                          PX_UINT32 *verdict);

PELLAX_EXTERN_C_END

#endif
