// pellax_load_key over a fuzzed key file, binary or armored. Every primary key left in the key
// ring must be fit to verify (valid, unrevoked, unexpired, allowed to sign), and must be one of
// the keys gpg made for the seeds (fuzz/known-keys.txt): a key of any other fingerprint would
// need a self-signature nobody could make, so keeping it means a signature check passed that
// should not have. The one sanctioned way around it, a trust packet that declares a signature
// already verified, switches that check off for the input.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "fuzz_host.h"
#include "pellax_list.h"
#include "pellax_vrf_internal.h"
#include "targets.h"

namespace {

const std::set<std::string> &known_keys() {
    static const std::set<std::string> keys = [] {
        std::set<std::string> read;
        uint8_t *data = nullptr;
        size_t size = 0;
        fuzz::read_file(NOTARIX_FUZZ_DIR "/known-keys.txt", &data, &size);
        std::string line;
        for (size_t i = 0; i <= size; ++i) {
            if (i == size || data[i] == '\n') {
                if (line.size() == 2 * PELLAX_FINGERPRINT_LEN) {
                    read.insert(line);
                }
                line.clear();
            } else {
                line += static_cast<char>(data[i]);
            }
        }
        std::free(data);
        fuzz::check(!read.empty(), "no known keys");
        return read;
    }();
    return keys;
}

std::string hex(const PX_BYTE *bytes, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

// Whether the input holds a trust packet that hands a cached verdict to a signature.
void note_trust(const PELLAX_PACKET &packet, void *user) {
    const PELLAX_TRUST *trust = static_cast<const PELLAX_TRUST *>(packet.data);
    if (packet.pkttype == PKT_RING_TRUST && trust != nullptr && (trust->cache_flags & 1) != 0) {
        *static_cast<bool *>(user) = true;
    }
}

void check_keyring(PELLAX_LIST *ring, bool trust_cached) {
    for (const PELLAX_LIST_NODE *node = ring->head; node != nullptr; node = node->next) {
        const PELLAX_PACKET *packet = static_cast<const PELLAX_PACKET *>(node->data);
        fuzz::check(packet != nullptr && packet->data != nullptr, "empty node in the key ring");
        if (packet->pkttype != PKT_PUBLIC_KEY) {
            continue;
        }
        const PELLAX_PUBLIC_KEY *key = static_cast<const PELLAX_PUBLIC_KEY *>(packet->data);
        fuzz::check(key->is_valid == 1 && key->is_revoked == 0 && key->has_expired == 0 &&
                        (key->key_usage & PX_USAGE_SIGN) != 0,
                    "an unfit key stayed in the key ring");
        if (!trust_cached) {
            const std::string fpr = hex(key->fingerprint, sizeof key->fingerprint);
            if (known_keys().count(fpr) == 0) {
                std::fprintf(stderr, "kept key %s\n", fpr.c_str());
                fuzz::fail("a key no seed holds passed its self-signature check");
            }
        }
    }
}

}  // namespace

int fuzz_load_key(const uint8_t *data, size_t size) {
    (void)known_keys();
    fuzz::begin_input();
    const PELLAX_PLT_FUNCS *plt = fuzz::plt();
    {
        fuzz::MemStream stream(data, size);
        PELLAX_LIST *ring = nullptr;
        const PELLAX_ERROR_CODE rc = pellax_load_key(&fuzz::callbacks(), stream.get(), &ring);
        if (rc == PELLAX_OK && ring != nullptr) {
            bool trust_cached = false;
            fuzz::each_packet(data, size, note_trust, &trust_cached);
            check_keyring(ring, trust_cached);
        }
        fuzz::check(rc == PELLAX_OK || ring == nullptr, "a key ring with a failure code");
        pellax_free_keyring(plt, ring);
    }
    fuzz::end_input();
    return 0;
}
