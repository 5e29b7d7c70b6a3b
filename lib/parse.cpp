#include "parse.h"

#include <stddef.h>

#include "free_packet.h"
#include "pellax_common.h"
#include "pellax_crypto.h"
#include "pellax_guard.h"
#include "pellax_log.h"

namespace {

const char kModule[] = "parse";
const char kStepFailed[] = "%s error.";
const char kHeaderStep[] = "get_packet_length_and_first_format_type_and_packet_type error.";

/* ---- small helpers ---------------------------------------------------------------------- */

void release(const PELLAX_PLT_FUNCS *plt, void *block) {
    if (block != nullptr) {
        pellax_free(&plt->sys, block);
    }
}

PX_UINT32 be32(const PX_BYTE *p) {
    return (static_cast<PX_UINT32>(p[0]) << 24) | (static_cast<PX_UINT32>(p[1]) << 16) |
           (static_cast<PX_UINT32>(p[2]) << 8) | static_cast<PX_UINT32>(p[3]);
}

// Skips a packet remainder whose failure the caller does not report.
void skip_quietly(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, PX_UINT32 count) {
    (void)fips_pellax_iobuf_skip_rest(plt, stream, count);
}

/* ---- packet header ---------------------------------------------------------------------- */

struct PacketHeader {
    PX_UINT32 type;
    PX_UINT32 length;
};

// Types whose data may come without a definite length; their bodies are never read.
bool may_have_partial_length(PX_UINT32 type) {
    return type == PKT_COMPRESSED || type == PKT_ENCRYPTED || type == PKT_PLAINTEXT ||
           type == PKT_ENCRYPTED_MDC;
}

bool may_have_indeterminate_length(PX_UINT32 type) {
    return type == PKT_COMPRESSED || type == PKT_ENCRYPTED || type == PKT_PLAINTEXT;
}

// Big-endian length of count octets.
PELLAX_ERROR_CODE read_length_octets(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, int count,
                                     PX_UINT32 *length) {
    PX_UINT32 value = 0;
    for (int i = 0; i < count; ++i) {
        PX_BYTE octet = 0;
        PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_noend(plt, stream, &octet);
        if (rc != PELLAX_OK) {
            return rc;
        }
        value = (value << 8) | octet;
    }
    *length = value;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE get_new_format_packet_length(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                               PX_UINT32 type, PX_UINT32 *length) {
    PX_BYTE first = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_noend(plt, stream, &first);
    if (rc == PELLAX_OK) {
        if (first < 192) {
            *length = first;
        } else if (first < 224) {
            PX_BYTE second = 0;
            rc = fips_pellax_iobuf_get_noend(plt, stream, &second);
            *length = (static_cast<PX_UINT32>(first) - 192) * 256 + second + 192;
        } else if (first == 255) {
            rc = read_length_octets(plt, stream, 4, length);
        } else if (may_have_partial_length(type)) {
            // A partial body chain is not followed: these packets are skipped anyway.
            *length = 0;
        } else {
            PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Packet format error.");
            PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "get_new_format_packet_length error.");
            return PELLAX_ERR_FILE_FORMAT;
        }
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_get_noend error.");
        PX_LOG_ERROR(plt, rc, "get_new_format_packet_length error.");
    }
    return rc;
}

PELLAX_ERROR_CODE get_org_format_packet_length(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                               PX_UINT32 type, int length_type, PX_UINT32 *length) {
    static const int kOctets[3] = {1, 2, 4};
    if (length_type == 3) {
        if (may_have_indeterminate_length(type)) {
            *length = 0;
            return PELLAX_OK;
        }
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Packet format error.");
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "get_org_format_packet_length error.");
        return PELLAX_ERR_FILE_FORMAT;
    }
    PELLAX_ERROR_CODE rc = read_length_octets(plt, stream, kOctets[length_type], length);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_get error.");
        PX_LOG_ERROR(plt, rc, "get_org_format_packet_length error.");
    }
    return rc;
}

// The header octet and the length; *eof when the data end before a header.
PELLAX_ERROR_CODE read_packet_header(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                     PacketHeader *header, int *eof) {
    PX_BYTE ctb = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get(plt, stream, &ctb, eof);
    if (rc != PELLAX_OK) {
        PX_LOG_INFO(plt, rc, "pellax_iobuf_get error.");
        PX_LOG_ERROR(plt, rc, "%s", kHeaderStep);
        return rc;
    }
    if (*eof != 0) {
        PX_LOG_INFO(plt, PELLAX_OK, "Data is over.");
        PX_LOG_INFO(plt, PELLAX_OK, "Data is over.");
        return PELLAX_OK;
    }
    if ((ctb & 0x80) == 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Packet format error, ctb data: 0x%02x.", ctb);
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "%s", kHeaderStep);
        return PELLAX_ERR_FILE_FORMAT;
    }
    if ((ctb & 0x40) != 0) {
        header->type = ctb & 0x3Fu;
        rc = get_new_format_packet_length(plt, stream, header->type, &header->length);
    } else {
        header->type = (ctb >> 2) & 0x0Fu;
        rc = get_org_format_packet_length(plt, stream, header->type, ctb & 0x03, &header->length);
    }
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "%s", kHeaderStep);
    }
    return rc;
}

/* ---- public key and public subkey ------------------------------------------------------- */

const char kKeyStep[] = "parse_pubkey_and_check";

enum class KeyVerdict { kAccept, kDrop };

// The common tail of a failed key parse.
PELLAX_ERROR_CODE key_failed(const PELLAX_PLT_FUNCS *plt, PELLAX_ERROR_CODE rc) {
    PX_LOG_ERROR(plt, rc, "parse_key error");
    PX_LOG_ERROR(plt, rc, kStepFailed, kKeyStep);
    return rc;
}

// The version octet; *left counts the body octets not read yet.
PELLAX_ERROR_CODE check_key_version(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                    PX_UINT32 pkttype, PX_UINT32 *left, KeyVerdict *verdict) {
    PX_BYTE version = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_noend(plt, stream, &version);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_get_noend error.");
        PX_LOG_ERROR(plt, rc, "check_key_version error.");
        return rc;
    }
    --*left;
    if (version == 4) {
        *verdict = KeyVerdict::kAccept;
        return PELLAX_OK;
    }
    if (pkttype == PKT_PUBLIC_SUBKEY && version == 0x23) {
        PX_LOG_ERROR(plt, PELLAX_OK, "Sub key is not supported, key version: #, pkttype: %u.",
                     static_cast<unsigned>(pkttype));
    } else if (version == 2 || version == 3) {
        PX_LOG_INFO(plt, PELLAX_OK, "Sub key is not supported, key version: %d, pkttype: %u.",
                    version, static_cast<unsigned>(pkttype));
    } else {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Invalid key version, version: %d.", version);
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "check_key_version error.");
        return PELLAX_ERR_FILE_FORMAT;
    }
    PX_LOG_INFO(plt, PELLAX_OK, "Public key is not support error.");
    *verdict = KeyVerdict::kDrop;
    return PELLAX_OK;
}

