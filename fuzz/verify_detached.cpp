// Detached verification of a fuzzed signature file over a fixed signed file (5000 bytes) against
// a fixed key ring of three RSA keys (tests/data/keyring: data.bin, multi.pgp), loaded once.
// A good verdict must come with code 0 and the fingerprint of a key in that ring, and the
// signature must be one gpg made: its hashed part (class, algorithms, hashed subpackets) and
// its value must equal those of a seed signature over the same file. Anything else would be a
// signature nobody could make, verified good.
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "pellax_list.h"
#include "pellax_vrf_internal.h"
#include "targets.h"

namespace {

using Signed = std::vector<uint8_t>;

struct Fixture {
    uint8_t *data = nullptr;
    size_t size = 0;
    PELLAX_LIST *ring = nullptr;
    std::set<Signed> made;  // what gpg signed: hashed part and value of every seed signature
};

// The octets a verdict depends on: class, algorithms, hashed area, and the signature integer
// without leading zero octets.
Signed signed_part(const PELLAX_SIGNATURE &sig) {
    Signed s = {sig.version, sig.signature_class, sig.key_algorithm, sig.hash_algorithm};
    if (sig.hashed_area != nullptr) {
        const size_t n = sig.hashed_area->length;
        s.push_back(static_cast<uint8_t>(n >> 8));
        s.push_back(static_cast<uint8_t>(n));
        s.insert(s.end(), sig.hashed_area->octets, sig.hashed_area->octets + n);
    }
    const PELLAX_BIGINT &v = sig.signature_value[0];
    size_t skip = 0;
    while (skip < v.len && v.data[skip] == 0) {
        ++skip;
    }
    s.insert(s.end(), v.data + skip, v.data + v.len);
    return s;
}

void collect(const PELLAX_PACKET &packet, void *user) {
    if (packet.pkttype == PKT_SIGNATURE && packet.data != nullptr) {
        static_cast<std::set<Signed> *>(user)->insert(
            signed_part(*static_cast<const PELLAX_SIGNATURE *>(packet.data)));
    }
}

// The first signature packet of a signature file, as the verifier reads it.
void first_signature(const PELLAX_PACKET &packet, void *user) {
    Signed *out = static_cast<Signed *>(user);
    if (out->empty() && packet.pkttype == PKT_SIGNATURE && packet.data != nullptr) {
        *out = signed_part(*static_cast<const PELLAX_SIGNATURE *>(packet.data));
    }
}

const Fixture &fixture() {
    static const Fixture fx = [] {
        Fixture f;
        fuzz::read_file(NOTARIX_FUZZ_DATA "/keyring/data.bin", &f.data, &f.size);
        uint8_t *keys = nullptr;
        size_t keys_size = 0;
        fuzz::read_file(NOTARIX_FUZZ_DATA "/keyring/multi.pgp", &keys, &keys_size);
        fuzz::MemStream stream(keys, keys_size);
        fuzz::check(pellax_load_key(&fuzz::callbacks(), stream.get(), &f.ring) == PELLAX_OK &&
                        f.ring != nullptr,
                    "fixed key ring did not load");
        std::free(keys);
        static const char *const seeds[] = {
            "data.rsa2048-sha1.sig",   "data.rsa2048-sha224.sig", "data.rsa2048-sha256.sig",
            "data.rsa2048-sha384.sig", "data.rsa2048-sha512.sig", "data.rsa2048-sha256.asc",
            "data.rsa3072-sha256.sig", "data.rsa4096-sha256.sig", "data.two.sig"};
        for (const char *name : seeds) {
            const std::string path = std::string(NOTARIX_FUZZ_DATA "/keyring/") + name;
            uint8_t *sig = nullptr;
            size_t sig_size = 0;
            fuzz::read_file(path.c_str(), &sig, &sig_size);
            fuzz::each_packet(sig, sig_size, collect, &f.made);
            std::free(sig);
        }
        fuzz::check(!f.made.empty(), "seed signatures not read");
        return f;
    }();
    return fx;
}

bool in_ring(const PELLAX_LIST *ring, const PX_BYTE *fingerprint) {
    for (const PELLAX_LIST_NODE *node = ring->head; node != nullptr; node = node->next) {
        const PELLAX_PACKET *packet = static_cast<const PELLAX_PACKET *>(node->data);
        if (packet->pkttype == PKT_PUBLIC_KEY &&
            static_cast<const PELLAX_PUBLIC_KEY *>(packet->data)->fingerprint == fingerprint) {
            return true;
        }
    }
    return false;
}

}  // namespace

int fuzz_verify_detached(const uint8_t *data, size_t size) {
    const Fixture &fx = fixture();
    fuzz::begin_input();
    {
        fuzz::MemStream source(fx.data, fx.size);
        fuzz::MemStream signature(data, size);
        const PX_BYTE *fingerprint = nullptr;
        PX_UINT32 verdict = 7;
        const PELLAX_ERROR_CODE rc = pellax_vrf_verify_detach_signature_internal(
            &fuzz::callbacks(), source.get(), signature.get(), fx.ring, &fingerprint, &verdict);
        fuzz::check(verdict == 0 || verdict == 1, "verdict out of range");
        if (verdict == 1) {
            fuzz::check(rc == PELLAX_OK, "a good verdict with a failure code");
            fuzz::check(fingerprint != nullptr && in_ring(fx.ring, fingerprint),
                        "a good verdict without the signer's fingerprint");
            Signed sig;
            fuzz::each_packet(data, size, first_signature, &sig);
            fuzz::check(fx.made.count(sig) == 1, "a signature gpg never made verified good");
        } else {
            fuzz::check(fingerprint == nullptr, "a fingerprint without a good verdict");
        }
    }
    fuzz::end_input();
    return 0;
}
