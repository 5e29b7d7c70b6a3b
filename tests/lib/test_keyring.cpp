// Key ring processing and key signature checks: crafted key blocks signed in the test, and the
// gpg key files of tests/data/keyring.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "keyring_support.h"
#include "free_packet.h"
#include "mainproc.h"
#include "parse.h"
#include "pellax_vrf_internal.h"

namespace {

constexpr uint32_t kCreated = 1700000000;  // crafted keys' creation time, before kFixtureNow
constexpr uint32_t kYear = 31536000;
const std::string kUid = "Crafted <crafted@notarix.invalid>";

const Signer &signer() {
    static const Signer s(fixture_path("craft-rsa2048.pem"));
    return s;
}

// Building blocks of crafted key files, all by the one crafted RSA key.
Bytes key(uint32_t created = kCreated) {
    return signer().key_packet(created);
}
Bytes uid(const std::string &text = kUid) {
    return packet(PKT_USER_ID, Bytes(text.begin(), text.end()));
}
SigFields fields(uint8_t sig_class, int64_t created, int flags = 0x03) {
    SigFields s;
    s.sig_class = sig_class;
    s.created = created;
    s.key_flags = flags;
    return s;
}
Bytes cert(const SigFields &s, uint32_t created = kCreated, const std::string &text = kUid) {
    const Bytes material =
        concat({Signer::key_material(signer().key_body(created)), Signer::uid_material(text)});
    return signer().sign(material, s, created);
}
Bytes over_key(const SigFields &s, uint32_t created = kCreated) {
    return signer().sign(Signer::key_material(signer().key_body(created)), s, created);
}
Bytes trust(uint8_t flags) {
    return packet(PKT_RING_TRUST, Bytes{0x00, flags});
}
Bytes good_key(uint32_t created = kCreated) {
    return concat({key(created), uid(), cert(fields(0x13, created), created)});
}

// A user attribute holding one small image subpacket, and what a certification of it hashes.
Bytes attribute_body() {
    Bytes image{0x10, 0x00, 0x01, 0x01};
    image.resize(16, 0);
    image.insert(image.end(), {0xFF, 0xD8, 0xFF, 0xD9});
    return concat({Bytes{static_cast<uint8_t>(image.size() + 1), 0x01}, image});
}
Bytes attribute_material(const Bytes &body) {
    const Bytes prefix{0xD1, 0, 0, static_cast<uint8_t>(body.size() >> 8),
                       static_cast<uint8_t>(body.size())};
    return concat({prefix, body});
}

struct Loaded {
    PELLAX_ERROR_CODE code = 0;
    PELLAX_LIST *ring = nullptr;
    std::vector<PELLAX_PACKET *> packets;
    std::vector<PELLAX_PUBLIC_KEY *> keys;  // primary keys, in order
};

Loaded load(Library &lib, const Bytes &file) {
    Loaded out;
    ByteStream in(&lib.funcs.plt, file);
    out.code = pellax_load_key(&lib.funcs, in.stream, &out.ring);
    out.packets = Library::packets(out.ring);
    for (PELLAX_PACKET *p : out.packets) {
        if (p->pkttype == PKT_PUBLIC_KEY) {
            out.keys.push_back(static_cast<PELLAX_PUBLIC_KEY *>(p->data));
        }
    }
    return out;
}

bool log_contains(const Library &lib, const std::string &part) {
    for (const LogLine &l : lib.host.logs) {
        if (l.message.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

struct KeyBlockCase {
    const char *name;
    std::function<Bytes()> file;
    PELLAX_ERROR_CODE code;
    size_t keys_kept;
    int usage;             // of the first kept key; -1: not checked
    int64_t expire;        // of the first kept key; -1: not checked
    const char *log_part;  // a logged line holds this text; null: not checked
};

TEST(KeyRing, CraftedKeyBlocks) {
    const int64_t now = kFixtureNow;
    const uint32_t two_years_ago = static_cast<uint32_t>(now - 2 * kYear);
    const KeyBlockCase cases[] = {
        {"certification with flags 0x03, no expiry", [] { return good_key(); }, 0, 1, 0x05, 0,
         "Check public key:"},
        {"certification allows certifying only",
         [] {
             return concat({key(), uid(), cert(fields(0x13, kCreated, 0x01))});
         },
         0, 0, -1, -1, "is invalid, key usage: 0x00000004."},
        {"user id altered after signing",
         [] {
             return concat(
                 {key(), uid("Crafted <other@notarix.invalid>"), cert(fields(0x13, kCreated))});
         },
         0, 0, -1, -1, "is not valid."},
        {"key without user id or signature", [] { return key(); }, 0, 0, -1, -1, "is not valid."},
        {"expired: one-year expiry, made two years ago",
         [two_years_ago] {
             SigFields s = fields(0x13, two_years_ago);
             s.key_expire = kYear;
             return concat({key(two_years_ago), uid(), cert(s, two_years_ago)});
         },
         0, 0, -1, -1, "has expired."},
        {"expiry ahead is kept with its time",
         [] {
             SigFields s = fields(0x13, kCreated);
             s.key_expire = 10 * kYear;
             return concat({key(), uid(), cert(s)});
         },
         0, 1, 0x05, int64_t(kCreated) + 10 * kYear, nullptr},
        {"key revocation right after the primary key",
         [] {
             return concat({key(), over_key(fields(0x20, kCreated + 10, -1)), uid(),
                            cert(fields(0x13, kCreated))});
         },
         0, 0, -1, -1, "has bean revoked."},
        {"revocation that does not verify is ignored",
         [] {
             SigFields r = fields(0x20, kCreated + 10, -1);
             r.corrupt = true;
             return concat({key(), over_key(r), uid(), cert(fields(0x13, kCreated))});
         },
         0, 1, 0x05, 0, nullptr},
        {"key flags only in a direct-key signature",
         [] {
             return concat({key(), over_key(fields(0x1F, kCreated, 0x02))});
         },
         0, 1, 0x05, 0, "Move next over."},
        {"direct-key signature with a key expiry ahead",
         [] {
             SigFields s = fields(0x1F, kCreated, 0x02);
             s.key_expire = 10 * kYear;
             return concat({key(), over_key(s)});
         },
         0, 1, 0x05, int64_t(kCreated) + 10 * kYear, nullptr},
        {"direct-key signature with a key expiry passed",
         [] {
             SigFields s = fields(0x1F, kCreated, 0x02);
             s.key_expire = kYear;
             return concat({key(), over_key(s)});
         },
         0, 0, -1, -1, "has expired."},
        {"direct-key signature that has itself expired",
         [] {
             SigFields s = fields(0x1F, kCreated, 0x02);
             s.sig_expire = kYear;
             return concat({key(), over_key(s)});
         },
         0, 0, -1, -1, "is not valid."},
        {"direct-key flags win over the user id's",
         [] {
             return concat({key(), over_key(fields(0x1F, kCreated, 0x23)), uid(),
                            cert(fields(0x13, kCreated, 0x01))});
         },
         0, 1, 0x0D, 0, nullptr},
        {"no key flags anywhere: every usage",
         [] {
             return concat({key(), uid(), cert(fields(0x13, kCreated, -1))});
         },
         0, 1, 0x0F, 0, nullptr},
        {"trust packet 3 after a certification that does not verify",
         [] {
             return concat({key(), uid("Crafted <other@notarix.invalid>"),
                            cert(fields(0x13, kCreated)), trust(0x03)});
         },
         0, 1, 0x05, 0, nullptr},
        {"trust packet 1 after a good certification",
         [] {
             return concat({good_key(), trust(0x01)});
         },
         0, 0, -1, -1, "is not valid."},
        {"trust packet with bit 7 set carries no cache",
         [] {
             return concat({key(), uid("Crafted <other@notarix.invalid>"),
                            cert(fields(0x13, kCreated)), trust(0x83)});
         },
         0, 0, -1, -1, "is not valid."},
        // A trust packet's tag is no packet a key file starts with: the data is taken as armor.
        {"trust packet first in the file",
         [] {
             return concat({trust(0x03), good_key()});
         },
         102, 0, -1, -1, "Parse packet error."},
        {"certification one second before the key",
         [] {
             return concat({key(), uid(), cert(fields(0x13, kCreated - 1))});
         },
         120, 0, -1, -1,
         "Public expired date is newer than signature, Public key timestamp: 0x6553f100, "
         "signature timestamp: 0x6553f0ff."},
        {"cached certification older than the key still fails the time check",
         [] {
             return concat({key(), uid(), cert(fields(0x13, kCreated - 1)), trust(0x03)});
         },
         120, 0, -1, -1, "do_check_message error."},
        {"certification at the key's creation time", [] { return good_key(); }, 0, 1, -1, -1,
         nullptr},
        {"key created after now",
         [] {
             const uint32_t later = static_cast<uint32_t>(kFixtureNow + 100);
             return good_key(later);
         },
         120, 0, -1, -1, "Public key was created after now"},
        {"certified user attribute",
         [] {
             const Bytes body = attribute_body();
             const Bytes material = concat(
                 {Signer::key_material(signer().key_body(kCreated)), attribute_material(body)});
             return concat({key(), packet(PKT_ATTRIBUTE, body),
                            signer().sign(material, fields(0x13, kCreated), kCreated)});
         },
         0, 1, 0x05, 0, nullptr},
        {"certification before any user id",
         [] {
             return concat({key(), over_key(fields(0x10, kCreated))});
         },
         102, 0, -1, -1, "Can't find uid node before signature data. Bad public key format."},
        {"valid key, then a revoked one",
         [] {
             const uint32_t second = kCreated + 1000;
             return concat({good_key(), key(second), over_key(fields(0x20, second, -1), second),
                            uid(), cert(fields(0x13, second), second)});
         },
         0, 1, 0x05, 0, "has bean revoked."},
        {"valid key, then a key without signatures",
         [] {
             return concat({good_key(), key(kCreated + 5)});
         },
         0, 1, 0x05, 0, "is not valid."},
        {"a third party's certification does not make a key valid",
         [] {
             SigFields s = fields(0x13, kCreated);
             s.issuer_override = true;
             s.issuer_id[0] = 0x01020304;
             s.issuer_id[1] = 0x05060708;
             return concat({key(), uid(), cert(s)});
         },
         0, 0, -1, -1, "is not valid."},
        {"a signature before the first key stays",
         [] {
             return concat({over_key(fields(0x1F, kCreated)), good_key()});
         },
         0, 1, 0x05, 0, nullptr},
    };
    for (const KeyBlockCase &c : cases) {
        SCOPED_TRACE(c.name);
        Library lib;
        Loaded got = load(lib, c.file());
        EXPECT_EQ(got.code, c.code);
        EXPECT_EQ(got.keys.size(), c.keys_kept);
        if (c.code != 0) {
            EXPECT_TRUE(lib.logged(c.code, "proc_packets error."));
        }
        if (!got.keys.empty()) {
            const PELLAX_PUBLIC_KEY *k = got.keys.front();
            EXPECT_EQ(k->is_valid, 1u);
            EXPECT_EQ(k->is_revoked, 0u);
            EXPECT_EQ(k->has_expired, 0u);
            if (c.usage >= 0) {
                EXPECT_EQ(k->key_usage, c.usage);
            }
            if (c.expire >= 0) {
                EXPECT_EQ(k->expire_time, static_cast<uint32_t>(c.expire));
            }
        }
        if (c.log_part != nullptr) {
            EXPECT_TRUE(log_contains(lib, c.log_part));
        }
        pellax_free_keyring(&lib.funcs.plt, got.ring);
        EXPECT_EQ(lib.host.live_blocks, 0);
    }
}

TEST(KeyRing, KeptKeyBlockHoldsItsPacketsWithTheirState) {
    Library lib;
    const Bytes file = concat({over_key(fields(0x1F, kCreated)), good_key(),
                               signer().key_packet(kCreated + 1, PKT_PUBLIC_SUBKEY)});
    Loaded got = load(lib, file);
    ASSERT_EQ(got.code, 0u);
    ASSERT_EQ(got.packets.size(), 5u);  // loose signature, key, user id, certification, subkey
    const int types[] = {PKT_SIGNATURE, PKT_PUBLIC_KEY, PKT_USER_ID, PKT_SIGNATURE,
                         PKT_PUBLIC_SUBKEY};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(got.packets[i]->pkttype, static_cast<PX_UINT32>(types[i]));
    }
    const auto *k = static_cast<PELLAX_PUBLIC_KEY *>(got.packets[1]->data);
    const Bytes fp = signer().fingerprint(kCreated);
    EXPECT_EQ(Bytes(k->fingerprint, k->fingerprint + 20), fp);
    uint32_t id[2];
    signer().keyid(kCreated, id);
    EXPECT_EQ(k->keyid[0], id[0]);
    EXPECT_EQ(k->keyid[1], id[1]);
    const auto *sig = static_cast<PELLAX_SIGNATURE *>(got.packets[3]->data);
    EXPECT_EQ(sig->verify_done, 1u);
    EXPECT_EQ(sig->verify_ok, 1u);
    const auto *u = static_cast<PELLAX_USER_ID *>(got.packets[2]->data);
    EXPECT_EQ(u->selfsig_time, kCreated);
    EXPECT_EQ(u->key_usage, 0x05u);
    const auto *sub = static_cast<PELLAX_PUBLIC_KEY *>(got.packets[4]->data);
    EXPECT_NE(sub->keyid[0] | sub->keyid[1], 0u);  // subkeys get their ids, never a verdict
    EXPECT_EQ(sub->is_valid, 0u);
    pellax_free_keyring(&lib.funcs.plt, got.ring);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

TEST(KeyRing, TrustPacketWithNothingBeforeItFailsTheRead) {
    Library lib;
    PELLAX_MAINPROC_CTX *ctx = nullptr;
    ASSERT_EQ(mainproc_ctx_create(&lib.funcs.plt, &ctx), 0u);
    {
        ByteStream in(&lib.funcs.plt, concat({trust(0x03), good_key()}));
        EXPECT_EQ(proc_packets(&lib.funcs, ctx, in.stream), 11u);
    }
    EXPECT_TRUE(lib.logged(11, "pellax_list_get_tail error."));
    EXPECT_TRUE(lib.logged(11, "Process packets error."));
    mainproc_ctx_free(&lib.funcs, ctx);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

// The newest certification time is shared by all user ids: a second user id certified earlier
// than the first gets no self-signature of its own.
TEST(KeyRing, UserIdCertifiedEarlierThanThePreviousOneIsLeftOut) {
    Library lib;
    SigFields first = fields(0x13, kCreated + 200, 0x03);
    first.key_expire = 20 * kYear;
    SigFields second = fields(0x13, kCreated + 100, 0x01);
    second.key_expire = kYear;
    const std::string other = "Second <second@notarix.invalid>";
    Loaded got =
        load(lib, concat({key(), uid(), cert(first), uid(other), cert(second, kCreated, other)}));
    ASSERT_EQ(got.code, 0u);
    ASSERT_EQ(got.keys.size(), 1u);
    const auto *a = static_cast<PELLAX_USER_ID *>(got.packets[1]->data);
    const auto *b = static_cast<PELLAX_USER_ID *>(got.packets[3]->data);
    EXPECT_EQ(a->selfsig_time, kCreated + 200);
    EXPECT_EQ(b->selfsig_time, 0u);
    EXPECT_EQ(b->key_usage, 0u);
    EXPECT_EQ(got.keys[0]->key_usage, 0x05);
    EXPECT_EQ(got.keys[0]->expire_time, kCreated + 20 * kYear);
    pellax_free_keyring(&lib.funcs.plt, got.ring);
}

// check_key_signature on hand-made key blocks: the paths that leave no verdict.
TEST(KeySignature, NothingToCheckLeavesNoVerdict) {
    Library lib;
    std::vector<PELLAX_PACKET> envelopes(2);
    {
        ByteStream in(&lib.funcs.plt, concat({key(), over_key(fields(0x18, kCreated, -1))}));
        int end = 0;
        ASSERT_EQ(parse_packet(&lib.funcs.plt, in.stream, &envelopes[0], &end), 0u);
        ASSERT_EQ(parse_packet(&lib.funcs.plt, in.stream, &envelopes[1], &end), 0u);
    }
    PELLAX_LIST *block = nullptr;
    ASSERT_EQ(pellax_list_create(&lib.funcs.plt, nullptr, &block), 0u);
    pellax_list_add(&lib.funcs.plt, block, &envelopes[0]);
    pellax_list_add(&lib.funcs.plt, block, &envelopes[1]);
    PELLAX_LIST_CURSOR *cursor = nullptr;
    ASSERT_EQ(pellax_list_cursor_create(&lib.funcs.plt, block, &cursor), 0u);
    pellax_list_cursor_move_next(&lib.funcs.plt, cursor);
    pellax_list_cursor_move_next(&lib.funcs.plt, cursor);
    auto *sig = static_cast<PELLAX_SIGNATURE *>(envelopes[1].data);

    // A subkey binding without a subkey before it.
    EXPECT_EQ(check_key_signature(&lib.funcs, block, sig, cursor), 0u);
    EXPECT_EQ(sig->verify_done, 0u);
    EXPECT_TRUE(lib.logged("find_prev_packet error,."));
    // A key revocation by another key.
    sig->signature_class = 0x20;
    sig->keyid[1] ^= 1;
    EXPECT_EQ(check_key_signature(&lib.funcs, block, sig, cursor), 0u);
    EXPECT_EQ(sig->verify_done, 0u);
    // A cached bad result is not checked again.
    sig->keyid[1] ^= 1;
    sig->verify_done = 1;
    sig->verify_ok = 0;
    EXPECT_EQ(check_key_signature(&lib.funcs, block, sig, cursor), 0u);
    EXPECT_EQ(sig->verify_ok, 0u);
    // A direct-key signature without a value.
    sig->verify_done = 0;
    sig->signature_class = 0x1F;
    const PX_UINT32 value_length = sig->signature_value[0].len;
    sig->signature_value[0].len = 0;
    EXPECT_EQ(check_key_signature(&lib.funcs, block, sig, cursor), 104u);
    EXPECT_TRUE(lib.logged(104, "Signature information is invalid, Length is 0."));
    sig->signature_value[0].len = value_length;
    // A key block that does not start with a key.
    envelopes[0].pkttype = PKT_USER_ID;
    EXPECT_EQ(check_key_signature(&lib.funcs, block, sig, cursor), 30u);
    EXPECT_TRUE(lib.logged(30, "First packet is not public key."));
    envelopes[0].pkttype = PKT_PUBLIC_KEY;

    pellax_list_cursor_free(&lib.funcs.plt, cursor);
    pellax_list_free(&lib.funcs.plt, block);
    free_packet(&lib.funcs.plt, &envelopes[0]);
    free_packet(&lib.funcs.plt, &envelopes[1]);
    EXPECT_EQ(lib.host.live_blocks, 0);
}

// A verification provider that records what it is fed and answers as told.
struct Recorder {
    static Recorder *current;
    Bytes fed;
    PELLAX_BIGINT e{}, n{};
    int hash = 0;
    int verdict = 1;
    static PELLAX_ERROR_CODE create(void **ctx) {
        *ctx = current;
        return 0;
    }
    static PELLAX_ERROR_CODE init(void *, const PELLAX_BIGINT *e, const PELLAX_BIGINT *n, int h) {
        current->e = *e;
        current->n = *n;
        current->hash = h;
        return 0;
    }
    static PELLAX_ERROR_CODE update(void *, const PX_BYTE *data, PX_UINT32 len) {
        current->fed.insert(current->fed.end(), data, data + len);
        return 0;
    }
    static PELLAX_ERROR_CODE final_(void *, const PX_BYTE *, PX_UINT32, int *verdict) {
        *verdict = current->verdict;
        return 0;
    }
    static void destroy(void *) {}
};
Recorder *Recorder::current = nullptr;

TEST(KeySignature, TrailerOfALongHashedArea) {
    Library lib;
    Recorder rec;
    Recorder::current = &rec;
    lib.funcs.crypto_vrf_update = Recorder::update;
    PELLAX_SUBPKT_AREA *area =
        static_cast<PELLAX_SUBPKT_AREA *>(std::malloc(sizeof(PELLAX_SUBPKT_AREA) + 300));
    area->capacity = area->length = 300;
    for (int i = 0; i < 300; ++i) {
        area->octets[i] = static_cast<PX_BYTE>(i);
    }
    PELLAX_SIGNATURE sig{};
    sig.version = 4;
    sig.signature_class = 0x13;
    sig.key_algorithm = 1;
    sig.hash_algorithm = 8;
    sig.hashed_area = area;
    ASSERT_EQ(update_crypto_by_signature_extra_data(&lib.funcs, &rec, &sig), 0u);
    Bytes want{0x04, 0x13, 0x01, 0x08, 0x01, 0x2C};
    want.insert(want.end(), area->octets, area->octets + 300);
    want.insert(want.end(), {0x04, 0xFF, 0x00, 0x00, 0x01, 0x32});
    EXPECT_EQ(rec.fed, want);
    rec.fed.clear();
    sig.hashed_area = nullptr;
    ASSERT_EQ(update_crypto_by_signature_extra_data(&lib.funcs, &rec, &sig), 0u);
    EXPECT_EQ(rec.fed, (Bytes{0x04, 0x13, 0x01, 0x08, 0x00, 0x00, 0x04, 0xFF, 0, 0, 0, 6}));
    std::free(area);
}

TEST(KeySignature, ShorterSlotIsTheExponent) {
    Library lib;
    Recorder rec;
    Recorder::current = &rec;
    lib.funcs.crypto_vrf_init = Recorder::init;
    PELLAX_PUBLIC_KEY k{};
    const struct {
        PX_UINT32 slot0, slot1;
        int exponent_slot;
    } cases[] = {{256, 3, 1}, {3, 256, 0}, {128, 128, 0}};
    for (const auto &c : cases) {
        k.key_material[0].len = c.slot0;
        k.key_material[0].data[0] = 0xA0;
        k.key_material[1].len = c.slot1;
        k.key_material[1].data[0] = 0xB1;
        ASSERT_EQ(init_verify_ctx_by_pubkey_material(&lib.funcs, &k, &rec, 10), 0u);
        const PELLAX_BIGINT &want_e = k.key_material[c.exponent_slot];
        EXPECT_EQ(rec.e.len, want_e.len);
        EXPECT_EQ(rec.e.data[0], want_e.data[0]);
        EXPECT_EQ(rec.n.len, k.key_material[1 - c.exponent_slot].len);
        EXPECT_EQ(rec.hash, 10);
    }
}

// Only a provider's explicit 1 is a good signature.
TEST(KeySignature, OnlyAnExplicitYesIsGood) {
    Library lib;
    Recorder rec;
    Recorder::current = &rec;
    lib.funcs.crypto_vrf_final = Recorder::final_;
    lib.funcs.crypto_vrf_update = Recorder::update;
    PELLAX_PUBLIC_KEY k{};
    k.timestamp = kCreated;
    PELLAX_SIGNATURE sig{};
    sig.timestamp = kCreated;
    for (int said : {1, 0, 2, -1}) {
        rec.verdict = said;
        int verdict = -5;
        ASSERT_EQ(do_check(&lib.funcs, &k, &sig, &rec, &verdict), 0u);
        EXPECT_EQ(verdict, said == 1 ? 1 : 0) << said;
    }
}

TEST(KeySignature, KeyAgainstSignatureTimes) {
    Library lib;
    PELLAX_PUBLIC_KEY k{};
    PELLAX_SIGNATURE sig{};
    const struct {
        const char *name;
        uint32_t key_time, sig_time, expire_time, has_expired, revoked;
        int64_t clock;
        PELLAX_ERROR_CODE code;
        int expired_out, revoked_out;
    } cases[] = {
        {"fine", 100, 100, 0, 0, 0, kFixtureNow, 0, 0, 0},
        {"signature older than key", 100, 99, 0, 0, 0, kFixtureNow, 120, 0, 0},
        {"key newer than now", 2000000000, 2000000000, 0, 0, 0, kFixtureNow, 120, 0, 0},
        {"no clock", 100, 100, 0, 0, 0, 0, 2, 0, 0},
        {"expiry passed", 100, 100, 200, 0, 0, kFixtureNow, 0, 1, 0},
        {"expiry ahead", 100, 100, 2000000000, 0, 0, kFixtureNow, 0, 0, 0},
        {"marked expired", 100, 100, 0, 150, 0, kFixtureNow, 0, 1, 0},
        {"revoked", 100, 100, 0, 0, 1, kFixtureNow, 0, 0, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        k.timestamp = c.key_time;
        k.expire_time = c.expire_time;
        k.has_expired = c.has_expired;
        k.is_revoked = c.revoked;
        sig.timestamp = c.sig_time;
        lib.host.clock = c.clock;
        int expired = -1;
        int revoked = -1;
        EXPECT_EQ(do_check_message(&lib.funcs.plt, &k, &sig, &expired, &revoked), c.code);
        if (c.code == 0) {
            EXPECT_EQ(expired, c.expired_out);
            EXPECT_EQ(revoked, c.revoked_out);
        }
        EXPECT_EQ(do_check_message(&lib.funcs.plt, &k, &sig, nullptr, nullptr), c.code);
    }
}

// The gpg key files: which primary keys stay, with gpg's fingerprints.
std::multimap<std::string, std::string> gpg_fingerprints() {
    std::multimap<std::string, std::string> out;
    std::ifstream in(fixture_path("fingerprints.txt"));
    std::string file, fpr;
    while (in >> file >> fpr) {
        out.emplace(file, fpr);
    }
    return out;
}

TEST(KeyRing, GpgKeyFiles) {
    const auto fingerprints = gpg_fingerprints();
    const auto fpr = [&](const std::string &file, size_t index) {
        auto range = fingerprints.equal_range(file);
        for (auto it = range.first; it != range.second; ++it, --index) {
            if (index == 0) {
                return it->second;
            }
        }
        return std::string("?");
    };
    const struct {
        const char *file;
        std::vector<std::string> kept;  // fingerprints, in order
        int usage;
    } cases[] = {
        {"rsa2048", {fpr("rsa2048.pgp", 0)}, 0x05},
        {"rsa3072", {fpr("rsa3072.pgp", 0)}, 0x05},
        {"rsa4096", {fpr("rsa4096.pgp", 0)}, 0x05},
        {"rsa3104", {fpr("rsa3104.pgp", 0)}, 0x05},
        {"future", {fpr("future.pgp", 0)}, 0x05},
        {"multi", {fpr("multi.pgp", 0), fpr("multi.pgp", 1), fpr("multi.pgp", 2)}, 0x05},
        {"mixed", {fpr("mixed.pgp", 2)}, 0x05},
        {"expired", {}, -1},
        {"revoked", {}, -1},
        {"subsign", {}, -1},
        {"keyflags-cert", {}, -1},
    };
    for (const auto &c : cases) {
        for (const char *ext : {".pgp", ".asc"}) {
            const std::string name = std::string(c.file) + ext;
            SCOPED_TRACE(name);
            Library lib;
            Loaded got = load(lib, fixture(name));
            ASSERT_EQ(got.code, 0u);
            ASSERT_EQ(got.keys.size(), c.kept.size());
            EXPECT_EQ(got.ring == nullptr, c.kept.empty());
            for (size_t i = 0; i < c.kept.size(); ++i) {
                EXPECT_EQ(to_hex(got.keys[i]->fingerprint, 20), c.kept[i]);
                EXPECT_EQ(got.keys[i]->key_usage, c.usage);
            }
            pellax_free_keyring(&lib.funcs.plt, got.ring);
            EXPECT_EQ(lib.host.live_blocks, 0);
        }
    }
}

TEST(KeyRing, FutureKeyExpiresWhenTheClockPassesIt) {
    Library lib;
    lib.host.clock = 3786955200;  // 2090-01-01 12:00, the key's expiry as gpg wrote it...
    Loaded at = load(lib, fixture("future.pgp"));
    ASSERT_EQ(at.keys.size(), 1u);  // ...is not yet past it
    EXPECT_EQ(at.keys[0]->expire_time, 3786955200u);
    pellax_free_keyring(&lib.funcs.plt, at.ring);
    lib.host.clock += 1;
    Loaded after = load(lib, fixture("future.pgp"));
    EXPECT_EQ(after.ring, nullptr);
    EXPECT_TRUE(log_contains(lib, "has expired."));
}

TEST(KeyRing, MixedAlgorithmsSkipTheirKeyBlocks) {
    Library lib;
    Loaded got = load(lib, fixture("mixed.pgp"));
    ASSERT_EQ(got.keys.size(), 1u);
    EXPECT_TRUE(log_contains(lib, "skip public key."));
    EXPECT_TRUE(log_contains(lib, "Skip packet, skip type: 13"));
    pellax_free_keyring(&lib.funcs.plt, got.ring);
}

}  // namespace