// One MPI into slot; refuses what would end beyond the packet before reading it.
PELLAX_ERROR_CODE read_key_mpi(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, PX_UINT32 *left,
                               PELLAX_BIGINT *slot) {
    if (*left < 2) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "Big integer header is beyond the key packet, left length: 0x%x.", *left);
        return PELLAX_ERR_FILE_FORMAT;
    }
    PX_UINT32 nbits = 0;
    PELLAX_ERROR_CODE rc = read_length_octets(plt, stream, 2, &nbits);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_get_noend error.");
        return rc;
    }
    *left -= 2;
    if (nbits > PELLAX_MPI_MAX_BITS) {
        PX_LOG_ERROR(plt, PELLAX_ERR_TOO_LONG, "Big integer data is too long, nbits count: 0x%x.",
                     nbits);
        return PELLAX_ERR_TOO_LONG;
    }
    const PX_UINT32 octets = (nbits + 7) / 8;
    if (octets > PELLAX_BIGINT_MAX_BYTES) {
        PX_LOG_ERROR(plt, PELLAX_ERR_TOO_LONG, "Big integer data is too long, bytes count: 0x%x.",
                     octets);
        return PELLAX_ERR_TOO_LONG;
    }
    if (octets > *left) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "Big integer data is beyond the key packet, bytes count: 0x%x, left length: "
                     "0x%x.",
                     octets, *left);
        return PELLAX_ERR_FILE_FORMAT;
    }
    slot->len = octets;
    PX_BYTE *out = slot->data;
    for (PX_UINT32 i = 0; i < octets; ++i) {
        rc = fips_pellax_iobuf_get_noend(plt, stream, out + i);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_get_noend error, iobuf: 0x%08x.", PX_PTR(stream));
            return rc;
        }
    }
    *left -= octets;
    return PELLAX_OK;
}

// Everything after the version octet of a version 4 key.
PELLAX_ERROR_CODE parse_key(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                            PELLAX_PUBLIC_KEY *pk, PX_UINT32 *left, KeyVerdict *verdict) {
    PX_UINT32 timestamp = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_read_32(plt, stream, &timestamp);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Read timestamp error.");
        return rc;
    }
    PX_BYTE algorithm = 0;
    rc = fips_pellax_iobuf_get_noend(plt, stream, &algorithm);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_get error.");
        return rc;
    }
    *left -= 5;
    if (algorithm != 1) {
        PX_LOG_INFO(plt, PELLAX_OK, "Key's algorithm type is not supported. Algorithm id: %d",
                    algorithm);
        *verdict = KeyVerdict::kDrop;
        return PELLAX_OK;
    }
    pk->timestamp = timestamp;
    pk->version = 4;
    pk->algorithm = 1;
    for (int slot = 0; slot < 2; ++slot) {
        rc = read_key_mpi(plt, stream, left, &pk->key_material[slot]);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Public key generate error.");
            return rc;
        }
    }
    *verdict = KeyVerdict::kAccept;
    return PELLAX_OK;
}

// Releases a key of a version or algorithm the library does not take, after skipping the rest of
// its body; parse_packet then skips its key block.
PELLAX_ERROR_CODE drop_key(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream, PELLAX_PACKET *packet,
                           PX_UINT32 left, const char *why, bool *dropped) {
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_skip_rest(plt, stream, left);
    if (rc != PELLAX_OK) {
        // The body runs past the end of the data: a truncated packet, not a dropped key.
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_skip_rest error.");
        PX_LOG_ERROR(plt, rc, kStepFailed, kKeyStep);
        return rc;
    }
    PX_LOG_INFO(plt, PELLAX_OK, "%s", why);
    free_packet(plt, packet);
    packet->pkttype = PKT_NONE;
    PX_LOG_INFO(plt, PELLAX_OK, "skip public key.");
    *dropped = true;
    return PELLAX_OK;
}

// Types 6 and 14. *dropped: the key was released and its key block is to be skipped.
PELLAX_ERROR_CODE parse_pubkey_and_check(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                         PELLAX_PACKET *packet, PX_UINT32 length, bool *dropped) {
    *dropped = false;
    PELLAX_PUBLIC_KEY *pk = static_cast<PELLAX_PUBLIC_KEY *>(
        pellax_malloc_zeroed(&plt->sys, sizeof(PELLAX_PUBLIC_KEY)));
    if (pk == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc error, alloc memory size: 0x%x",
                     static_cast<unsigned>(sizeof(PELLAX_PUBLIC_KEY)));
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, kStepFailed, kKeyStep);
        return PELLAX_ERR_ALLOC;
    }
    packet->data = pk;
    // An empty body has no version octet to read.
    if (length == 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_INVALID_DATA,
                     "The length of key packet is too short. Packet length: 0x%08x", 0u);
        return key_failed(plt, PELLAX_ERR_INVALID_DATA);
    }
    PX_UINT32 left = length;
    KeyVerdict verdict = KeyVerdict::kDrop;
    PELLAX_ERROR_CODE rc = check_key_version(plt, stream, packet->pkttype, &left, &verdict);
    if (rc != PELLAX_OK) {
        skip_quietly(plt, stream, left);
        return key_failed(plt, rc);
    }
    if (verdict == KeyVerdict::kDrop) {
        return drop_key(plt, stream, packet, left, "key version not support", dropped);
    }
    if (length < PELLAX_KEY_MIN_PACKET_LEN) {
        PX_LOG_ERROR(plt, PELLAX_ERR_INVALID_DATA,
                     "The length of key packet is too short. Packet length: 0x%08x", left);
        skip_quietly(plt, stream, left);
        return key_failed(plt, PELLAX_ERR_INVALID_DATA);
    }
    rc = parse_key(plt, stream, pk, &left, &verdict);
    if (rc != PELLAX_OK) {
        skip_quietly(plt, stream, left);
        return key_failed(plt, rc);
    }
    if (verdict == KeyVerdict::kDrop) {
        return drop_key(plt, stream, packet, left, "Key algorithm not support", dropped);
    }
    // Octets after the second MPI carry nothing the library uses.
    skip_quietly(plt, stream, left);
    return PELLAX_OK;
}

/* ---- user id ---------------------------------------------------------------------------- */

// Room for the record and a terminated name of name_length characters.
PX_ULONG user_id_size(PX_ULONG name_length) {
    return offsetof(PELLAX_USER_ID, name) + name_length + 1;
}

PELLAX_ERROR_CODE parse_user_id(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                PELLAX_PACKET *packet, PX_UINT32 length) {
    if (length > PELLAX_USER_ID_MAX_LEN) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "User id packet data length is too long, length is: 0x%x.", length);
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, kStepFailed, "parse_user_id");
        return PELLAX_ERR_FILE_FORMAT;
    }
    const PX_ULONG size = user_id_size(length);
    PELLAX_USER_ID *uid = static_cast<PELLAX_USER_ID *>(pellax_malloc_zeroed(&plt->sys, size));
    if (uid == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc new memory error, alloc length: 0x%x.",
                     static_cast<unsigned>(size));
        return PELLAX_ERR_ALLOC;
    }
    packet->data = uid;
    uid->length = length;
    char *name = uid->name;
    for (PX_UINT32 i = 0; i < length; ++i) {
        PX_BYTE octet = 0;
        PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_noend(plt, stream, &octet);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "Can't read enough user id data, pellax_iobuf_get error.");
            PX_LOG_ERROR(plt, rc, kStepFailed, "parse_user_id");
            return rc;
        }
        name[i] = static_cast<char>(octet);
    }
    name[length] = '\0';
    return PELLAX_OK;
}

/* ---- user attribute --------------------------------------------------------------------- */

const char kAttribStep[] = "parse_attribute";
constexpr PX_UINT32 kAttribFirstChunk = 4096;

