#include "keyring_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "openssl_callback.h"
#include "pellax_crypto.h"

std::string fixture_path(const std::string &name) {
    return std::string(NOTARIX_KEYRING_DATA) + "/" + name;
}

Bytes read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("missing fixture " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes fixture(const std::string &name) {
    return read_file(fixture_path(name));
}

std::string to_hex(const uint8_t *data, size_t len) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < len; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::vector<RawPacket> split_packets(const Bytes &d) {
    std::vector<RawPacket> out;
    size_t i = 0;
    while (i < d.size()) {
        const uint8_t ctb = d.at(i);
        int type = 0;
        size_t header = 0;
        size_t length = 0;
        if ((ctb & 0x40) != 0) {
            type = ctb & 0x3F;
            const uint8_t c = d.at(i + 1);
            if (c < 192) {
                header = 2;
                length = c;
            } else if (c < 224) {
                header = 3;
                length = ((c - 192u) << 8) + d.at(i + 2) + 192u;
            } else {
                header = 6;
                length = (size_t(d.at(i + 2)) << 24) | (size_t(d.at(i + 3)) << 16) |
                         (size_t(d.at(i + 4)) << 8) | d.at(i + 5);
            }
        } else {
            type = (ctb >> 2) & 0x0F;
            const int octets = 1 << (ctb & 3);
            header = 1 + octets;
            for (int k = 0; k < octets; ++k) {
                length = (length << 8) | d.at(i + 1 + k);
            }
        }
        RawPacket p;
        p.type = type;
        p.raw.assign(d.begin() + i, d.begin() + i + header + length);
        p.body.assign(d.begin() + i + header, d.begin() + i + header + length);
        out.push_back(p);
        i += header + length;
    }
    return out;
}

Bytes packet(int type, const Bytes &body) {
    Bytes out{static_cast<uint8_t>(0xC0 | type)};
    const size_t n = body.size();
    if (n < 192) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (n < 8384) {
        out.push_back(static_cast<uint8_t>(((n - 192) >> 8) + 192));
        out.push_back(static_cast<uint8_t>((n - 192) & 0xFF));
    } else {
        out.push_back(255);
        for (int s = 24; s >= 0; s -= 8) {
            out.push_back(static_cast<uint8_t>(n >> s));
        }
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes concat(const std::vector<Bytes> &parts) {
    Bytes out;
    for (const Bytes &p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

namespace {

void put32(Bytes &out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) {
        out.push_back(static_cast<uint8_t>(v >> s));
    }
}

Bytes mpi(const Bytes &magnitude) {
    size_t start = 0;
    while (start < magnitude.size() && magnitude[start] == 0) {
        ++start;
    }
    Bytes out;
    size_t bits = (magnitude.size() - start) * 8;
    if (start < magnitude.size()) {
        for (uint8_t top = magnitude[start]; (top & 0x80) == 0; top <<= 1) {
            --bits;
        }
    }
    out.push_back(static_cast<uint8_t>(bits >> 8));
    out.push_back(static_cast<uint8_t>(bits));
    out.insert(out.end(), magnitude.begin() + start, magnitude.end());
    return out;
}

Bytes bn_bytes(EVP_PKEY *pkey, const char *name) {
    BIGNUM *bn = nullptr;
    if (EVP_PKEY_get_bn_param(pkey, name, &bn) != 1) {
        throw std::runtime_error("RSA parameter");
    }
    Bytes out(BN_num_bytes(bn));
    BN_bn2bin(bn, out.data());
    BN_free(bn);
    return out;
}

const EVP_MD *md_of(uint8_t hash) {
    switch (hash) {
        case 1:
            return EVP_md5();
        case 2:
            return EVP_sha1();
        case 8:
            return EVP_sha256();
        case 9:
            return EVP_sha384();
        case 10:
            return EVP_sha512();
        case 11:
            return EVP_sha224();
        default:
            return nullptr;
    }
}

Bytes digest(const EVP_MD *md, const Bytes &data) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), out.data(), &len, md, nullptr);
    out.resize(len);
    return out;
}

void subpacket(Bytes &area, uint8_t type, const Bytes &data) {
    area.push_back(static_cast<uint8_t>(data.size() + 1));
    area.push_back(type);
    area.insert(area.end(), data.begin(), data.end());
}

Bytes u32_bytes(uint32_t v) {
    Bytes out;
    put32(out, v);
    return out;
}

}  // namespace

Signer::Signer(const std::string &pem_path) : pkey_(nullptr) {
    FILE *f = std::fopen(pem_path.c_str(), "rb");
    if (f == nullptr) {
        throw std::runtime_error("missing " + pem_path);
    }
    EVP_PKEY *pkey = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    if (pkey == nullptr) {
        throw std::runtime_error("bad PEM " + pem_path);
    }
    pkey_ = pkey;
    n_ = bn_bytes(pkey, OSSL_PKEY_PARAM_RSA_N);
    e_ = bn_bytes(pkey, OSSL_PKEY_PARAM_RSA_E);
}

Signer::~Signer() {
    EVP_PKEY_free(static_cast<EVP_PKEY *>(pkey_));
}

Bytes Signer::key_body(uint32_t created) const {
    Bytes body{4};
    put32(body, created);
    body.push_back(1);
    const Bytes n = mpi(n_);
    const Bytes e = mpi(e_);
    body.insert(body.end(), n.begin(), n.end());
    body.insert(body.end(), e.begin(), e.end());
    return body;
}

Bytes Signer::fingerprint(uint32_t created) const {
    return digest(EVP_sha1(), key_material(key_body(created)));
}

void Signer::keyid(uint32_t created, uint32_t id[2]) const {
    const Bytes fp = fingerprint(created);
    id[0] = (uint32_t(fp[12]) << 24) | (uint32_t(fp[13]) << 16) | (uint32_t(fp[14]) << 8) | fp[15];
    id[1] = (uint32_t(fp[16]) << 24) | (uint32_t(fp[17]) << 16) | (uint32_t(fp[18]) << 8) | fp[19];
}

Bytes Signer::key_material(const Bytes &key_body) {
    Bytes out{0x99, static_cast<uint8_t>(key_body.size() >> 8),
              static_cast<uint8_t>(key_body.size())};
    out.insert(out.end(), key_body.begin(), key_body.end());
    return out;
}

Bytes Signer::uid_material(const std::string &uid) {
    Bytes out{0xB4};
    put32(out, static_cast<uint32_t>(uid.size()));
    out.insert(out.end(), uid.begin(), uid.end());
    return out;
}

Bytes Signer::sign(const Bytes &material, const SigFields &fields, uint32_t key_created) const {
    Bytes hashed;
    if (fields.created >= 0) {
        subpacket(hashed, 2, u32_bytes(static_cast<uint32_t>(fields.created)));
    }
    if (fields.sig_expire >= 0) {
        subpacket(hashed, 3, u32_bytes(static_cast<uint32_t>(fields.sig_expire)));
    }
    if (fields.key_expire >= 0) {
        subpacket(hashed, 9, u32_bytes(static_cast<uint32_t>(fields.key_expire)));
    }
    if (fields.key_flags >= 0) {
        subpacket(hashed, 27, Bytes{static_cast<uint8_t>(fields.key_flags)});
    }
    Bytes unhashed;
    if (fields.issuer) {
        uint32_t id[2] = {fields.issuer_id[0], fields.issuer_id[1]};
        if (!fields.issuer_override) {
            keyid(key_created, id);
        }
        Bytes data = u32_bytes(id[0]);
        const Bytes low = u32_bytes(id[1]);
        data.insert(data.end(), low.begin(), low.end());
        subpacket(unhashed, 16, data);
    }
    Bytes head{4,
               fields.sig_class,
               fields.key_algorithm,
               fields.hash,
               static_cast<uint8_t>(hashed.size() >> 8),
               static_cast<uint8_t>(hashed.size())};
    head.insert(head.end(), hashed.begin(), hashed.end());
    Bytes trailer = head;
    trailer.push_back(4);
    trailer.push_back(0xFF);
    put32(trailer, static_cast<uint32_t>(head.size()));

    const EVP_MD *md = md_of(fields.hash);
    const Bytes hash = digest(md, concat({material, trailer}));
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(static_cast<EVP_PKEY *>(pkey_), nullptr);
    size_t sig_len = 0;
    if (EVP_PKEY_sign_init(ctx) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(ctx, md) != 1 ||
        EVP_PKEY_sign(ctx, nullptr, &sig_len, hash.data(), hash.size()) != 1) {
        EVP_PKEY_CTX_free(ctx);
        throw std::runtime_error("sign");
    }
    Bytes value(sig_len);
    EVP_PKEY_sign(ctx, value.data(), &sig_len, hash.data(), hash.size());
    EVP_PKEY_CTX_free(ctx);
    value.resize(sig_len);
    if (fields.corrupt) {
        value.back() ^= 0x01;
    }
    Bytes body = head;
    body.push_back(static_cast<uint8_t>(unhashed.size() >> 8));
    body.push_back(static_cast<uint8_t>(unhashed.size()));
    body.insert(body.end(), unhashed.begin(), unhashed.end());
    body.push_back(hash[0]);
    body.push_back(hash[1]);
    const Bytes m = mpi(value);
    body.insert(body.end(), m.begin(), m.end());
    return packet(PKT_SIGNATURE, body);
}

ByteStream::ByteStream(const PELLAX_PLT_FUNCS *p, const Bytes &bytes, bool must_open)
    : plt(p), src(std::string(bytes.begin(), bytes.end())) {
    const PELLAX_ERROR_CODE rc =
        fips_pellax_iobuf_create_and_init(plt, &MemSource::filter, &src, &stream);
    if (must_open) {
        EXPECT_EQ(rc, 0u);
    }
}

ByteStream::~ByteStream() {
    fips_pellax_iobuf_free(plt, stream);
}

Library::Library() {
    host.clock = kFixtureNow;
    EXPECT_EQ(host.install(), 0u);
    pellax_set_log_callback(&TestHost::record_log);
    EXPECT_EQ(pellax_set_md_callback(openssl_md_ctx_create, openssl_md_init, openssl_md_update,
                                     openssl_md_final, openssl_md_ctx_destory),
              0u);
    EXPECT_EQ(pellax_set_vrf_callback(openssl_vrf_ctx_create, openssl_vrf_init, openssl_vrf_update,
                                      openssl_vrf_final, openssl_vrf_ctx_destory),
              0u);
    funcs = s_kitCallbackFuncs;
}

std::vector<PELLAX_PACKET *> Library::packets(PELLAX_LIST *list) {
    std::vector<PELLAX_PACKET *> out;
    for (PELLAX_LIST_NODE *node = list != nullptr ? list->head : nullptr; node != nullptr;
         node = node->next) {
        out.push_back(static_cast<PELLAX_PACKET *>(node->data));
    }
    return out;
}

bool Library::logged(const std::string &message) const {
    for (const LogLine &l : host.logs) {
        if (l.message == message) {
            return true;
        }
    }
    return false;
}
