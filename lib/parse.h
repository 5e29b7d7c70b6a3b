/* OpenPGP packet parsing: framing, the bodies of key, user id, attribute, trust and signature
 * packets, signature subpackets, and key ids, fingerprints and the hashing of key material.
 * Every function logs its failures through pellax_log_func under the module name "parse". */
#ifndef PELLAX_PARSE_H
#define PELLAX_PARSE_H

#include "pellax_iobuf.h"
#include "pellax_packet.h"
#include "pellax_sys.h"

PELLAX_EXTERN_C_BEGIN

/* Reads the next packet of a kept type (2, 6, 12, 13, 14; 17 comes back as 13) into packet,
 * whose data must be null. Packets of other types are skipped, and so is the rest of their key
 * block: everything up to the next public key packet. The same holds for a key of a version or
 * algorithm the library does not take.
 * 0 with *end 0: packet holds one packet and the stream stands after it.
 * 0 with *end 1: no further packet; packet holds nothing new.
 * Other codes: 102 for a malformed header or body, the body parsers' codes, the stream's code
 * (114, 7) for data that end early. packet may then hold a partly filled record for
 * free_packet; the stream position is undefined. */
PELLAX_ERROR_CODE parse_packet(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                               PELLAX_PACKET *packet, int *end);

/* The body of a signature packet of packet_length octets into a new PELLAX_SIGNATURE in
 * packet->data. On failure the partly filled record stays there for free_packet. */
PELLAX_ERROR_CODE parse_signature(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                  PX_UINT32 packet_length, PELLAX_PACKET *packet);

/* One counted subpacket area; *remaining counts the packet octets not read yet and is lowered
 * by what is read. *area stays null for an empty area, or when fewer than two octets remained
 * for the count (nothing is read then). 102 for a count above 10000 or beyond the packet. */
PELLAX_ERROR_CODE read_hashed_or_unhashed_data(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                               PX_UINT32 *remaining, PELLAX_SUBPKT_AREA **area);

/* Walks length octets of subpackets.
 * Parse mode (out_length and out_data null): stores creation time, expiration and issuer in sig.
 * Lookup mode (both given): finds the first subpacket of wanted_type (critical flag ignored) and
 * points *out_data at its data octets, *out_length their count; both stay unchanged when there
 * is none. 115 for a malformed or too short subpacket, 2 when the clock fails, 201 for a mixed
 * pair of out pointers. */
PELLAX_ERROR_CODE parse_sig_subpkt(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *octets,
                                   uint64_t length, PELLAX_SIGNATURE *sig, int wanted_type,
                                   PX_UINT32 *out_length, const PX_BYTE **out_data);

/* PX_USAGE_* bits from the key flags subpacket of the hashed area; 0 without one. */
PELLAX_ERROR_CODE parse_key_usage(const PELLAX_PLT_FUNCS *plt, const PELLAX_SIGNATURE *sig,
                                  PX_UINT32 *usage);

/* The key expiration subpacket of the hashed area: seconds after key creation, 0 for none. */
PELLAX_ERROR_CODE parse_key_expire(const PELLAX_PLT_FUNCS *plt, const PELLAX_SIGNATURE *sig,
                                   PX_UINT32 *expire);

/* Takes the self-signature's time, key usage and key expiry (made absolute with key_created)
 * into the user id record. */
PELLAX_ERROR_CODE fixup_uidnode(const PELLAX_PLT_FUNCS *plt, PELLAX_USER_ID *uid,
                                const PELLAX_SIGNATURE *sig, PX_UINT32 key_created);

/* The first four octets, big-endian. */
PX_UINT32 buffer_to_u32(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *octets);

/* Key ids and fingerprints (version 4 keys: SHA-1 over the canonical key serialization). */

/* The MPI wire form of every non-empty key_material slot in a new host block (null for empty
 * slots), its length, and *total raised by the lengths. The caller starts *total at 6 and
 * releases the blocks; on failure none is left. */
PELLAX_ERROR_CODE get_public_key_material_and_total_bytes(const PELLAX_PLT_FUNCS *plt,
                                                          const PELLAX_PUBLIC_KEY *key,
                                                          PX_BYTE *buffers[4], PX_UINT32 lengths[4],
                                                          PX_UINT32 *total);

/* Feeds the canonical serialization (0x99, length, version, time, algorithm, MPIs) into a digest
 * context. 109 for a key version other than 4. */
PELLAX_ERROR_CODE hash_public_key(const PELLAX_CALLBACK_FUNCS *funcs, void *md_ctx,
                                  const PELLAX_PUBLIC_KEY *key);

/* The same octets into a signature-verification context. 109 for versions 3 and below. */
PELLAX_ERROR_CODE update_by_public_key(const PELLAX_CALLBACK_FUNCS *funcs, void *vrf_ctx,
                                       const PELLAX_PUBLIC_KEY *key);

/* The key id (two words, high first) into keyid (may be null); computes and caches fingerprint
 * and keyid in the key on first use. 109 for versions 3 and below; 15 when the digest callback
 * delivers other than 20 octets (nothing stored); the callbacks' codes otherwise. */
PELLAX_ERROR_CODE keyid_from_pk(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_PUBLIC_KEY *key,
                                PX_UINT32 *keyid);

/* The key id as "%08lX %08lX" (17 characters) into text when size exceeds 17; a smaller buffer
 * is left untouched and 0 returned. */
PELLAX_ERROR_CODE keystr_from_pk(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_PUBLIC_KEY *key,
                                 char *text, PX_ULONG size);

PELLAX_EXTERN_C_END

#endif