// Reads length octets into a block that grows with the data actually there, so a length field
// alone never makes the parser reserve memory. 114 when the data end early.
PELLAX_ERROR_CODE read_attribute_body(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                      PX_UINT32 length, PX_BYTE **body) {
    PX_UINT32 capacity = length < kAttribFirstChunk ? length : kAttribFirstChunk;
    PX_BYTE *block = static_cast<PX_BYTE *>(pellax_malloc(&plt->sys, capacity));
    if (block == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc error, alloc memory size: 0x%x.",
                     capacity);
        return PELLAX_ERR_ALLOC;
    }
    PX_UINT32 got = 0;
    while (got < length) {
        if (got == capacity) {
            const PX_UINT32 grown = capacity > length / 2 ? length : capacity * 2;
            void *moved = nullptr;
            PELLAX_ERROR_CODE rc = pellax_common_realloc(plt, block, got, grown, &moved);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, "pellax_malloc error, alloc memory size: 0x%x.", grown);
                pellax_free(&plt->sys, block);
                return rc;
            }
            block = static_cast<PX_BYTE *>(moved);
            capacity = grown;
        }
        PX_UINT32 read = capacity - got;
        PELLAX_ERROR_CODE rc = fips_pellax_iobuf_read_noalloc(plt, stream, block, got, &read);
        if (rc == PELLAX_OK && read == 0) {
            rc = PELLAX_ERR_DATA_OVER;
        }
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_get_noend error.");
            pellax_free(&plt->sys, block);
            return rc;
        }
        got += read;
    }
    *body = block;
    return PELLAX_OK;
}

enum class SubpktScan { kFound, kShort, kEmpty };

// The attribute subpacket at p: header octets and length, only when it lies wholly in left.
SubpktScan scan_attribute_subpkt(const PX_BYTE *p, uint64_t left, uint64_t *header,
                                 uint64_t *length) {
    const PX_BYTE first = p[0];
    if (first < 192) {
        *header = 1;
        *length = first;
    } else if (first < 255) {
        if (left - 1 < 2) {
            return SubpktScan::kShort;
        }
        *header = 2;
        *length = (static_cast<uint64_t>(first) - 192) * 256 + p[1] + 192;
    } else {
        if (left - 1 < 4) {
            return SubpktScan::kShort;
        }
        *header = 5;
        *length = be32(p + 1);
    }
    if (left - *header < *length) {
        return SubpktScan::kShort;
    }
    return *length == 0 ? SubpktScan::kEmpty : SubpktScan::kFound;
}

// Counts the whole subpackets at the start of the body; the first broken one ends the list.
PX_UINT32 count_attribute_subpkts(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *body,
                                  uint64_t length) {
    PX_UINT32 count = 0;
    uint64_t pos = 0;
    while (pos < length) {
        uint64_t header = 0;
        uint64_t sublen = 0;
        const SubpktScan scan = scan_attribute_subpkt(body + pos, length - pos, &header, &sublen);
        if (scan == SubpktScan::kShort) {
            PX_LOG_INFO(plt, PELLAX_OK, "Buffer shorter than attribute sub packet.");
            break;
        }
        if (scan == SubpktScan::kEmpty) {
            PX_LOG_INFO(plt, PELLAX_OK, "Attribute sub packet without type, stop splitting.");
            break;
        }
        ++count;
        pos += header + sublen;
    }
    return count;
}

// Splits the body in two passes (count, then fill one array of exactly that size), so many
// small subpackets cost linear time.
PELLAX_ERROR_CODE parse_attribute_subpkts(const PELLAX_PLT_FUNCS *plt, PELLAX_USER_ID *uid) {
    PX_BYTE *body = uid->attribute_data;
    const PX_UINT32 count = count_attribute_subpkts(plt, body, uid->attribute_length);
    if (count == 0) {
        return PELLAX_OK;
    }
    const PX_ULONG entry = sizeof(PELLAX_ATTRIB_SUBPKT);
    // Can only hold where PX_ULONG has four bytes; the cast keeps clang from calling it dead.
    if (static_cast<PX_ULONG>(count) > static_cast<PX_ULONG>(-1) / entry) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc new memory error, alloc memory size: 0x%x.",
                     0xFFFFFFFFu);
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "parse_attribute_subpkts error.");
        return PELLAX_ERR_ALLOC;
    }
    const PX_ULONG size = count * entry;
    PELLAX_ATTRIB_SUBPKT *list =
        static_cast<PELLAX_ATTRIB_SUBPKT *>(pellax_malloc_zeroed(&plt->sys, size));
    if (list == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc new memory error, alloc memory size: 0x%x.",
                     static_cast<unsigned>(size));
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "parse_attribute_subpkts error.");
        return PELLAX_ERR_ALLOC;
    }
    uint64_t pos = 0;
    for (PX_UINT32 i = 0; i < count; ++i) {
        uint64_t header = 0;
        uint64_t sublen = 0;
        (void)scan_attribute_subpkt(body + pos, uid->attribute_length - pos, &header, &sublen);
        list[i].type = body[pos + header];
        list[i].data = body + pos + header + 1;
        list[i].length = static_cast<PX_UINT32>(sublen - 1);
        pos += header + sublen;
    }
    uid->attributes = list;
    uid->attribute_count = count;
    return PELLAX_OK;
}

// The description of a single image subpacket (RFC 4880, 5.12.1).
void describe_image(const PELLAX_PLT_FUNCS *plt, const PELLAX_ATTRIB_SUBPKT *image, char *name,
                    PX_ULONG size) {
    const PX_UINT32 length = image->length;
    const PX_BYTE *data = image->data;
    const char *invalid = "[invalid image]";
    if (length < 3) {
        PX_LOG_ERROR(plt, PELLAX_OK, "Image header data is too short, length: 0x%x.", length);
        pellax_snprintf_s(&plt->sys, name, size, size - 1, "%s", invalid);
        return;
    }
    const PX_UINT32 header =
        static_cast<PX_UINT32>(data[0]) | (static_cast<PX_UINT32>(data[1]) << 8);
    if (length < header) {
        PX_LOG_ERROR(plt, PELLAX_OK,
                     "Image header data is longer than data length: header length: 0x%x, "
                     "attribute data length: 0x%x.",
                     header, length);
        pellax_snprintf_s(&plt->sys, name, size, size - 1, "%s", invalid);
        return;
    }
    const PX_BYTE encoding = (length > 3 && data[2] == 1) ? data[3] : 0;
    if (length == header) {
        PX_LOG_ERROR(plt, PELLAX_OK, "Left data length is 0.");
        pellax_snprintf_s(&plt->sys, name, size, size - 1, "%s", invalid);
        return;
    }
    pellax_snprintf_s(&plt->sys, name, size, size - 1, "[%.20s image of size %lu]",
                      encoding == 1 ? "jpeg" : "unknown", static_cast<PX_ULONG>(length - header));
}

void describe_attribute(const PELLAX_PLT_FUNCS *plt, PELLAX_USER_ID *uid) {
    char *name = uid->name;
    const PX_ULONG size = PELLAX_ATTRIB_DESC_MAX + 1;
    if (uid->attribute_count == 0) {
        pellax_snprintf_s(&plt->sys, name, size, size - 1, "[bad attribute packet of size %lu]",
                          static_cast<PX_ULONG>(uid->attribute_length));
    } else if (uid->attribute_count > 1) {
        pellax_snprintf_s(&plt->sys, name, size, size - 1, "[%d attributes of size %lu]",
                          static_cast<int>(uid->attribute_count),
                          static_cast<PX_ULONG>(uid->attribute_length));
    } else if (uid->attributes[0].type != 1) {
        pellax_snprintf_s(&plt->sys, name, size, size - 1, "[unknown attribute of size %lu]",
                          static_cast<PX_ULONG>(uid->attributes[0].length));
    } else {
        describe_image(plt, &uid->attributes[0], name, size);
    }
    // Whatever the formatter left, the name ends inside its room.
    name[PELLAX_ATTRIB_DESC_MAX] = '\0';
    PX_UINT32 used = 0;
    while (name[used] != '\0') {
        ++used;
    }
    uid->length = used;
}

