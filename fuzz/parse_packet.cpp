// parse_packet over a fuzzed stream until the end flag or an error, each packet checked against
// the limits of its record and released. Keys also get their key id, signatures have their
// hashed area searched the way key validation searches it.
#include <cstring>

#include "free_packet.h"
#include "fuzz_host.h"
#include "parse.h"
#include "targets.h"

namespace {

void check_key(PELLAX_PUBLIC_KEY *key) {
    fuzz::check(key->version == 4 && key->algorithm == 1, "key of another version or algorithm");
    for (PX_UINT32 slot = 0; slot < PELLAX_KEY_MATERIAL_SLOTS; ++slot) {
        const PX_UINT32 len = key->key_material[slot].len;
        fuzz::check(len <= PELLAX_BIGINT_MAX_BYTES && (slot < 2 || len == 0), "key material slot");
    }
    char text[18];
    fuzz::check(keystr_from_pk(&fuzz::callbacks(), key, text, sizeof text) == PELLAX_OK,
                "no key id for a parsed key");
    fuzz::check(std::strlen(text) == 17, "key id text");
}

void check_area(const PELLAX_SUBPKT_AREA *area) {
    fuzz::check(area == nullptr || (area->length == area->capacity && area->length != 0 &&
                                    area->length <= PELLAX_SUBPKT_AREA_MAX),
                "subpacket area size");
}

void check_signature(const PELLAX_PLT_FUNCS *plt, const PELLAX_SIGNATURE *sig) {
    fuzz::check(sig->version == 4, "signature of another version");
    check_area(sig->hashed_area);
    check_area(sig->unhashed_area);
    fuzz::check(
        sig->signature_value[0].len <= PELLAX_BIGINT_MAX_BYTES && sig->signature_value[1].len == 0,
        "signature value size");
    fuzz::check(sig->key_algorithm == 0 || sig->signature_value[0].len != 0,
                "signature without a value");
    PX_UINT32 usage = 0;
    PX_UINT32 expire = 0;
    (void)parse_key_usage(plt, sig, &usage);
    (void)parse_key_expire(plt, sig, &expire);
}

void check_user_id(const PELLAX_USER_ID *uid) {
    // A user id keeps its octets as they stand, zero octets included; a description has none.
    const bool attribute = uid->attribute_data != nullptr || uid->attribute_length != 0;
    fuzz::check(
        uid->name[uid->length] == '\0' && (!attribute || std::strlen(uid->name) == uid->length),
        "user id name length");
    fuzz::check(uid->length <= (attribute ? PELLAX_ATTRIB_DESC_MAX : PELLAX_USER_ID_MAX_LEN),
                "user id name too long");
    const PX_BYTE *begin = uid->attribute_data;
    const PX_BYTE *end = begin + uid->attribute_length;
    for (PX_UINT32 i = 0; i < uid->attribute_count; ++i) {
        const PELLAX_ATTRIB_SUBPKT &sub = uid->attributes[i];
        fuzz::check(sub.data > begin && sub.data <= end &&
                        sub.length <= static_cast<uint64_t>(end - sub.data),
                    "attribute subpacket outside its packet");
    }
}

void check_packet(const PELLAX_PLT_FUNCS *plt, const PELLAX_PACKET &packet) {
    switch (packet.pkttype) {
        case PKT_PUBLIC_KEY:
        case PKT_PUBLIC_SUBKEY:
            fuzz::check(packet.data != nullptr, "key without a record");
            check_key(static_cast<PELLAX_PUBLIC_KEY *>(packet.data));
            return;
        case PKT_SIGNATURE:
            fuzz::check(packet.data != nullptr, "signature without a record");
            check_signature(plt, static_cast<const PELLAX_SIGNATURE *>(packet.data));
            return;
        case PKT_USER_ID:
            fuzz::check(packet.data != nullptr, "user id without a record");
            check_user_id(static_cast<const PELLAX_USER_ID *>(packet.data));
            return;
        case PKT_RING_TRUST:
            return;
        default:
            fuzz::fail("packet of a type that is never returned");
    }
}

}  // namespace

int fuzz_parse_packet(const uint8_t *data, size_t size) {
    fuzz::begin_input();
    const PELLAX_PLT_FUNCS *plt = fuzz::plt();
    {
        fuzz::MemStream stream(data, size);
        // Every returned packet takes at least two octets of header.
        for (size_t packets = 0;; ++packets) {
            fuzz::check(packets <= size / 2, "more packets than the data can hold");
            PELLAX_PACKET packet{0, nullptr};
            int end = 0;
            const PELLAX_ERROR_CODE rc = parse_packet(plt, stream.get(), &packet, &end);
            if (rc == PELLAX_OK && end == 0) {
                check_packet(plt, packet);
            } else if (rc == PELLAX_OK) {
                fuzz::check(packet.data == nullptr, "a record with the end flag");
            }
            free_packet(plt, &packet);
            fuzz::check(packet.data == nullptr, "free_packet left the record");
            if (rc != PELLAX_OK || end != 0) {
                break;
            }
        }
    }
    fuzz::end_input();
    return 0;
}
