/* OpenPGP packet envelope and the records of the packet types the library keeps. parse_packet
 * fills them; free_packet releases them. C-compatible: hosts may include this from C. */
#ifndef PELLAX_PACKET_H
#define PELLAX_PACKET_H

#include "pellax_types.h"

PELLAX_EXTERN_C_BEGIN

/* Packet types (RFC 4880, 4.3) the parser returns or names. */
enum {
    PKT_NONE = 0, /* envelope of a dropped key */
    PKT_SIGNATURE = 2,
    PKT_SECRET_KEY = 5,
    PKT_PUBLIC_KEY = 6,
    PKT_SECRET_SUBKEY = 7,
    PKT_COMPRESSED = 8,
    PKT_ENCRYPTED = 9,
    PKT_MARKER = 10,
    PKT_PLAINTEXT = 11,
    PKT_RING_TRUST = 12,
    PKT_USER_ID = 13,
    PKT_PUBLIC_SUBKEY = 14,
    PKT_ATTRIBUTE = 17, /* returned as PKT_USER_ID */
    PKT_ENCRYPTED_MDC = 18
};

/* Limits of the packet formats the library accepts. */
#define PELLAX_KEY_MIN_PACKET_LEN 12u
#define PELLAX_MPI_MAX_BITS 16384u /* checked before the octet limit of PELLAX_BIGINT */
#define PELLAX_USER_ID_MAX_LEN 255u
#define PELLAX_ATTRIB_DESC_MAX 72u /* characters of an attribute's description */
#define PELLAX_SIG_MIN_PACKET_LEN 16u
#define PELLAX_SUBPKT_AREA_MAX 10000u
#define PELLAX_FINGERPRINT_LEN 20u
#define PELLAX_KEY_MATERIAL_SLOTS 4u

/* Key usage bits, as derived from the key flags subpacket. */
enum {
    PX_USAGE_SIGN = 0x01,
    PX_USAGE_ENCRYPT = 0x02,
    PX_USAGE_CERTIFY = 0x04,
    PX_USAGE_AUTH = 0x08,
    PX_USAGE_UNKNOWN = 0x80
};

/* Signature subpacket types the library reads. */
enum {
    SIGSUBPKT_SIG_CREATED = 2,
    SIGSUBPKT_SIG_EXPIRE = 3,
    SIGSUBPKT_KEY_EXPIRE = 9,
    SIGSUBPKT_ISSUER = 16,
    SIGSUBPKT_KEY_FLAGS = 27
};

/* The envelope: whoever holds it owns data (release with free_packet). */
typedef struct PELLAX_PACKET {
    PX_UINT32 pkttype;
    void *data;
} PELLAX_PACKET;

/* Public key and public subkey (types 6 and 14): version 4 RSA only. */
typedef struct PELLAX_PUBLIC_KEY {
    PX_UINT32 timestamp;   /* creation, seconds since 1970 */
    PX_UINT32 expire_time; /* absolute, 0: none */
    PX_BYTE version;
    PX_BYTE algorithm;
    PX_BYTE key_usage; /* PX_USAGE_* */
    PX_UINT32 has_expired;
    PX_UINT32 is_revoked;
    PX_UINT32 is_valid;
    PX_UINT32 keyid[2]; /* high word first; 0 0: not computed yet */
    PX_BYTE fingerprint[PELLAX_FINGERPRINT_LEN];
    PELLAX_BIGINT key_material[PELLAX_KEY_MATERIAL_SLOTS]; /* n, e, then two empty slots */
} PELLAX_PUBLIC_KEY;

/* A signature subpacket area, octets as they stand in the packet. The record is allocated with
 * room for length octets after its fixed part. */
typedef struct PELLAX_SUBPKT_AREA {
    uint64_t capacity;
    uint64_t length;
    PX_BYTE octets[1];
} PELLAX_SUBPKT_AREA;

/* Signature (type 2): version 4 only. */
typedef struct PELLAX_SIGNATURE {
    PX_UINT32 verify_done;
    PX_UINT32 verify_ok;
    PX_UINT32 expired;
    PX_UINT32 keyid[2]; /* issuer, high word first */
    PX_UINT32 timestamp;
    PX_UINT32 expire_time; /* last expiration subpacket (type 3 or 9), as stored */
    PX_BYTE version;
    PX_BYTE signature_class;
    PX_BYTE key_algorithm;
    PX_BYTE hash_algorithm;
    PELLAX_SUBPKT_AREA *hashed_area;   /* null when empty */
    PELLAX_SUBPKT_AREA *unhashed_area; /* null when empty */
    PELLAX_BIGINT signature_value[2];  /* only slot 0 is used */
} PELLAX_SIGNATURE;

/* One subpacket of a user attribute; data points into the owning record's attribute_data. */
typedef struct PELLAX_ATTRIB_SUBPKT {
    PX_BYTE type;
    PX_BYTE *data;
    PX_UINT32 length; /* octets at data (the subpacket length less its type octet) */
} PELLAX_ATTRIB_SUBPKT;

/* User id (type 13) and user attribute (type 17, returned as 13). The record is allocated with
 * room for the terminated name after its fixed part. */
typedef struct PELLAX_USER_ID {
    PX_UINT32 length; /* characters in name */
    PELLAX_ATTRIB_SUBPKT *attributes;
    PX_UINT32 attribute_count;
    PX_BYTE *attribute_data; /* the whole attribute body */
    uint64_t attribute_length;
    PX_UINT32 key_usage;       /* from the chosen self-signature */
    PX_UINT32 key_expire_time; /* absolute, 0: none */
    PX_UINT32 selfsig_time;    /* 0 while no self-signature was chosen */
    char name[1];              /* user id octets, or an attribute's description */
} PELLAX_USER_ID;

/* Trust (type 12). */
typedef struct PELLAX_TRUST {
    PX_UINT32 trust_value;
    PX_UINT32 cache_flags;
} PELLAX_TRUST;

PELLAX_EXTERN_C_END

#endif