PELLAX_ERROR_CODE attribute_failed(const PELLAX_PLT_FUNCS *plt, PELLAX_PACKET *packet,
                                   PELLAX_ERROR_CODE rc) {
    free_packet(plt, packet);
    PX_LOG_ERROR(plt, rc, kStepFailed, kAttribStep);
    return rc;
}

PELLAX_ERROR_CODE parse_attribute(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                  PELLAX_PACKET *packet, PX_UINT32 length) {
    packet->pkttype = PKT_USER_ID;
    packet->data = nullptr;
    const PX_ULONG size = user_id_size(PELLAX_ATTRIB_DESC_MAX);
    PELLAX_USER_ID *uid = static_cast<PELLAX_USER_ID *>(pellax_malloc_zeroed(&plt->sys, size));
    if (uid == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc error, alloc memory size: 0x%x.",
                     static_cast<unsigned>(size));
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, kStepFailed, kAttribStep);
        return PELLAX_ERR_ALLOC;
    }
    packet->data = uid;
    if (length > 0) {
        PELLAX_ERROR_CODE rc = read_attribute_body(plt, stream, length, &uid->attribute_data);
        if (rc != PELLAX_OK) {
            return attribute_failed(plt, packet, rc);
        }
    }
    uid->attribute_length = length;
    PELLAX_ERROR_CODE rc = parse_attribute_subpkts(plt, uid);
    if (rc != PELLAX_OK) {
        return attribute_failed(plt, packet, rc);
    }
    describe_attribute(plt, uid);
    return PELLAX_OK;
}

/* ---- trust ------------------------------------------------------------------------------ */

PELLAX_ERROR_CODE parse_trust_body(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                   PELLAX_PACKET *packet, PX_UINT32 length) {
    PX_BYTE value = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_noend(plt, stream, &value);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_get error.");
        return rc;
    }
    PELLAX_TRUST *trust =
        static_cast<PELLAX_TRUST *>(pellax_malloc_zeroed(&plt->sys, sizeof(PELLAX_TRUST)));
    if (trust == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc error, alloc memory size: 0x%x.",
                     static_cast<unsigned>(sizeof(PELLAX_TRUST)));
        return PELLAX_ERR_ALLOC;
    }
    packet->data = trust;
    trust->trust_value = value;
    if (length == 2) {
        rc = fips_pellax_iobuf_get_noend(plt, stream, &value);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_get error.");
            return rc;
        }
        if ((value & 0x80) == 0) {
            trust->cache_flags = value;
        }
        return PELLAX_OK;
    }
    rc = fips_pellax_iobuf_skip_rest(plt, stream, length - 1);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_skip_rest error.");
    }
    return rc;
}

PELLAX_ERROR_CODE parse_trust(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                              PELLAX_PACKET *packet, PX_UINT32 length) {
    if (length == 0) {
        return PELLAX_OK;
    }
    PELLAX_ERROR_CODE rc = parse_trust_body(plt, stream, packet, length);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, kStepFailed, "parse_trust");
    }
    return rc;
}

/* ---- signature -------------------------------------------------------------------------- */

const char kSigDataStep[] = "read_signature_data error.";

PELLAX_ERROR_CODE signature_data_failed(const PELLAX_PLT_FUNCS *plt, PELLAX_ERROR_CODE rc) {
    PX_LOG_ERROR(plt, rc, "%s", kSigDataStep);
    return rc;
}

// The signature MPI into slot 0; *left counts the packet octets not read yet.
PELLAX_ERROR_CODE read_signature_data(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                      PX_UINT32 *left, PELLAX_SIGNATURE *sig) {
    if (*left < 2) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "Signature data error, data is too short: 0x%08x.", *left);
        return signature_data_failed(plt, PELLAX_ERR_FILE_FORMAT);
    }
    PX_BYTE high = 0;
    PX_BYTE low = 0;
    if (fips_pellax_iobuf_get_noend(plt, stream, &high) != PELLAX_OK) {
        PX_LOG_ERROR(plt, PELLAX_ERR_READ_MORE, "pellax_iobuf_get_noend error.");
        return signature_data_failed(plt, PELLAX_ERR_READ_MORE);
    }
    if (fips_pellax_iobuf_get_noend(plt, stream, &low) != PELLAX_OK) {
        PX_LOG_ERROR(plt, PELLAX_ERR_READ_MORE, "pellax_iobuf_get error.");
        return signature_data_failed(plt, PELLAX_ERR_READ_MORE);
    }
    *left -= 2;
    const PX_UINT32 octets = ((static_cast<PX_UINT32>(high) << 8 | low) + 7) / 8;
    if (octets > PELLAX_BIGINT_MAX_BYTES || octets > *left) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "Length of the data is too long, length is: 0x%x.", octets);
        return signature_data_failed(plt, PELLAX_ERR_FILE_FORMAT);
    }
    // A signature value of no bits is malformed data, not a bad read request.
    if (octets == 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "Signature data error, data is too short: 0x%08x.", 0u);
        return signature_data_failed(plt, PELLAX_ERR_FILE_FORMAT);
    }
    PX_BYTE *block = nullptr;
    PX_UINT32 size = 0;
    PX_UINT32 read = octets;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_read(plt, stream, &block, 0, &size, &read);
    HostBlock guard(plt, block);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_read error.");
        return signature_data_failed(plt, rc);
    }
    if (read == 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "pellax_iobuf_read error, data is over.");
        return signature_data_failed(plt, PELLAX_ERR_FILE_FORMAT);
    }
    if (read < octets) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "Length of the data is too long, length is: 0x%x.", read);
        return signature_data_failed(plt, PELLAX_ERR_FILE_FORMAT);
    }
    PELLAX_BIGINT *value = &sig->signature_value[0];
    if (pellax_memcpy_s(&plt->sys, value->data, sizeof value->data, block, octets) != 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_BAD_LOGIC, "pellax_memcpy_s error.");
        return signature_data_failed(plt, PELLAX_ERR_BAD_LOGIC);
    }
    value->len = octets;
    *left -= octets;
    return PELLAX_OK;
}

// A signature has expired when its signed expiration (seconds after its signed creation time)
// lies in the past. Only the hashed area counts: anyone can edit the unhashed one. A key
// expiration subpacket speaks of the key, not of the signature, and a stored value is never
// compared with the clock as an absolute time (that would let a key's direct expiry be ignored).
PELLAX_ERROR_CODE mark_signature_expiry(const PELLAX_PLT_FUNCS *plt, PELLAX_SIGNATURE *sig) {
    sig->expired = 0;
    const PELLAX_SUBPKT_AREA *hashed = sig->hashed_area;
    if (hashed == nullptr) {
        return PELLAX_OK;
    }
    PX_UINT32 length = 0;
    const PX_BYTE *data = nullptr;
    PELLAX_ERROR_CODE rc = parse_sig_subpkt(plt, hashed->octets, hashed->length, sig,
                                            SIGSUBPKT_SIG_EXPIRE, &length, &data);
    if (rc != PELLAX_OK || data == nullptr || be32(data) == 0) {
        return rc;
    }
    const uint64_t lifetime = be32(data);
    data = nullptr;
    rc = parse_sig_subpkt(plt, hashed->octets, hashed->length, sig, SIGSUBPKT_SIG_CREATED, &length,
                          &data);
    if (rc != PELLAX_OK) {
        return rc;
    }
    // Without a signed creation time the lifetime counts from 1970: expired, to be safe.
    const uint64_t created = data != nullptr ? be32(data) : 0;
    const int64_t now = pellax_get_utc_time(&plt->sys);
    if (now == 0) {
        PX_LOG_ERROR(plt, PELLAX_ERR_TIME, "Get current time error.");
        return PELLAX_ERR_TIME;
    }
    if (static_cast<uint64_t>(now) > created + lifetime) {
        sig->expired = 1;
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE parse_sig_sub_packets(const PELLAX_PLT_FUNCS *plt, PELLAX_SIGNATURE *sig) {
    const PELLAX_SUBPKT_AREA *areas[2] = {sig->hashed_area, sig->unhashed_area};
    const char *failed[2] = {"Parse signature hashed data error, data length: 0x%08x.",
                             "Parse signature unhashed data error, data length: 0x%08x."};
    for (int i = 0; i < 2; ++i) {
        const PELLAX_SUBPKT_AREA *area = areas[i];
        if (area == nullptr) {
            continue;
        }
        PELLAX_ERROR_CODE rc =
            parse_sig_subpkt(plt, area->octets, area->length, sig, 0, nullptr, nullptr);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, failed[i], static_cast<unsigned>(area->length));
            PX_LOG_ERROR(plt, rc, "parse_sig_sub_packets error.");
            return rc;
        }
    }
    return mark_signature_expiry(plt, sig);
}

