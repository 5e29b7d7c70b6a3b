#!/usr/bin/env bash
# Makes the committed seed corpora of the fuzz targets from the test fixtures (and, for the
# formatter, from a few hand-made inputs). Run from anywhere; rewrites fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
data=tests/data
out=fuzz/corpus
rm -rf "$out"
mkdir -p "$out"/{armor,parse_packet,digest_file,vsnprintf_s,load_key,verify_detached}

cp "$data"/armor/{pubkey.asc,sig.asc,pubkey.bin,sig.bin} "$out/armor/"
cp "$data"/packets/{rsa2048.pgp,rsa3072.pgp,photo.pgp,dsa.pgp,eddsa.pgp,data.txt.sig} \
    "$out/parse_packet/"
cp "$data"/digest/sums/{md5sum-text,sha1sum-binary,sha224sum-text,sha256sum-text} \
    "$data"/digest/sums/{sha256sum-binary,sha384sum-binary,sha512sum-text} "$out/digest_file/"

# Lines past the 20000-character limit of the line readers, which mutation alone reaches slowly.
{
    printf -- '-----BEGIN PGP SIGNATURE-----\n\n'
    head -c 20010 /dev/zero | tr '\0' 'Q'
    printf '\n=twTO\n-----END PGP SIGNATURE-----\n'
} >"$out/armor/long-body-line.asc"
{
    head -c 20010 /dev/zero | tr '\0' ' '
    printf 'x\n'
    head -1 "$data/digest/sums/sha256sum-text"
} >"$out/digest_file/long-line-first"

k=$data/keyring
cp "$k"/{rsa2048,rsa3072,subsign,revoked,expired,future,keyflags-cert,mixed,multi}.pgp \
    "$k"/{rsa2048,subsign,revoked,multi}.asc "$out/load_key/"
cp "$data"/packets/photo.pgp "$out/load_key/photo.pgp"
cp "$data"/packets/rsa3072.pgp "$out/load_key/rsa3072-encryption-subkey.pgp"
cp "$k"/data.rsa2048-{sha1,sha224,sha256,sha384,sha512}.sig "$k"/data.rsa2048-sha256.asc \
    "$k"/data.{rsa3072,rsa4096,subsign,dsa}-sha256.sig "$k"/data.two.sig \
    "$k"/data.rsa2048-sha256.bad.sig "$out/verify_detached/"

# Key blocks the fixtures lack: a direct-key self-signature (gpg writes one for a designated
# revoker), a subkey binding before the user id, and a trust packet that declares a broken
# self-signature good.
home=$(mktemp -d)
trap 'GNUPGHOME=$home gpgconf --kill all >/dev/null 2>&1 || true; rm -rf "$home"' EXIT
gpg_at() {
    GNUPGHOME=$home gpg --batch --quiet --pinentry-mode loopback --passphrase '' \
        --faked-system-time=1704067200! "$@" 2> >(grep -v 'faked system time' >&2)
}
gpg_at --quick-generate-key 'Notarix direct <direct@notarix.invalid>' rsa2048 sign never
gpg_at --quick-generate-key 'Notarix revoker <revoker@notarix.invalid>' rsa2048 sign never
printf 'addrevoker\nrevoker@notarix.invalid\ny\nsave\n' |
    gpg_at --command-fd 0 --edit-key direct@notarix.invalid >/dev/null 2>&1
GNUPGHOME=$home gpg --batch --quiet --export direct@notarix.invalid >"$out/load_key/direct-key.pgp"
PYTHONPATH=$data python3 - "$k/subsign.pgp" "$k/rsa2048.pgp" "$out/load_key" <<'PY'
import sys
from pgp_packets import split
subsign = split(open(sys.argv[1], "rb").read())
kinds = [k for k, _, _ in subsign]
key, uid, cert = subsign[0][1], subsign[kinds.index(13)][1], subsign[kinds.index(13) + 1][1]
sub, binding = subsign[kinds.index(14)][1], subsign[kinds.index(14) + 1][1]
open(sys.argv[3] + "/subkey-before-uid.pgp", "wb").write(key + sub + binding + uid + cert)
rsa = split(open(sys.argv[2], "rb").read())
broken = bytearray(rsa[2][1])
broken[-1] ^= 1
trust = bytes([0xB0, 0x02, 0x00, 0x03])  # old-format trust packet: cached, good
open(sys.argv[3] + "/trust-cached-good.pgp", "wb").write(rsa[0][1] + rsa[1][1] + broken + trust)
PY

# The primary keys gpg sees in the key seeds: the only keys a fuzzed key file may keep.
for f in "$out"/load_key/*; do
    gpg --batch --with-colons --import-options show-only --import "$f" 2>/dev/null |
        awk -F: '$1 == "pub" { want = 1 } $1 == "fpr" && want { print $10; want = 0 }'
done | sort -u >fuzz/known-keys.txt

# Formatter inputs: size byte, count byte (mode in the low 3 bits), a null-pointer byte, then one
# operation per byte (see fuzz/vsnprintf_s.cpp): 0 %s, 1 %.Ns, 2 null %s, 3 %d, 4 %u, 5 %x,
# 6 %X, 7 %lu, 8 %lx, 9 %lX, 10 %02x, 11 %08x, 12 %%, 13-15 a literal character.
f=$out/vsnprintf_s
printf '\x40\x00\x00\x0dK\x0d=\x00\x05hello\x0b\x12\x34\x56\x78\x09\x00\x00\x00\x00\xde\xad\xbe\xef' >"$f/fits"
printf '\x08\x01\x00\x00\x20abcdefghijklmnopqrstuvwxyz012345\x0c' >"$f/too-long"
printf '\x10\x24\x00\x01\x03\x10abcdefghij\x03\xff\xff\xff\xfe\x02' >"$f/cut-at-count"
printf '\xfd\x03\x00\x0dP\x07\xff\xff\xff\xff\xff\xff\xff\xff\x0a\x00\x00\x00\x07\x06\x00\x00\xab\xcd' >"$f/all-conversions"
