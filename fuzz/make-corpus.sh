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