PELLAX_ERROR_CODE skip_signature_rest(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                      PX_UINT32 left) {
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_skip_rest(plt, stream, left);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_skip_rest error, skip data length: %d.",
                     static_cast<int>(left));
    }
    return rc;
}

/* ---- signature subpackets --------------------------------------------------------------- */

constexpr PX_UINT32 kTimeOctets = 4;
constexpr PX_UINT32 kKeyIdOctets = 8;

PX_UINT32 minimum_data_octets(int type) {
    switch (type) {
        case SIGSUBPKT_SIG_CREATED:
        case SIGSUBPKT_SIG_EXPIRE:
        case SIGSUBPKT_KEY_EXPIRE:
            return kTimeOctets;
        case SIGSUBPKT_ISSUER:
            return kKeyIdOctets;
        default:
            return 0;
    }
}

PELLAX_ERROR_CODE subpkt_data_failed(const PELLAX_PLT_FUNCS *plt, PELLAX_ERROR_CODE rc,
                                     const char *what, const char *step) {
    if (what != nullptr) {
        PX_LOG_ERROR(plt, rc, "%s", what);
    }
    PX_LOG_ERROR(plt, rc, "%s", step);
    PX_LOG_ERROR(plt, rc, "parse_sig_subpkt_data_by_type error.");
    return rc;
}

PELLAX_ERROR_CODE parse_sig_expire(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *data,
                                   PELLAX_SIGNATURE *sig) {
    const PX_UINT32 value = be32(data);
    sig->expire_time = value;
    const int64_t now = pellax_get_utc_time(&plt->sys);
    if (now == 0) {
        return subpkt_data_failed(plt, PELLAX_ERR_TIME, "Get current time error.",
                                  "parse_sig_expire error.");
    }
    // Whether the signature itself has expired is decided once both areas are read
    // (mark_signature_expiry): it needs the signed creation time, which may come later.
    return PELLAX_OK;
}

PELLAX_ERROR_CODE parse_sig_subpkt_data_by_type(const PELLAX_PLT_FUNCS *plt, int type,
                                                const PX_BYTE *data, PX_UINT32 length,
                                                PELLAX_SIGNATURE *sig) {
    switch (type) {
        case SIGSUBPKT_SIG_CREATED:
            if (length < kTimeOctets) {
                return subpkt_data_failed(plt, PELLAX_ERR_SUBPACKET,
                                          "Create message's length is error.",
                                          "parse_sig_create_time error.");
            }
            sig->timestamp = be32(data);
            return PELLAX_OK;
        case SIGSUBPKT_SIG_EXPIRE:
        case SIGSUBPKT_KEY_EXPIRE:
            if (length < kTimeOctets) {
                return subpkt_data_failed(plt, PELLAX_ERR_SUBPACKET,
                                          "Invalid expire date sub packet.",
                                          "parse_sig_expire error.");
            }
            return parse_sig_expire(plt, data, sig);
        case SIGSUBPKT_ISSUER:
            if (length < kKeyIdOctets) {
                return subpkt_data_failed(plt, PELLAX_ERR_SUBPACKET, "Invalid issuer sub packet.",
                                          "parse_issuer error.");
            }
            sig->keyid[0] = be32(data);
            sig->keyid[1] = be32(data + 4);
            return PELLAX_OK;
        default:
            return PELLAX_OK;
    }
}

PELLAX_ERROR_CODE subpkt_length_failed(const PELLAX_PLT_FUNCS *plt) {
    PX_LOG_ERROR(plt, PELLAX_ERR_SUBPACKET, "Sub packet is too short.");
    PX_LOG_ERROR(plt, PELLAX_ERR_SUBPACKET, "get_sig_sub_pkt_length error");
    return PELLAX_ERR_SUBPACKET;
}

// Length of the subpacket at p and the octets its length took; every read stays inside left.
PELLAX_ERROR_CODE get_sig_sub_pkt_length(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *p,
                                         uint64_t left, uint64_t *header, uint64_t *length) {
    const PX_BYTE first = p[0];
    if (first < 192) {
        *header = 1;
        *length = first;
    } else if (first < 255) {
        // The second length octet and at least the type octet.
        if (left - 1 < 2) {
            return subpkt_length_failed(plt);
        }
        *header = 2;
        *length = (static_cast<uint64_t>(first) - 192) * 256 + p[1] + 192;
    } else {
        if (left - 1 < 4) {
            return subpkt_length_failed(plt);
        }
        *header = 5;
        *length = be32(p + 1);
    }
    if (left - *header < *length) {
        PX_LOG_ERROR(plt, PELLAX_ERR_SUBPACKET,
                     "Sub packet is too short, buffer length: 0x%08x, length data: 0x%08x.",
                     static_cast<unsigned>(left - *header), static_cast<unsigned>(*length));
        return PELLAX_ERR_SUBPACKET;
    }
    // Without a type octet there is nothing to interpret.
    if (*length == 0) {
        return subpkt_length_failed(plt);
    }
    return PELLAX_OK;
}

}  // namespace

/* ---- framing ---------------------------------------------------------------------------- */

PELLAX_ERROR_CODE parse_packet(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                               PELLAX_PACKET *packet, int *end) {
    if (plt == nullptr || stream == nullptr || packet == nullptr || end == nullptr) {
        return PELLAX_ERR_PARAM;
    }
    bool skip_mode = false;
    for (;;) {
        *end = 0;
        PacketHeader header = {0, 0};
        int eof = 0;
        PELLAX_ERROR_CODE rc = read_packet_header(plt, stream, &header, &eof);
        if (rc != PELLAX_OK) {
            return rc;
        }
        if (eof != 0) {
            *end = 1;
            return PELLAX_OK;
        }
        if (skip_mode && header.type != PKT_PUBLIC_KEY) {
            rc = fips_pellax_iobuf_skip_rest(plt, stream, header.length);
            if (rc != PELLAX_OK) {
                PX_LOG_ERROR(plt, rc, kStepFailed, "pellax_iobuf_skip_rest");
            }
            PX_LOG_INFO(plt, PELLAX_OK, "Skip packet, skip type: %d, skip length: %d.",
                        static_cast<int>(header.type), static_cast<int>(header.length));
            if (rc != PELLAX_OK) {
                return rc;
            }
            continue;
        }
        skip_mode = false;
        packet->pkttype = header.type;
        switch (header.type) {
            case PKT_SIGNATURE:
                rc = parse_signature(plt, stream, header.length, packet);
                if (rc != PELLAX_OK) {
                    PX_LOG_ERROR(plt, rc, kStepFailed, "parse_signature");
                }
                return rc;
            case PKT_PUBLIC_KEY:
            case PKT_PUBLIC_SUBKEY: {
                bool dropped = false;
                rc = parse_pubkey_and_check(plt, stream, packet, header.length, &dropped);
                if (rc != PELLAX_OK || !dropped) {
                    return rc;
                }
                skip_mode = true;
                continue;
            }
            case PKT_USER_ID:
                return parse_user_id(plt, stream, packet, header.length);
            case PKT_ATTRIBUTE:
                return parse_attribute(plt, stream, packet, header.length);
            case PKT_RING_TRUST:
                return parse_trust(plt, stream, packet, header.length);
            default:
                rc = fips_pellax_iobuf_skip_rest(plt, stream, header.length);
                if (rc != PELLAX_OK) {
                    PX_LOG_ERROR(plt, rc, kStepFailed, "pellax_iobuf_skip_rest");
                    return rc;
                }
                skip_mode = true;
                continue;
        }
    }
}

