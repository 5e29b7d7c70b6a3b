// Packet parsing over crafted packets: framing and skip mode, key, user id, attribute and trust
// bodies, signatures and their subpackets, hostile lengths and failing allocations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "packet_util.h"

namespace {

using Types = std::vector<uint32_t>;

bool logged_text(const TestHost &host, const std::string &message) {
    for (const LogLine &l : host.logs) {
        if (l.message == message) {
            return true;
        }
    }
    return false;
}

const Bytes kTrailerUid = user_id("after");

/* ---- framing ----------------------------------------------------------------------------- */

TEST(Framing, EmptyStreamEnds) {
    TestHost host;
    MemoryStream stream(host, {});
    PELLAX_PACKET packet{99, nullptr};
    int end = 0;
    EXPECT_EQ(parse_packet(&host.plt, stream.get(), &packet, &end), 0u);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(packet.data, nullptr);
    EXPECT_EQ(std::count_if(host.logs.begin(), host.logs.end(),
                            [](const LogLine &l) { return l.message == "Data is over."; }),
              2);
}

TEST(Framing, HeaderOctetWithoutBit7) {
    for (uint8_t ctb : {0x00, 0x3F, 0x7F}) {
        TestHost host;
        ParsedPackets parsed(host, {ctb, 0x01, 0x00});
        EXPECT_EQ(parsed.rc, 102u);
        char text[64];
        std::snprintf(text, sizeof text, "Packet format error, ctb data: 0x%02x.", ctb);
        EXPECT_TRUE(host.logged(102, text)) << text;
    }
}

// Each header is followed by a trust body of the length it encodes and a user id; the user id
// comes out whole only when the header's length was taken exactly.
TEST(Framing, LengthEncodings) {
    const struct {
        const char *name;
        Bytes header;
        uint32_t length;
    } cases[] = {
        {"new one octet 191", {0xCC, 191}, 191},
        {"new two octets 192", {0xCC, 192, 0}, 192},
        {"new two octets 8383", {0xCC, 223, 255}, 8383},
        {"new five octets", {0xCC, 255, 0x00, 0x00, 0x21, 0x00}, 0x2100},
        {"new five octets small", {0xCC, 255, 0, 0, 0, 2}, 2},
        {"old one octet", {0xB0, 5}, 5},
        {"old two octets", {0xB1, 0x01, 0x2C}, 300},
        {"old four octets", {0xB2, 0, 0, 0x04, 0x00}, 1024},
    };
    for (const auto &c : cases) {
        TestHost host;
        Bytes body = repeat(0x5A, c.length);
        body[0] = 7;
        ParsedPackets parsed(host, cat({c.header, body, kTrailerUid}));
        ASSERT_EQ(parsed.rc, 0u) << c.name;
        ASSERT_EQ(parsed.types(), (Types{PKT_RING_TRUST, PKT_USER_ID})) << c.name;
        EXPECT_EQ(parsed.at<PELLAX_TRUST>(0)->trust_value, 7u) << c.name;
        EXPECT_STREQ(parsed.at<PELLAX_USER_ID>(1)->name, "after") << c.name;
    }
}

TEST(Framing, PartialAndIndeterminateLengths) {
    const struct {
        const char *name;
        Bytes data;
        PELLAX_ERROR_CODE rc;
    } cases[] = {
        // Only data packets may go without a definite length; they are skipped unread.
        {"new user id, partial", {0xCD, 224, 'a'}, 102},
        {"new signature, partial", {0xC2, 240}, 102},
        {"new literal data, partial", {0xCB, 224}, 0},
        {"new encrypted mdc, partial", {0xD2, 254}, 0},
        {"old signature, indeterminate", {0x8B, 0x04}, 102},
        {"old compressed, indeterminate", {0xA3}, 0},
        {"old literal data, indeterminate", {0xAF}, 0},
    };
    for (const auto &c : cases) {
        TestHost host;
        ParsedPackets parsed(host, c.data);
        EXPECT_EQ(parsed.rc, c.rc) << c.name;
        EXPECT_TRUE(parsed.packets.empty()) << c.name;
        if (c.rc == 102) {
            EXPECT_TRUE(host.logged(102, "Packet format error.")) << c.name;
        }
    }
}

TEST(Framing, HeadersCutShort) {
    const Bytes cases[] = {{0xCD}, {0xCD, 200}, {0xCD, 255, 0, 0}, {0xB5}, {0xB6, 0}, {0xBA, 0, 0}};
    for (const Bytes &data : cases) {
        TestHost host;
        ParsedPackets parsed(host, data);
        EXPECT_EQ(parsed.rc, 114u) << int(data[0]);
        EXPECT_TRUE(host.logged(114,
                                "get_packet_length_and_first_format_type_and_packet_type "
                                "error."));
    }
}

TEST(Framing, SkipModeDropsTheRestOfTheKeyBlock) {
    const Bytes key_a = packet(PKT_PUBLIC_KEY, key_body());
    const Bytes sig_data = sig_body({}, subpkt(16, repeat(1, 8)));
    const Bytes sig = packet(PKT_SIGNATURE, sig_data);
    const Bytes subkey = packet(PKT_PUBLIC_SUBKEY, key_body());
    const Bytes key_b = packet(PKT_PUBLIC_KEY, key_body(4, 1, 1024));
    const struct {
        const char *name;
        Bytes data;
        Types types;
    } cases[] = {
        {"marker, then a signature", cat({packet(PKT_MARKER, {'P', 'G', 'P'}), sig}), {}},
        {"unlisted type inside a key block",
         cat({key_a, user_id("a"), sig, packet(60, {1, 2}), subkey, sig, key_b}),
         {PKT_PUBLIC_KEY, PKT_USER_ID, PKT_SIGNATURE, PKT_PUBLIC_KEY}},
        {"secret key",
         cat({packet(PKT_SECRET_KEY, key_body()), user_id("s"), sig, key_b}),
         {PKT_PUBLIC_KEY}},
        {"secret subkey",
         cat({key_a, packet(PKT_SECRET_SUBKEY, key_body()), sig, key_b}),
         {PKT_PUBLIC_KEY, PKT_PUBLIC_KEY}},
        {"dropped keys in a row",
         cat({packet(PKT_PUBLIC_KEY, key_body(3)), packet(61, {}), subkey,
              packet(PKT_PUBLIC_KEY, key_body(4, 17)), user_id("dsa"),
              packet(PKT_PUBLIC_SUBKEY, key_body(0x23)), key_b, user_id("b")}),
         {PKT_PUBLIC_KEY, PKT_USER_ID}},
        {"old-format key ends skip mode",
         cat({packet(PKT_MARKER, {}), {0x99, 0x01, 0x0D}, key_body()}),
         {PKT_PUBLIC_KEY}},
    };
    for (const auto &c : cases) {
        TestHost host;
        ParsedPackets parsed(host, c.data);
        EXPECT_EQ(parsed.rc, 0u) << c.name;
        EXPECT_EQ(parsed.types(), c.types) << c.name;
    }
    TestHost host;
    ParsedPackets parsed(host, cases[0].data);
    EXPECT_TRUE(host.logged(
        0, "Skip packet, skip type: 2, skip length: " + std::to_string(sig_data.size()) + "."));
}

TEST(Framing, SkippedBodyPastTheEnd) {
    const Bytes cases[] = {
        {0xCA, 10, 'P', 'G'},                                 // unlisted packet
        cat({packet(PKT_MARKER, {}), {0xC2, 50, 4, 0}}),      // in skip mode
        cat({{0xC6, 20, 3}, repeat(0, 5)}),                   // dropped version 3 key
        cat({{0xC6, 0xFF, 0, 0, 0x10, 0}, key_body(4, 17)}),  // dropped algorithm
    };
    int i = 0;
    for (const Bytes &data : cases) {
        TestHost host;
        ParsedPackets parsed(host, data);
        EXPECT_EQ(parsed.rc, 7u) << i++;
    }
}

TEST(Framing, FreePacketForgivesEmptyEnvelopes) {
    TestHost host;
    free_packet(&host.plt, nullptr);
    PELLAX_PACKET empty{PKT_SIGNATURE, nullptr};
    free_packet(&host.plt, &empty);
    free_packet_v(&host.plt, nullptr);
    EXPECT_EQ(host.malloc_calls, 0);

    PELLAX_PACKET *envelope =
        static_cast<PELLAX_PACKET *>(pellax_malloc(&host.sys, sizeof *envelope));
    envelope->pkttype = PKT_RING_TRUST;
    envelope->data = pellax_malloc(&host.sys, sizeof(PELLAX_TRUST));
    free_packet_v(&host.plt, envelope);
    EXPECT_EQ(host.live_blocks, 0);
}

/* ---- public keys ------------------------------------------------------------------------- */

struct KeyCase {
    const char *name;
    uint8_t type;
    Bytes body;
    PELLAX_ERROR_CODE rc;  // of the first call
    bool returned;         // the key comes back (else dropped, or failed)
    const char *message;   // a line the case must log, or null
};

TEST(PublicKey, Table) {
    const Bytes kMod2048 = mpi(2048);
    const KeyCase cases[] = {
        {"v4 RSA 2048", PKT_PUBLIC_KEY, key_body(), 0, true, nullptr},
        {"v4 RSA subkey", PKT_PUBLIC_SUBKEY, key_body(), 0, true, nullptr},
        {"modulus 4096 bits", PKT_PUBLIC_KEY, key_body(4, 1, 4096), 0, true, nullptr},
        {"trailing octets", PKT_PUBLIC_KEY, key_body(4, 1, 2048, {1, 2, 3}), 0, true, nullptr},
        {"zero-bit exponent", PKT_PUBLIC_KEY, cat({{4}, be(kKeyTime, 4), {1}, kMod2048, {0, 0}}), 0,
         true, nullptr},
        {"version 3", PKT_PUBLIC_KEY, key_body(3), 0, false,
         "Sub key is not supported, key version: 3, pkttype: 6."},
        {"version 2 subkey", PKT_PUBLIC_SUBKEY, key_body(2), 0, false,
         "Sub key is not supported, key version: 2, pkttype: 14."},
        {"subkey version 0x23", PKT_PUBLIC_SUBKEY, key_body(0x23), 0, false,
         "Sub key is not supported, key version: #, pkttype: 14."},
        {"primary version 0x23", PKT_PUBLIC_KEY, key_body(0x23), 102, false,
         "Invalid key version, version: 35."},
        {"version 5", PKT_PUBLIC_KEY, key_body(5), 102, false, "Invalid key version, version: 5."},
        {"DSA", PKT_PUBLIC_KEY, key_body(4, 17), 0, false,
         "Key's algorithm type is not supported. Algorithm id: 17"},
        {"RSA sign-only", PKT_PUBLIC_KEY, key_body(4, 3), 0, false,
         "Key's algorithm type is not supported. Algorithm id: 3"},
        {"length 11", PKT_PUBLIC_KEY, cat({{4}, be(kKeyTime, 4), {1}, {0, 8, 1, 0, 1}}), 9, false,
         "The length of key packet is too short. Packet length: 0x0000000a"},
        {"length 0", PKT_PUBLIC_KEY, {}, 9, false, nullptr},
        {"modulus 4097 bits", PKT_PUBLIC_KEY, key_body(4, 1, 4097), 5, false,
         "Big integer data is too long, bytes count: 0x201."},
        {"modulus 16385 bits", PKT_PUBLIC_KEY,
         cat({{4}, be(kKeyTime, 4), {1}, {0x40, 0x01}, repeat(0, 10)}), 5, false,
         "Big integer data is too long, nbits count: 0x4001."},
        // The lengths of the MPIs are checked against the packet's before anything is read.
        {"exponent beyond the packet", PKT_PUBLIC_KEY,
         cat({{4}, be(kKeyTime, 4), {1}, kMod2048, {0, 17, 1}}), 102, false, nullptr},
        {"exponent header beyond the packet", PKT_PUBLIC_KEY,
         cat({{4}, be(kKeyTime, 4), {1}, kMod2048, {0}}), 102, false, nullptr},
        {"modulus beyond the packet", PKT_PUBLIC_KEY,
         cat({{4}, be(kKeyTime, 4), {1}, {0x08, 0x00}, repeat(0xC1, 10)}), 102, false, nullptr},
    };
    for (const KeyCase &c : cases) {
        TestHost host;
        // A following user id shows where the stream stands after the key.
        ParsedPackets parsed(host, cat({packet(c.type, c.body), kTrailerUid}));
        EXPECT_EQ(parsed.rc, c.rc) << c.name;
        if (c.message != nullptr) {
            EXPECT_TRUE(logged_text(host, c.message)) << c.name;
        }
        if (c.rc != 0) {
            EXPECT_TRUE(logged_text(host, "parse_pubkey_and_check error.")) << c.name;
            continue;
        }
        if (!c.returned) {
            // The user id belongs to the dropped key's block.
            EXPECT_TRUE(parsed.packets.empty()) << c.name;
            EXPECT_TRUE(logged_text(host, "skip public key.")) << c.name;
            continue;
        }
        ASSERT_EQ(parsed.types(), (Types{c.type, PKT_USER_ID})) << c.name;
        const PELLAX_PUBLIC_KEY *pk = parsed.at<PELLAX_PUBLIC_KEY>(0);
        EXPECT_EQ(pk->version, 4) << c.name;
        EXPECT_EQ(pk->algorithm, 1) << c.name;
        EXPECT_EQ(pk->timestamp, kKeyTime) << c.name;
        EXPECT_EQ(pk->keyid[0] | pk->keyid[1] | pk->key_usage | pk->is_valid, 0u) << c.name;
    }
}

TEST(PublicKey, MaterialAsInThePacket) {
    TestHost host;
    ParsedPackets parsed(host, cat({packet(PKT_PUBLIC_KEY, key_body(4, 1, 4096)),
                                    packet(PKT_PUBLIC_KEY, key_body(4, 1, 1))}));
    ASSERT_EQ(parsed.types(), (Types{PKT_PUBLIC_KEY, PKT_PUBLIC_KEY}));
    const PELLAX_PUBLIC_KEY *big = parsed.at<PELLAX_PUBLIC_KEY>(0);
    const Bytes modulus = mpi(4096);
    ASSERT_EQ(big->key_material[0].len, 512u);
    EXPECT_EQ(std::memcmp(big->key_material[0].data, modulus.data() + 2, 512), 0);
    ASSERT_EQ(big->key_material[1].len, 3u);
    EXPECT_EQ(Bytes(big->key_material[1].data, big->key_material[1].data + 3), (Bytes{1, 0, 1}));
    EXPECT_EQ(big->key_material[2].len | big->key_material[3].len, 0u);
    EXPECT_EQ(parsed.at<PELLAX_PUBLIC_KEY>(1)->key_material[0].len, 1u);
}

TEST(PublicKey, TruncatedBody) {
    const Bytes full = packet(PKT_PUBLIC_KEY, key_body());
    for (size_t cut : {size_t{3}, size_t{6}, size_t{8}, size_t{9}, size_t{100}, full.size() - 4,
                       full.size() - 1}) {
        TestHost host;
        ParsedPackets parsed(host, Bytes(full.begin(), full.begin() + cut));
        EXPECT_NE(parsed.rc, 0u) << cut;
        EXPECT_TRUE(parsed.packets.empty()) << cut;
    }
}

/* ---- user ids ---------------------------------------------------------------------------- */

TEST(UserId, Lengths) {
    const struct {
        size_t length;
        PELLAX_ERROR_CODE rc;
    } cases[] = {{0, 0}, {1, 0}, {255, 0}, {256, 102}, {8000, 102}};
    for (const auto &c : cases) {
        TestHost host;
        const std::string name(c.length, 'u');
        ParsedPackets parsed(host, user_id(name));
        ASSERT_EQ(parsed.rc, c.rc) << c.length;
        if (c.rc != 0) {
            EXPECT_TRUE(parsed.packets.empty());
            EXPECT_TRUE(logged_text(host, "parse_user_id error."));
            continue;
        }
        const PELLAX_USER_ID *uid = parsed.at<PELLAX_USER_ID>(0);
        EXPECT_EQ(uid->length, c.length);
        EXPECT_EQ(std::string(uid->name), name);
        EXPECT_EQ(uid->attributes, nullptr);
        EXPECT_EQ(uid->attribute_data, nullptr);
    }
}

TEST(UserId, OctetsStoredUnchanged) {
    TestHost host;
    const Bytes octets{'a', 0x00, 0xFF, '\n', 'z'};
    ParsedPackets parsed(host, packet(PKT_USER_ID, octets));
    ASSERT_EQ(parsed.rc, 0u);
    const PELLAX_USER_ID *uid = parsed.at<PELLAX_USER_ID>(0);
    ASSERT_EQ(uid->length, 5u);
    EXPECT_EQ(std::memcmp(uid->name, octets.data(), 5), 0);
    EXPECT_EQ(uid->name[5], '\0');
}

TEST(UserId, Truncated) {
    TestHost host;
    ParsedPackets parsed(host, {0xCD, 10, 'a', 'b'});
    EXPECT_EQ(parsed.rc, 114u);
    EXPECT_TRUE(host.logged(114, "Can't read enough user id data, pellax_iobuf_get error."));
}

/* ---- user attributes --------------------------------------------------------------------- */

// One attribute subpacket: a length of the given form, the type, the data.
Bytes attrib(uint8_t type, const Bytes &data, int form = 1) {
    const uint32_t length = static_cast<uint32_t>(data.size()) + 1;
    Bytes head;
    if (form == 1) {
        head = {static_cast<uint8_t>(length)};
    } else if (form == 2) {
        head = {static_cast<uint8_t>(192 + ((length - 192) >> 8)),
                static_cast<uint8_t>((length - 192) & 0xFF)};
    } else {
        head = cat({{255}, be(length, 4)});
    }
    return cat({head, {type}, data});
}

// An image subpacket: header length, header version, encoding, the rest of a 16-octet
// header, then size octets of picture.
Bytes image(uint16_t header_length, uint8_t version, uint8_t encoding, size_t size, int form = 1) {
    Bytes data{static_cast<uint8_t>(header_length & 0xFF), static_cast<uint8_t>(header_length >> 8),
               version, encoding};
    data.resize(16, 0);
    Bytes picture = repeat(0xD8, size);
    return attrib(1, cat({data, picture}), form);
}

TEST(Attribute, Descriptions) {
    const Bytes two = cat({image(16, 1, 1, 10), attrib(7, {1, 2, 3})});
    const struct {
        const char *name;
        Bytes body;
        uint32_t count;
        std::string description;
    } cases[] = {
        {"jpeg image", image(16, 1, 1, 1000, 2), 1, "[jpeg image of size 1000]"},
        {"image in a five-octet length", image(16, 1, 1, 40, 5), 1, "[jpeg image of size 40]"},
        {"other encoding", image(16, 1, 9, 5), 1, "[unknown image of size 5]"},
        {"header version 2", image(16, 2, 1, 5), 1, "[unknown image of size 5]"},
        {"two subpackets", two, 2, "[2 attributes of size " + std::to_string(two.size()) + "]"},
        {"empty body", {}, 0, "[bad attribute packet of size 0]"},
        {"unknown type", attrib(2, repeat(1, 30)), 1, "[unknown attribute of size 30]"},
        {"image of two octets", attrib(1, {3, 0}), 1, "[invalid image]"},
        {"image header of three octets", attrib(1, {3, 0, 1}), 1, "[invalid image]"},
        {"image header beyond the data", image(200, 1, 1, 10), 1, "[invalid image]"},
        {"image header and no picture", image(16, 1, 1, 0), 1, "[invalid image]"},
        {"subpacket beyond the body", {50, 1, 2, 3}, 0, "[bad attribute packet of size 4]"},
        {"two-octet length cut", {200}, 0, "[bad attribute packet of size 1]"},
        {"five-octet length cut", {255, 0, 0, 1}, 0, "[bad attribute packet of size 4]"},
        // A subpacket of length 0 has no type: the split ends, earlier entries stay.
        {"empty subpacket after one", cat({attrib(2, {1}), {0}, attrib(2, {1})}), 1,
         "[unknown attribute of size 1]"},
        {"empty subpacket first", {0, 2, 2, 1}, 0, "[bad attribute packet of size 4]"},
        {"empty five-octet subpacket", {255, 0, 0, 0, 0}, 0, "[bad attribute packet of size 5]"},
    };
    for (const auto &c : cases) {
        TestHost host;
        ParsedPackets parsed(host, cat({packet(PKT_ATTRIBUTE, c.body), kTrailerUid}));
        ASSERT_EQ(parsed.rc, 0u) << c.name;
        ASSERT_EQ(parsed.types(), (Types{PKT_USER_ID, PKT_USER_ID})) << c.name;
        const PELLAX_USER_ID *uid = parsed.at<PELLAX_USER_ID>(0);
        EXPECT_EQ(std::string(uid->name), c.description) << c.name;
        EXPECT_EQ(uid->length, c.description.size()) << c.name;
        EXPECT_EQ(uid->attribute_count, c.count) << c.name;
        EXPECT_EQ(uid->attribute_length, c.body.size()) << c.name;
        EXPECT_EQ(uid->attributes == nullptr, c.count == 0) << c.name;
        if (!c.body.empty()) {
            ASSERT_NE(uid->attribute_data, nullptr);
            EXPECT_EQ(std::memcmp(uid->attribute_data, c.body.data(), c.body.size()), 0) << c.name;
        }
    }
}

TEST(Attribute, EntriesPointIntoTheBody) {
    TestHost host;
    const Bytes body =
        cat({attrib(1, {9, 8, 7}), attrib(0x65, repeat(4, 300), 2), attrib(3, {5}, 5)});
    ParsedPackets parsed(host, packet(PKT_ATTRIBUTE, body));
    ASSERT_EQ(parsed.rc, 0u);
    const PELLAX_USER_ID *uid = parsed.at<PELLAX_USER_ID>(0);
    ASSERT_EQ(uid->attribute_count, 3u);
    const struct {
        uint8_t type;
        size_t offset;
        uint32_t length;
    } expect[] = {{1, 2, 3}, {0x65, 5 + 3, 300}, {3, 308 + 6, 1}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(uid->attributes[i].type, expect[i].type) << i;
        EXPECT_EQ(uid->attributes[i].data, uid->attribute_data + expect[i].offset) << i;
        EXPECT_EQ(uid->attributes[i].length, expect[i].length) << i;
    }
}

TEST(Attribute, TruncatedBody) {
    TestHost host;
    ParsedPackets parsed(host, cat({{0xD1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, repeat(1, 5000)}));
    EXPECT_EQ(parsed.rc, 114u);
    EXPECT_TRUE(parsed.failed.empty());
    EXPECT_TRUE(logged_text(host, "parse_attribute error."));
}

/* ---- trust ------------------------------------------------------------------------------- */

TEST(Trust, Bodies) {
    const struct {
        Bytes body;
        bool record;
        uint32_t value;
        uint32_t flags;
    } cases[] = {
        {{}, false, 0, 0},
        {{0x06}, true, 6, 0},
        {{0x05, 0x83}, true, 5, 0},
        {{0x05, 0x03}, true, 5, 3},
        {{0x78, 0x03, 0x01}, true, 0x78, 0},
    };
    for (const auto &c : cases) {
        TestHost host;
        ParsedPackets parsed(host, cat({packet(PKT_RING_TRUST, c.body), kTrailerUid}));
        ASSERT_EQ(parsed.types(), (Types{PKT_RING_TRUST, PKT_USER_ID})) << c.body.size();
        const PELLAX_TRUST *trust = parsed.at<PELLAX_TRUST>(0);
        ASSERT_EQ(trust != nullptr, c.record);
        if (trust != nullptr) {
            EXPECT_EQ(trust->trust_value, c.value);
            EXPECT_EQ(trust->cache_flags, c.flags);
        }
    }
}

TEST(Trust, Truncated) {
    for (const Bytes &data : {Bytes{0xCC, 1}, Bytes{0xCC, 2, 5}, Bytes{0xCC, 3, 5, 0}}) {
        TestHost host;
        ParsedPackets parsed(host, data);
        EXPECT_NE(parsed.rc, 0u);
        EXPECT_TRUE(logged_text(host, "parse_trust error."));
    }
}

/* ---- signatures -------------------------------------------------------------------------- */

const Bytes kCreated = subpkt(2, be(0x60000000, 4));
const Bytes kIssuer = subpkt(16, {1, 2, 3, 4, 5, 6, 7, 8});

struct SigCase {
    const char *name;
    Bytes body;
    PELLAX_ERROR_CODE rc;
    const char *message;  // a line the case must log, or null
};

TEST(Signature, Table) {
    const Bytes area10000 = cat({subpkt(20, repeat(0, 9992)), {1, 0x55}});
    const SigCase cases[] = {
        {"plain", sig_body(kCreated, kIssuer), 0, nullptr},
        {"version 3", sig_body(kCreated, kIssuer, 1, mpi(2047), 3), 102,
         "Signature is not supported, version: 3."},
        {"version 5", sig_body(kCreated, kIssuer, 1, mpi(2047), 5), 102, nullptr},
        {"15 octets", Bytes{4, 0, 1, 8, 0, 0, 0, 0, 1, 2, 0, 8, 1, 0, 0}, 102,
         "Packet is too short, length is 0x0000000f."},
        {"16 octets, empty areas", Bytes{4, 0, 1, 8, 0, 0, 0, 0, 1, 2, 0, 8, 1, 0, 0, 0}, 0,
         nullptr},
        {"hashed area of 10000", sig_body(area10000, {}), 0, nullptr},
        {"hashed area of 10001", sig_body(cat({area10000, {0}}), {}), 102,
         "Length of the extra data is too long, Extra data length: 0x2711."},
        {"unhashed area of 10001", sig_body({}, cat({area10000, {0}})), 102, nullptr},
        {"creation time of 3 octets", sig_body(subpkt(2, {1, 2, 3}), {}), 115,
         "Create message's length is error."},
        {"expiration of 3 octets", sig_body(subpkt(3, {1, 2, 3}), {}), 115,
         "Invalid expire date sub packet."},
        {"key expiration of 3 octets", sig_body({}, subpkt(9, {1, 2, 3})), 115,
         "Invalid expire date sub packet."},
        {"issuer of 7 octets", sig_body({}, subpkt(16, repeat(1, 7))), 115,
         "Invalid issuer sub packet."},
        {"subpacket beyond its area", sig_body({10, 2, 0, 0}, {}), 115,
         "Sub packet is too short, buffer length: 0x00000003, length data: 0x0000000a."},
        {"two-octet subpacket length cut", sig_body(cat({kCreated, {0xC0, 0x00, 0x05}}), {}), 115,
         "Sub packet is too short, buffer length: 0x00000001, length data: 0x000000c0."},
        {"two-octet subpacket length alone", sig_body(cat({kCreated, {0xC0}}), {}), 115,
         "Sub packet is too short."},
        {"five-octet subpacket length cut", sig_body({}, {0xFF, 0, 0, 0}), 115,
         "Sub packet is too short."},
        {"empty subpacket", sig_body(cat({kCreated, {0x00}}), {}), 115, "Sub packet is too short."},
        {"empty five-octet subpacket", sig_body({}, {0xFF, 0, 0, 0, 0}), 115, nullptr},
        {"value beyond the packet", cat({sig_body({}, {}, 1, {0x08, 0x00}), repeat(1, 100)}), 102,
         "Length of the data is too long, length is: 0x100."},
        {"value of 4097 bits", sig_body({}, {}, 1, mpi(4097)), 102,
         "Length of the data is too long, length is: 0x201."},
        {"value of 0 bits", sig_body({}, {}, 1, {0, 0, 0, 0, 0}), 102, nullptr},
        {"value of 4096 bits", sig_body({}, {}, 1, mpi(4096)), 0, nullptr},
        {"trailing octets", cat({sig_body(kCreated, {}), {1, 2, 3, 4}}), 0, nullptr},
        // The hashed area takes all that is left, so the unhashed count would lie beyond.
        {"no room for the unhashed count", Bytes{4, 0, 1, 8, 0, 10, 3, 2, 0, 0, 0, 0, 5, 9, 0, 0},
         102, "Length of the packet is too short, packet length: 0x00000000."},
        {"hashed area beyond the packet", Bytes{4, 0, 1, 8, 0, 11, 3, 2, 0, 0, 0, 0, 5, 9, 0, 0},
         102, "Signature data is too short."},
        {"nothing after the areas", Bytes{4, 0, 1, 8, 0, 6, 5, 2, 0, 0, 0, 0, 0, 0, 0, 0}, 102,
         "Length of the packet is too short, packet length: 0x00000002."},
    };
    for (const SigCase &c : cases) {
        TestHost host;
        ParsedPackets parsed(host, cat({packet(PKT_SIGNATURE, c.body), kTrailerUid}));
        EXPECT_EQ(parsed.rc, c.rc) << c.name;
        if (c.message != nullptr) {
            EXPECT_TRUE(logged_text(host, c.message)) << c.name;
        }
        if (c.rc == 0) {
            EXPECT_EQ(parsed.types(), (Types{PKT_SIGNATURE, PKT_USER_ID})) << c.name;
        } else {
            EXPECT_TRUE(logged_text(host, "parse_signature error.")) << c.name;
        }
    }
}

TEST(Signature, Fields) {
    TestHost host;
    const Bytes hashed = cat({kCreated, subpkt(27, {0x03}), subpkt(0x80 | 40, {1})});
    const Bytes body = sig_body(hashed, kIssuer, 1, mpi(2047), 4, 0x10);
    ParsedPackets parsed(host, packet(PKT_SIGNATURE, body));
    ASSERT_EQ(parsed.rc, 0u);
    const PELLAX_SIGNATURE *sig = parsed.at<PELLAX_SIGNATURE>(0);
    EXPECT_EQ(sig->version, 4);
    EXPECT_EQ(sig->signature_class, 0x10);
    EXPECT_EQ(sig->key_algorithm, 1);
    EXPECT_EQ(sig->hash_algorithm, 8);
    EXPECT_EQ(sig->timestamp, 0x60000000u);
    EXPECT_EQ(sig->keyid[0], 0x01020304u);
    EXPECT_EQ(sig->keyid[1], 0x05060708u);
    EXPECT_EQ(sig->expired | sig->expire_time | sig->verify_done | sig->verify_ok, 0u);
    ASSERT_NE(sig->hashed_area, nullptr);
    EXPECT_EQ(sig->hashed_area->length, hashed.size());
    EXPECT_EQ(sig->hashed_area->capacity, hashed.size());
    EXPECT_EQ(std::memcmp(sig->hashed_area->octets, hashed.data(), hashed.size()), 0);
    ASSERT_NE(sig->unhashed_area, nullptr);
    EXPECT_EQ(sig->unhashed_area->length, kIssuer.size());
    const Bytes value = mpi(2047);
    ASSERT_EQ(sig->signature_value[0].len, 256u);
    EXPECT_EQ(std::memcmp(sig->signature_value[0].data, value.data() + 2, 256), 0);
    EXPECT_EQ(sig->signature_value[1].len, 0u);
}

TEST(Signature, SubpacketsOverwriteInOrder) {
    const Bytes issuer_b = subpkt(16, repeat(0xBB, 8));
    const struct {
        const char *name;
        Bytes hashed, unhashed;
        uint32_t timestamp, keyid0, expire, expired;
    } cases[] = {
        {"critical creation time", subpkt(0x82, be(77, 4)), {}, 77, 0, 0, 0},
        {"critical unknown type", subpkt(0x80 | 50, {}), {}, 0, 0, 0, 0},
        {"issuer only unhashed", {}, kIssuer, 0, 0x01020304, 0, 0},
        {"issuer in both areas", issuer_b, kIssuer, 0, 0x01020304, 0, 0},
        {"later creation time wins", cat({kCreated, subpkt(2, be(5, 4))}), {}, 5, 0, 0, 0},
        // A signature expires its lifetime after its signed creation time (the test clock reads
        // 1700000000); a key expiration subpacket never marks the signature itself.
        {"lifetime passed",
         cat({subpkt(2, be(1600000000, 4)), subpkt(3, be(86400, 4))}),
         {},
         1600000000,
         0,
         86400,
         1},
        {"lifetime running",
         cat({subpkt(2, be(1699990000, 4)), subpkt(3, be(86400, 4))}),
         {},
         1699990000,
         0,
         86400,
         0},
        {"lifetime without creation time", subpkt(3, be(86400, 4)), {}, 0, 0, 86400, 1},
        {"expiration zero", subpkt(3, be(0, 4)), {}, 0, 0, 0, 0},
        {"expiration in the future", subpkt(3, be(0xF0000000u, 4)), {}, 0, 0, 0xF0000000u, 0},
        {"key expiration", subpkt(9, be(100, 4)), {}, 0, 0, 100, 0},
        {"unhashed lifetime is ignored", {}, subpkt(3, be(100, 4)), 0, 0, 100, 0},
        {"last expiration wins", cat({subpkt(3, be(100, 4))}), subpkt(9, be(0, 4)), 0, 0, 0, 1},
    };
    for (const auto &c : cases) {
        TestHost host;
        ParsedPackets parsed(host, packet(PKT_SIGNATURE, sig_body(c.hashed, c.unhashed)));
        ASSERT_EQ(parsed.rc, 0u) << c.name;
        const PELLAX_SIGNATURE *sig = parsed.at<PELLAX_SIGNATURE>(0);
        EXPECT_EQ(sig->timestamp, c.timestamp) << c.name;
        EXPECT_EQ(sig->keyid[0], c.keyid0) << c.name;
        EXPECT_EQ(sig->expire_time, c.expire) << c.name;
        EXPECT_EQ(sig->expired, c.expired) << c.name;
    }
}

TEST(Signature, KeyAlgorithmZeroHasNoValue) {
    TestHost host;
    // Subpackets are not looked at either: the broken one here goes unnoticed.
    const Bytes body = cat({sig_body(cat({kCreated, {0}}), kIssuer, 0, {}), {9, 9, 9}});
    ParsedPackets parsed(host, cat({packet(PKT_SIGNATURE, body), kTrailerUid}));
    ASSERT_EQ(parsed.rc, 0u);
    ASSERT_EQ(parsed.types(), (Types{PKT_SIGNATURE, PKT_USER_ID}));
    const PELLAX_SIGNATURE *sig = parsed.at<PELLAX_SIGNATURE>(0);
    EXPECT_EQ(sig->signature_value[0].len, 0u);
    EXPECT_EQ(sig->timestamp, 0u);
    EXPECT_NE(sig->hashed_area, nullptr);
}

TEST(Signature, ClockFailureWhileReadingAnExpiration) {
    TestHost host;
    host.clock = 0;
    ParsedPackets parsed(host, packet(PKT_SIGNATURE, sig_body(subpkt(3, be(5, 4)), {})));
    EXPECT_EQ(parsed.rc, 2u);
}

TEST(Signature, Truncated) {
    const Bytes full = packet(PKT_SIGNATURE, sig_body(cat({kCreated, kIssuer}), kIssuer));
    for (size_t cut = 2; cut < full.size(); ++cut) {
        TestHost host;
        ParsedPackets parsed(host, Bytes(full.begin(), full.begin() + cut));
        EXPECT_NE(parsed.rc, 0u) << cut;
        EXPECT_TRUE(parsed.packets.empty()) << cut;
    }
}

/* ---- subpacket lookup and the self-signature readers ------------------------------------- */

TEST(Subpacket, Lookup) {
    TestHost host;
    const Bytes area = cat({subpkt(20, {1}), subpkt(0x80 | 27, {0x0C, 0x01}), subpkt(27, {0x02}),
                            subpkt(16, repeat(3, 7))});
    const struct {
        int type;
        PELLAX_ERROR_CODE rc;
        PX_UINT32 length;
        long offset;  // of the data in the area, -1: not found
    } cases[] = {
        {27, 0, 2, 5},
        {20, 0, 1, 2},
        {2, 0, 99, -1},
        {16, 115, 7, -1},
    };
    for (const auto &c : cases) {
        PX_UINT32 length = 99;
        const PX_BYTE *data = nullptr;
        EXPECT_EQ(
            parse_sig_subpkt(&host.plt, area.data(), area.size(), nullptr, c.type, &length, &data),
            c.rc)
            << c.type;
        EXPECT_EQ(length, c.length) << c.type;
        EXPECT_EQ(data, c.offset < 0 ? nullptr : area.data() + c.offset) << c.type;
    }
    PX_UINT32 length = 0;
    PELLAX_SIGNATURE sig{};
    EXPECT_EQ(parse_sig_subpkt(&host.plt, area.data(), area.size(), &sig, 27, &length, nullptr),
              201u);
    EXPECT_EQ(parse_sig_subpkt(&host.plt, nullptr, 0, &sig, 0, nullptr, nullptr), 0u);
}

// A signature record whose hashed area holds the given subpackets.
class HashedSig {
  public:
    HashedSig(TestHost &host, const Bytes &hashed)
        : parsed_(host, packet(PKT_SIGNATURE, sig_body(hashed, {}))) {}
    const PELLAX_SIGNATURE *get() const { return parsed_.at<PELLAX_SIGNATURE>(0); }

  private:
    ParsedPackets parsed_;
};

TEST(Subpacket, KeyFlagsMapping) {
    const struct {
        const char *name;
        Bytes hashed;
        PX_UINT32 usage;
    } cases[] = {
        {"sign and certify", subpkt(27, {0x03}), 0x05},
        {"certify", subpkt(27, {0x01}), 0x04},
        {"encrypt both ways", subpkt(27, {0x0C}), 0x02},
        {"encrypt storage", subpkt(27, {0x08}), 0x02},
        {"authenticate", subpkt(27, {0x23}), 0x0D},
        {"unknown flag", subpkt(27, {0x43}), 0x85},
        {"split key", subpkt(27, {0x10}), 0x80},
        {"second octet ignored", subpkt(27, {0x02, 0xFF}), 0x01},
        {"no key flags", kCreated, 0},
        {"empty key flags", subpkt(27, {}), 0},
        {"only the first counts", cat({subpkt(27, {0x02}), subpkt(27, {0x01})}), 0x01},
        {"no hashed area", {}, 0},
    };
    for (const auto &c : cases) {
        TestHost host;
        HashedSig sig(host, c.hashed);
        PX_UINT32 usage = 0xEE;
        EXPECT_EQ(parse_key_usage(&host.plt, sig.get(), &usage), 0u) << c.name;
        EXPECT_EQ(usage, c.usage) << c.name;
    }
}

TEST(Subpacket, KeyExpireAndUidFixup) {
    const uint32_t created = 1500000000;
    const struct {
        const char *name;
        Bytes hashed;
        PX_UINT32 expire;
        PX_UINT32 key_expire_time;
    } cases[] = {
        {"none", kCreated, 0, 0},
        {"zero", subpkt(9, be(0, 4)), 0, 0},
        {"one year", subpkt(9, be(31536000, 4)), 31536000, created + 31536000},
        {"wraps as unsigned", subpkt(9, be(0xF0000000u, 4)), 0xF0000000u, created + 0xF0000000u},
        {"critical", subpkt(0x89, be(60, 4)), 60, created + 60},
    };
    for (const auto &c : cases) {
        TestHost host;
        HashedSig sig(host, cat({c.hashed, subpkt(27, {0x03}), kCreated}));
        PX_UINT32 expire = 0xEE;
        EXPECT_EQ(parse_key_expire(&host.plt, sig.get(), &expire), 0u) << c.name;
        EXPECT_EQ(expire, c.expire) << c.name;

        PELLAX_USER_ID uid{};
        uid.key_expire_time = 0xEE;
        EXPECT_EQ(fixup_uidnode(&host.plt, &uid, sig.get(), created), 0u) << c.name;
        EXPECT_EQ(uid.key_expire_time, c.key_expire_time) << c.name;
        EXPECT_EQ(uid.selfsig_time, 0x60000000u) << c.name;
        EXPECT_EQ(uid.key_usage, 0x05u) << c.name;
    }
    TestHost host;
    PELLAX_SIGNATURE bare{};
    PX_UINT32 expire = 0xEE;
    EXPECT_EQ(parse_key_expire(&host.plt, &bare, &expire), 0u);
    EXPECT_EQ(expire, 0u);
    EXPECT_EQ(buffer_to_u32(&host.plt, Bytes{0x80, 0, 0, 0x01}.data()), 0x80000001u);
}

TEST(Subpacket, ReadersReportBrokenAreas) {
    // A record made elsewhere may hold an area the parser would have refused.
    TestHost host;
    Bytes area{5, 27, 3};
    PELLAX_SUBPKT_AREA *block = static_cast<PELLAX_SUBPKT_AREA *>(
        std::malloc(offsetof(PELLAX_SUBPKT_AREA, octets) + area.size()));
    block->capacity = block->length = area.size();
    std::memcpy(block->octets, area.data(), area.size());
    PELLAX_SIGNATURE sig{};
    sig.hashed_area = block;
    PX_UINT32 value = 0;
    EXPECT_EQ(parse_key_usage(&host.plt, &sig, &value), 115u);
    EXPECT_TRUE(host.logged(115, "Find key usage error."));
    EXPECT_EQ(parse_key_expire(&host.plt, &sig, &value), 115u);
    EXPECT_TRUE(host.logged(115, "Get key expire time error."));
    PELLAX_USER_ID uid{};
    EXPECT_EQ(fixup_uidnode(&host.plt, &uid, &sig, 0), 115u);
    EXPECT_TRUE(host.logged(115, "Get key usage error."));
    // The key expiration is looked up apart from the flags: a short one fails the fixup too.
    area = cat({subpkt(27, {3}), subpkt(9, {1, 2})});
    block = static_cast<PELLAX_SUBPKT_AREA *>(
        std::realloc(block, offsetof(PELLAX_SUBPKT_AREA, octets) + area.size()));
    block->capacity = block->length = area.size();
    std::memcpy(block->octets, area.data(), area.size());
    sig.hashed_area = block;
    EXPECT_EQ(fixup_uidnode(&host.plt, &uid, &sig, 0), 115u);
    EXPECT_TRUE(host.logged(115, "parse_sig_subpkt error."));
    std::free(block);
}

/* ---- hostile input ----------------------------------------------------------------------- */

// A key block with one packet of every kept type.
Bytes full_block() {
    return cat({packet(PKT_PUBLIC_KEY, key_body()), user_id("Alice <alice@example.org>"),
                packet(PKT_RING_TRUST, {5, 3}),
                packet(PKT_SIGNATURE, sig_body(cat({kCreated, subpkt(27, {3})}), kIssuer)),
                packet(PKT_ATTRIBUTE, cat({image(16, 1, 1, 50), attrib(2, {1, 2})})),
                packet(PKT_SIGNATURE, sig_body(kCreated, kIssuer)),
                packet(PKT_PUBLIC_SUBKEY, key_body(4, 1, 3072)),
                packet(PKT_SIGNATURE, sig_body(subpkt(27, {0x0C}), kIssuer))});
}

TEST(HostileInput, EveryTruncationFailsCleanly) {
    const Bytes block = full_block();
    for (size_t cut = 0; cut <= block.size(); ++cut) {
        TestHost host;
        {
            ParsedPackets parsed(host, Bytes(block.begin(), block.begin() + cut));
            const PELLAX_ERROR_CODE rc = parsed.rc;
            EXPECT_TRUE(rc == 0 || rc == 7 || rc == 9 || rc == 102 || rc == 113 || rc == 114)
                << cut << " gave " << rc;
            if (cut == block.size()) {
                EXPECT_EQ(parsed.types(),
                          (Types{6, PKT_USER_ID, PKT_RING_TRUST, PKT_SIGNATURE, PKT_USER_ID,
                                 PKT_SIGNATURE, PKT_PUBLIC_SUBKEY, PKT_SIGNATURE}));
            }
        }
        EXPECT_EQ(host.live_blocks, 0) << cut;
    }
}

TEST(HostileInput, FlippedOctetsNeverEscapeTheirBuffers) {
    const Bytes block = full_block();
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes data = block;
        for (int flips = 1 + next() % 4; flips > 0; --flips) {
            data[next() % data.size()] = static_cast<uint8_t>(next());
        }
        TestHost host;
        host.plt.log_callback = nullptr;
        { ParsedPackets parsed(host, data); }
        ASSERT_EQ(host.live_blocks, 0) << round;
    }
}

// Largest single allocation, to see that length fields alone reserve no memory.
PX_ULONG g_largest = 0;
void *(*g_inner_malloc)(PX_ULONG) = nullptr;
void *measuring_malloc(PX_ULONG size) {
    g_largest = std::max(g_largest, size);
    return g_inner_malloc(size);
}

TEST(HostileInput, HugeLengthsReserveNothing) {
    const Bytes cases[] = {
        cat({{0xD1, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}, repeat(1, 20)}),     // attribute
        cat({{0xC6, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, key_body()}),        // key
        cat({{0xC2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, sig_body({}, {})}),  // signature
        cat({{0xCA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, repeat(1, 20)}),     // skipped
    };
    for (const Bytes &data : cases) {
        TestHost host;
        g_largest = 0;
        g_inner_malloc = host.plt.sys.malloc;
        host.plt.sys.malloc = measuring_malloc;
        host.plt.log_callback = nullptr;
        { ParsedPackets parsed(host, data); }
        EXPECT_LE(g_largest, 8192u);
        EXPECT_EQ(host.live_blocks, 0);
    }
}

TEST(HostileInput, AMillionTinyPackets) {
    TestHost host;
    host.plt.log_callback = nullptr;
    const size_t count = 1000000;
    // Skipped packets: one call walks them all in skip mode.
    Bytes skipped = packet(PKT_MARKER, {});
    skipped.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        skipped.insert(skipped.end(), {0xCA, 1, 'P'});
    }
    {
        ParsedPackets parsed(host, skipped);
        EXPECT_EQ(parsed.rc, 0u);
        EXPECT_TRUE(parsed.packets.empty());
    }
    // Kept packets: one call each.
    Bytes kept;
    kept.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        kept.insert(kept.end(), {0xCC, 1, static_cast<uint8_t>(i)});
    }
    {
        MemoryStream stream(host, kept);
        size_t got = 0;
        PELLAX_ERROR_CODE rc = 0;
        for (int end = 0; rc == 0 && end == 0;) {
            PELLAX_PACKET p{0, nullptr};
            rc = parse_packet(&host.plt, stream.get(), &p, &end);
            got += p.data != nullptr ? 1 : 0;
            free_packet(&host.plt, &p);
        }
        EXPECT_EQ(rc, 0u);
        EXPECT_EQ(got, count);
    }
    // An attribute of many tiny subpackets.
    Bytes body;
    for (size_t i = 0; i < 200000; ++i) {
        body.insert(body.end(), {1, 2});
    }
    {
        ParsedPackets parsed(host, packet(PKT_ATTRIBUTE, body));
        ASSERT_EQ(parsed.rc, 0u);
        EXPECT_EQ(parsed.at<PELLAX_USER_ID>(0)->attribute_count, 200000u);
    }
    EXPECT_EQ(host.live_blocks, 0);
}

/* ---- failing allocations ----------------------------------------------------------------- */

TEST(FailingAllocations, EveryExitPathReleasesItsMemory) {
    const Bytes block = cat({full_block(), packet(PKT_ATTRIBUTE, repeat(0x0F, 9000))});
    bool completed = false;
    for (long n = 1; n < 200 && !completed; ++n) {
        TestHost host;
        {
            MemoryStream stream(host, block);
            ASSERT_NE(stream.get(), nullptr);
            host.fail_malloc_at = host.malloc_calls + n;
            std::vector<PELLAX_PACKET> got;
            PELLAX_ERROR_CODE rc = 0;
            for (;;) {
                PELLAX_PACKET p{0, nullptr};
                int end = 0;
                rc = parse_packet(&host.plt, stream.get(), &p, &end);
                got.push_back(p);
                if (rc != 0 || end != 0) {
                    break;
                }
            }
            for (PELLAX_PACKET &p : got) {
                free_packet(&host.plt, &p);
            }
            if (!host.malloc_failed) {
                EXPECT_EQ(rc, 0u);
                EXPECT_EQ(got.size(), 10u);  // nine packets and the envelope of the end
                completed = true;
            } else if (rc != 0) {
                EXPECT_EQ(rc, 1u) << n;
            }
        }
        EXPECT_EQ(host.live_blocks, 0) << n;
    }
    EXPECT_TRUE(completed);
}

}  // namespace