/* ---- signature packets ------------------------------------------------------------------ */

PELLAX_ERROR_CODE parse_signature(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                  PX_UINT32 packet_length, PELLAX_PACKET *packet) {
    if (packet_length < PELLAX_SIG_MIN_PACKET_LEN) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Packet is too short, length is 0x%08x.",
                     packet_length);
        return PELLAX_ERR_FILE_FORMAT;
    }
    PELLAX_SIGNATURE *sig =
        static_cast<PELLAX_SIGNATURE *>(pellax_malloc_zeroed(&plt->sys, sizeof(PELLAX_SIGNATURE)));
    if (sig == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "pellax_malloc memory, alloc memory size: 0x%x.",
                     static_cast<unsigned>(sizeof(PELLAX_SIGNATURE)));
        return PELLAX_ERR_ALLOC;
    }
    packet->data = sig;
    PX_UINT32 left = packet_length;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_get_noend(plt, stream, &sig->version);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_get_noend error.");
        return rc;
    }
    if (sig->version != 4) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Signature is not supported, version: %d.",
                     sig->version);
        return PELLAX_ERR_FILE_FORMAT;
    }
    PX_BYTE *fields[3] = {&sig->signature_class, &sig->key_algorithm, &sig->hash_algorithm};
    for (PX_BYTE *field : fields) {
        rc = fips_pellax_iobuf_get_noend(plt, stream, field);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_iobuf_get error.");
            return rc;
        }
    }
    left -= 4;
    rc = read_hashed_or_unhashed_data(plt, stream, &left, &sig->hashed_area);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "read_hashed_data error.");
        return rc;
    }
    rc = read_hashed_or_unhashed_data(plt, stream, &left, &sig->unhashed_area);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "read_unhashed_data error.");
        return rc;
    }
    if (left <= 4) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "Length of the packet is too short, packet length: 0x%08x.", left);
        return PELLAX_ERR_FILE_FORMAT;
    }
    // The two leading octets of the signed hash take part in no check.
    PX_BYTE prefix = 0;
    if (fips_pellax_iobuf_get_noend(plt, stream, &prefix) != PELLAX_OK) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Get signature first digest integer error.");
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "parse_sig_digest_header error.");
        return PELLAX_ERR_FILE_FORMAT;
    }
    if (fips_pellax_iobuf_get_noend(plt, stream, &prefix) != PELLAX_OK) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Get signature second digest integer error.");
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "parse_sig_digest_header error.");
        return PELLAX_ERR_FILE_FORMAT;
    }
    left -= 2;
    if (sig->key_algorithm == 0) {
        return skip_signature_rest(plt, stream, left);
    }
    rc = parse_sig_sub_packets(plt, sig);
    if (rc != PELLAX_OK) {
        return rc;
    }
    rc = read_signature_data(plt, stream, &left, sig);
    if (rc != PELLAX_OK) {
        return rc;
    }
    return skip_signature_rest(plt, stream, left);
}

PELLAX_ERROR_CODE read_hashed_or_unhashed_data(const PELLAX_PLT_FUNCS *plt, PELLAX_IOBUF *stream,
                                               PX_UINT32 *remaining, PELLAX_SUBPKT_AREA **area) {
    // The count itself must lie inside the packet; reading it anyway would eat the next one.
    if (*remaining < 2) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Signature data is too short.");
        return PELLAX_OK;
    }
    uint16_t count = 0;
    PELLAX_ERROR_CODE rc = fips_pellax_iobuf_read_16(plt, stream, &count);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_read_16 error.");
        return rc;
    }
    *remaining -= 2;
    if (count > PELLAX_SUBPKT_AREA_MAX) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "Length of the extra data is too long, Extra data length: 0x%x.", count);
        return PELLAX_ERR_FILE_FORMAT;
    }
    if (count == 0) {
        return PELLAX_OK;
    }
    if (count > *remaining) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT, "Signature data is too short.");
        return PELLAX_ERR_FILE_FORMAT;
    }
    const PX_ULONG size = offsetof(PELLAX_SUBPKT_AREA, octets) + count;
    PELLAX_SUBPKT_AREA *block =
        static_cast<PELLAX_SUBPKT_AREA *>(pellax_malloc_zeroed(&plt->sys, size));
    if (block == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc more memory error, alloc memory size: 0x%x.",
                     static_cast<unsigned>(size));
        return PELLAX_ERR_ALLOC;
    }
    HostBlock guard(plt, block);
    block->capacity = count;
    block->length = count;
    PX_UINT32 read = count;
    rc = fips_pellax_iobuf_read_noalloc(plt, stream, block->octets, 0, &read);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_iobuf_read_noalloc error, read data length: 0x%x.", count);
        return rc;
    }
    if (read < count) {
        PX_LOG_ERROR(plt, PELLAX_ERR_FILE_FORMAT,
                     "Haven't read enough unhashed data, data length: 0x%x, need to read length: "
                     "0x%x.",
                     read, count);
        return PELLAX_ERR_FILE_FORMAT;
    }
    *remaining -= count;
    *area = static_cast<PELLAX_SUBPKT_AREA *>(guard.release());
    return PELLAX_OK;
}

PELLAX_ERROR_CODE parse_sig_subpkt(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *octets,
                                   uint64_t length, PELLAX_SIGNATURE *sig, int wanted_type,
                                   PX_UINT32 *out_length, const PX_BYTE **out_data) {
    const bool lookup = out_length != nullptr && out_data != nullptr;
    if ((!lookup && (out_length != nullptr || out_data != nullptr)) ||
        (!lookup && sig == nullptr) || (length > 0 && octets == nullptr)) {
        return PELLAX_ERR_PARAM;
    }
    uint64_t pos = 0;
    while (pos < length) {
        uint64_t header = 0;
        uint64_t sublen = 0;
        PELLAX_ERROR_CODE rc =
            get_sig_sub_pkt_length(plt, octets + pos, length - pos, &header, &sublen);
        if (rc != PELLAX_OK) {
            return rc;
        }
        const int type = octets[pos + header] & 0x7F;
        const PX_BYTE *data = octets + pos + header + 1;
        const PX_UINT32 data_length = static_cast<PX_UINT32>(sublen - 1);
        pos += header + sublen;
        if (lookup) {
            if (type != wanted_type) {
                continue;
            }
            if (data_length < minimum_data_octets(type)) {
                *out_length = data_length;
                PX_LOG_ERROR(plt, PELLAX_ERR_SUBPACKET, "Sub packet is too short.");
                return PELLAX_ERR_SUBPACKET;
            }
            *out_length = data_length;
            *out_data = data;
            return PELLAX_OK;
        }
        rc = parse_sig_subpkt_data_by_type(plt, type, data, data_length, sig);
        if (rc != PELLAX_OK) {
            return rc;
        }
    }
    return PELLAX_OK;
}

/* ---- self-signature readers ------------------------------------------------------------- */

namespace {

// The first subpacket of type in the hashed area; *data stays null when there is none.
PELLAX_ERROR_CODE find_hashed(const PELLAX_PLT_FUNCS *plt, const PELLAX_SIGNATURE *sig, int type,
                              PX_UINT32 *length, const PX_BYTE **data) {
    *length = 0;
    *data = nullptr;
    const PELLAX_SUBPKT_AREA *area = sig->hashed_area;
    if (area == nullptr) {
        return PELLAX_OK;
    }
    return parse_sig_subpkt(plt, area->octets, area->length, nullptr, type, length, data);
}

}  // namespace

PELLAX_ERROR_CODE parse_key_usage(const PELLAX_PLT_FUNCS *plt, const PELLAX_SIGNATURE *sig,
                                  PX_UINT32 *usage) {
    *usage = 0;
    PX_UINT32 length = 0;
    const PX_BYTE *flags = nullptr;
    PELLAX_ERROR_CODE rc = find_hashed(plt, sig, SIGSUBPKT_KEY_FLAGS, &length, &flags);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Find key usage error.");
        return rc;
    }
    if (flags == nullptr || length == 0) {
        return PELLAX_OK;
    }
    // Key flags (RFC 4880, 5.2.3.21): only the first octet carries flags we map.
    const PX_BYTE f = flags[0];
    PX_UINT32 bits = 0;
    if ((f & 0x01) != 0) {
        bits |= PX_USAGE_CERTIFY;
    }
    if ((f & 0x02) != 0) {
        bits |= PX_USAGE_SIGN;
    }
    if ((f & (0x04 | 0x08)) != 0) {
        bits |= PX_USAGE_ENCRYPT;
    }
    if ((f & 0x20) != 0) {
        bits |= PX_USAGE_AUTH;
    }
    if ((f & (0x10 | 0x40 | 0x80)) != 0) {
        bits |= PX_USAGE_UNKNOWN;
    }
    *usage = bits;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE parse_key_expire(const PELLAX_PLT_FUNCS *plt, const PELLAX_SIGNATURE *sig,
                                   PX_UINT32 *expire) {
    *expire = 0;
    PX_UINT32 length = 0;
    const PX_BYTE *data = nullptr;
    PELLAX_ERROR_CODE rc = find_hashed(plt, sig, SIGSUBPKT_KEY_EXPIRE, &length, &data);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Get key expire time error.");
        return rc;
    }
    if (data != nullptr) {
        *expire = be32(data);
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE fixup_uidnode(const PELLAX_PLT_FUNCS *plt, PELLAX_USER_ID *uid,
                                const PELLAX_SIGNATURE *sig, PX_UINT32 key_created) {
    uid->selfsig_time = sig->timestamp;
    PX_UINT32 usage = 0;
    PELLAX_ERROR_CODE rc = parse_key_usage(plt, sig, &usage);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Get key usage error.");
        return rc;
    }
    uid->key_usage = usage;
    PX_UINT32 length = 0;
    const PX_BYTE *data = nullptr;
    rc = find_hashed(plt, sig, SIGSUBPKT_KEY_EXPIRE, &length, &data);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "parse_sig_subpkt error.");
        return rc;
    }
    const PX_UINT32 value = data != nullptr ? be32(data) : 0;
    // Unsigned 32-bit time arithmetic, as every OpenPGP time.
    uid->key_expire_time = value != 0 ? key_created + value : 0;
    return PELLAX_OK;
}

PX_UINT32 buffer_to_u32(const PELLAX_PLT_FUNCS *plt, const PX_BYTE *octets) {
    (void)plt;
    return be32(octets);
}

/* ---- key ids and key material hashing --------------------------------------------------- */

namespace {

// The wire forms of a key's MPIs, released on every path.
struct KeyMaterial {
    explicit KeyMaterial(const PELLAX_PLT_FUNCS *plt_in) : plt(plt_in) {}
    ~KeyMaterial() {
        for (PX_BYTE *block : buffers) {
            release(plt, block);
        }
    }
    KeyMaterial(const KeyMaterial &) = delete;
    KeyMaterial &operator=(const KeyMaterial &) = delete;

    const PELLAX_PLT_FUNCS *plt;
    PX_BYTE *buffers[PELLAX_KEY_MATERIAL_SLOTS] = {nullptr, nullptr, nullptr, nullptr};
    PX_UINT32 lengths[PELLAX_KEY_MATERIAL_SLOTS] = {0, 0, 0, 0};
    PX_UINT32 total = 6;
};

// The octets before the MPIs: 0x99, the two-octet body length, version, time, algorithm.
void key_prefix(const PELLAX_PUBLIC_KEY *key, PX_UINT32 total, PX_BYTE prefix[9]) {
    prefix[0] = 0x99;
    prefix[1] = static_cast<PX_BYTE>(total >> 8);
    prefix[2] = static_cast<PX_BYTE>(total & 0xFF);
    prefix[3] = key->version;
    prefix[4] = static_cast<PX_BYTE>(key->timestamp >> 24);
    prefix[5] = static_cast<PX_BYTE>(key->timestamp >> 16);
    prefix[6] = static_cast<PX_BYTE>(key->timestamp >> 8);
    prefix[7] = static_cast<PX_BYTE>(key->timestamp);
    prefix[8] = key->algorithm;
}

// Digest and verification contexts take the same octets through different wrappers.
struct KeySink {
    PELLAX_ERROR_CODE (*put)(const PELLAX_CALLBACK_FUNCS *, void *, int);
    PELLAX_ERROR_CODE (*update)(const PELLAX_CALLBACK_FUNCS *, void *, const PX_BYTE *, PX_UINT32);
    const char *update_failed;
    const char *step_failed;
};

const KeySink kDigestSink = {pellax_crypto_md_put, pellax_crypto_md_update,
                             "pellax_crypto_md_update error.",
                             "update_md_ctx_by_pubkey_material error."};
const KeySink kVerifySink = {pellax_crypto_vrf_put, pellax_crypto_vrf_update,
                             "pellax_crypto_vrf_update error.",
                             "update_verify_ctx_by_pubkey_material error."};

PELLAX_ERROR_CODE feed_public_key(const PELLAX_CALLBACK_FUNCS *funcs, void *ctx,
                                  const PELLAX_PUBLIC_KEY *key, const KeySink &sink) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    KeyMaterial material(plt);
    PELLAX_ERROR_CODE rc = get_public_key_material_and_total_bytes(
        plt, key, material.buffers, material.lengths, &material.total);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "get_public_key_material_and_total_bytes error.");
        return rc;
    }
    PX_BYTE prefix[9];
    key_prefix(key, material.total, prefix);
    for (PX_BYTE octet : prefix) {
        rc = sink.put(funcs, ctx, octet);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "pellax_crypto_md_put error.");
            PX_LOG_ERROR(plt, rc, "%s", sink.step_failed);
            return rc;
        }
    }
    for (PX_UINT32 slot = 0; slot < PELLAX_KEY_MATERIAL_SLOTS; ++slot) {
        if (material.buffers[slot] == nullptr) {
            continue;
        }
        rc = sink.update(funcs, ctx, material.buffers[slot], material.lengths[slot]);
        if (rc != PELLAX_OK) {
            PX_LOG_ERROR(plt, rc, "%s", sink.update_failed);
            PX_LOG_ERROR(plt, rc, "%s", sink.step_failed);
            return rc;
        }
    }
    return PELLAX_OK;
}

// The wire form of one MPI in a new host block; *block stays null for an empty slot.
PELLAX_ERROR_CODE print_mpi(const PELLAX_PLT_FUNCS *plt, const PELLAX_BIGINT *mpi, PX_BYTE **block,
                            PX_UINT32 *length) {
    // A record not made by the parser may claim more octets than a slot holds.
    if (mpi->len > PELLAX_BIGINT_MAX_BYTES) {
        PX_LOG_ERROR(plt, PELLAX_ERR_TOO_LONG, "Big integer data is too long, bytes count: 0x%x.",
                     mpi->len);
        return PELLAX_ERR_TOO_LONG;
    }
    PX_UINT32 size = 0;
    PELLAX_ERROR_CODE rc = pellax_common_bigint_print(plt, mpi, nullptr, nullptr, &size);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_common_bigint_print error.");
        return rc;
    }
    if (size <= 2) {
        return PELLAX_OK;
    }
    HostBlock out(plt, pellax_malloc(&plt->sys, size));
    if (out.get() == nullptr) {
        PX_LOG_ERROR(plt, PELLAX_ERR_ALLOC, "Alloc memory error, alloc data length: 0x%x.", size);
        return PELLAX_ERR_ALLOC;
    }
    rc = pellax_common_bigint_print(plt, mpi, static_cast<PX_BYTE *>(out.get()), length, &size);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_common_bigint_print error.");
        return rc;
    }
    *block = static_cast<PX_BYTE *>(out.release());
    return PELLAX_OK;
}

}  // namespace

PELLAX_ERROR_CODE get_public_key_material_and_total_bytes(const PELLAX_PLT_FUNCS *plt,
                                                          const PELLAX_PUBLIC_KEY *key,
                                                          PX_BYTE *buffers[4], PX_UINT32 lengths[4],
                                                          PX_UINT32 *total) {
    for (PX_UINT32 slot = 0; slot < PELLAX_KEY_MATERIAL_SLOTS; ++slot) {
        buffers[slot] = nullptr;
        lengths[slot] = 0;
    }
    PX_UINT32 sum = *total;
    for (PX_UINT32 slot = 0; slot < PELLAX_KEY_MATERIAL_SLOTS; ++slot) {
        PELLAX_ERROR_CODE rc =
            print_mpi(plt, &key->key_material[slot], &buffers[slot], &lengths[slot]);
        if (rc != PELLAX_OK) {
            for (PX_UINT32 i = 0; i < PELLAX_KEY_MATERIAL_SLOTS; ++i) {
                release(plt, buffers[i]);
                buffers[i] = nullptr;
                lengths[i] = 0;
            }
            return rc;
        }
        sum += lengths[slot];
    }
    *total = sum;
    return PELLAX_OK;
}

PELLAX_ERROR_CODE hash_public_key(const PELLAX_CALLBACK_FUNCS *funcs, void *md_ctx,
                                  const PELLAX_PUBLIC_KEY *key) {
    if (key->version != 4) {
        PX_LOG_ERROR(&funcs->plt, PELLAX_ERR_PK_VERSION, "Key is not supported, key version: %d.",
                     key->version);
        return PELLAX_ERR_PK_VERSION;
    }
    return feed_public_key(funcs, md_ctx, key, kDigestSink);
}

PELLAX_ERROR_CODE update_by_public_key(const PELLAX_CALLBACK_FUNCS *funcs, void *vrf_ctx,
                                       const PELLAX_PUBLIC_KEY *key) {
    if (key->version <= 3) {
        PX_LOG_INFO(&funcs->plt, PELLAX_ERR_PK_VERSION,
                    "Key's version is not supported, version is %d.", key->version);
        return PELLAX_ERR_PK_VERSION;
    }
    return feed_public_key(funcs, vrf_ctx, key, kVerifySink);
}

namespace {

// SHA-1 of the key's serialization into digest; 15 when the callback delivers another length.
PELLAX_ERROR_CODE fingerprint_of(const PELLAX_CALLBACK_FUNCS *funcs, const PELLAX_PUBLIC_KEY *key,
                                 PX_BYTE digest[PELLAX_FINGERPRINT_LEN]) {
    const PELLAX_PLT_FUNCS *plt = &funcs->plt;
    PellaxMdCtxGuard md(funcs);
    PELLAX_ERROR_CODE rc = pellax_crypto_md_ctx_create(funcs, md.out());
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_crypto_md_ctx_create error.");
        return rc;
    }
    void *ctx = md.get();
    PX_UINT32 length = PELLAX_FINGERPRINT_LEN;
    rc = pellax_crypto_md_init(funcs, ctx, PELLAX_HASH_SHA1);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_crypto_md_init error.");
    } else if ((rc = hash_public_key(funcs, ctx, key)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "Hash public key error.");
    } else if ((rc = pellax_crypto_md_final(funcs, ctx, digest, &length)) != PELLAX_OK) {
        PX_LOG_ERROR(plt, rc, "pellax_crypto_md_final error.");
    } else if (length != PELLAX_FINGERPRINT_LEN) {
        rc = PELLAX_ERR_MD_FINAL;
        PX_LOG_ERROR(plt, rc,
                     "Generate public key's key id error, digest length is not equal to 0x%08x, "
                     "length is 0x%08x, please check your message digest callback method.",
                     PELLAX_FINGERPRINT_LEN, length);
    }
    return rc;
}

}  // namespace

PELLAX_ERROR_CODE keyid_from_pk(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_PUBLIC_KEY *key,
                                PX_UINT32 *keyid) {
    if (key->keyid[0] == 0 && key->keyid[1] == 0) {
        if (key->version <= 3) {
            PX_LOG_ERROR(&funcs->plt, PELLAX_ERR_PK_VERSION,
                         "Public key is not support, version: %d.", key->version);
            return PELLAX_ERR_PK_VERSION;
        }
        PX_BYTE digest[PELLAX_FINGERPRINT_LEN] = {0};
        PELLAX_ERROR_CODE rc = fingerprint_of(funcs, key, digest);
        if (rc != PELLAX_OK) {
            return rc;
        }
        pellax_memcpy_s(&funcs->plt.sys, key->fingerprint, sizeof key->fingerprint, digest,
                        sizeof digest);
        // The key id is the low 64 bits of the fingerprint (RFC 4880, 12.2).
        key->keyid[0] = be32(digest + 12);
        key->keyid[1] = be32(digest + 16);
    }
    if (keyid != nullptr) {
        keyid[0] = key->keyid[0];
        keyid[1] = key->keyid[1];
    }
    return PELLAX_OK;
}

PELLAX_ERROR_CODE keystr_from_pk(const PELLAX_CALLBACK_FUNCS *funcs, PELLAX_PUBLIC_KEY *key,
                                 char *text, PX_ULONG size) {
    PX_UINT32 keyid[2] = {0, 0};
    PELLAX_ERROR_CODE rc = keyid_from_pk(funcs, key, keyid);
    if (rc != PELLAX_OK) {
        PX_LOG_ERROR(&funcs->plt, rc, "keyid_from_pk error.");
        return rc;
    }
    char formatted[32] = {0};
    const int written = pellax_snprintf_s(
        &funcs->plt.sys, formatted, sizeof formatted, sizeof formatted - 1, "%08lX %08lX",
        static_cast<PX_ULONG>(keyid[0]), static_cast<PX_ULONG>(keyid[1]));
    if (written > 0 && text != nullptr && size > static_cast<PX_ULONG>(written)) {
        pellax_memcpy_s(&funcs->plt.sys, text, size, formatted, static_cast<PX_ULONG>(written) + 1);
    }
    return PELLAX_OK;
}
