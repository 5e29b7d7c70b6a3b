#!/usr/bin/env bash
# Makes the key-ring and detached-signature fixtures with gpg in a throw-away home, at fixed
# (faked) times, and records what gpgv says about every signature.
#
# Keys (all made at 2024-01-01 00:00 UTC unless noted; binary .pgp and armored .asc):
#   rsa2048 rsa3072 rsa4096 rsa3104   signing keys of these sizes
#   multi        rsa2048 + rsa3072 + rsa4096 in one file (rsa3072, the second, signs)
#   expired      RSA 2048 made 2020-01-01, expired 2021-01-01
#   future       RSA 2048 expiring 2090-01-01
#   revoked      RSA 2048, signed with, then revoked
#   subsign      RSA 2048 primary that only certifies, signing RSA subkey
#   mixed        DSA, EdDSA, then RSA 2048 (rsa2048) in one file
#   keyflags-cert  RSA 2048 that may only certify (no signature by it)
# Signatures, made 2024-06-01 (the expired key's 2020-06-01):
#   data.<key>-<hash>.sig|.asc over data.bin (5000 bytes), empty.<key>.sig over empty.bin,
#   data.two.sig holding two signatures, data.rsa2048-sha256.bad.sig with one flipped octet,
#   data-tampered.bin with one flipped octet; text-lf.rsa2048.sig and text-crlf.rsa2048.sig,
#   text-mode signatures over text with LF and CRLF line ends; cert-as-data.sig, rsa2048's user
#   id certification, over cert-as-data.bin, the key and user id it certifies.
# Also a PEM private key (craft-rsa2048.pem, test-only) that test code signs crafted key blocks
# with.
#
# Records:
#   fingerprints.txt  "<key file> <fingerprint>" per primary key, in file order
#   gpgv.txt          "<signature> <data> <keyring> <verdict> <gpgv exit status>", the verdict
#                     from gpgv's status lines: GOOD, GOOD-EXPIRED-KEY, GOOD-REVOKED-KEY, BAD,
#                     NOKEY or ERROR; a signature file with two good signatures reads GOOD
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)
GNUPGHOME=$(mktemp -d)
export GNUPGHOME
trap 'gpgconf --kill all >/dev/null 2>&1 || true; rm -rf "$GNUPGHOME"' EXIT

created=1704067200  # 2024-01-01
signed=1717200000   # 2024-06-01
at() { echo "--faked-system-time=$1!"; }
gpg_at() {  # gpg at a faked time; its warning about the faked time is dropped
    local t=$1
    shift
    gpg --batch --quiet --pinentry-mode loopback --passphrase '' "$(at "$t")" "$@" \
        2> >(grep -v 'faked system time' >&2)
}

gen_key() {  # time, name, then parameter lines
    local t=$1 name=$2
    shift 2
    printf '%s\n' "$@" "Name-Real: Notarix $name" "Name-Email: $name@notarix.invalid" \
        "%no-protection" "%commit" | gpg_at "$t" --gen-key
}
uid() { echo "<$1@notarix.invalid>"; }

rsa_sign_key() {  # name bits [expire]
    gen_key "$created" "$1" "Key-Type: RSA" "Key-Length: $2" "Key-Usage: sign,cert" \
        "Expire-Date: ${3:-0}"
}

# Generation order is export order: in mixed.pgp the RSA key comes after DSA and EdDSA.
gen_key "$created" dsa "Key-Type: DSA" "Key-Length: 2048" "Key-Usage: sign,cert" \
    "Expire-Date: 0"
gen_key "$created" eddsa "Key-Type: EDDSA" "Key-Curve: ed25519" "Key-Usage: sign,cert" \
    "Expire-Date: 0"
rsa_sign_key rsa2048 2048
rsa_sign_key rsa3072 3072
rsa_sign_key rsa4096 4096
rsa_sign_key rsa3104 3104
rsa_sign_key future 2048 2090-01-01
rsa_sign_key revoked 2048
gen_key "$created" keyflags-cert "Key-Type: RSA" "Key-Length: 2048" "Key-Usage: cert" \
    "Expire-Date: 0"
gen_key 1577836800 expired "Key-Type: RSA" "Key-Length: 2048" "Key-Usage: sign,cert" \
    "Expire-Date: 2021-01-01"
gen_key "$created" subsign "Key-Type: RSA" "Key-Length: 2048" "Key-Usage: cert" \
    "Subkey-Type: RSA" "Subkey-Length: 2048" "Subkey-Usage: sign" "Expire-Date: 0"

fpr_of() {
    gpg --batch --with-colons --fingerprint "$(uid "$1")" | awk -F: '$1 == "fpr" { print $10; exit }'
}

# Data.
python3 - "$out/data.bin" <<'EOF'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(bytes((i * 131 + 7) % 251 for i in range(5000)))
EOF
: >"$out/empty.bin"
cp "$out/data.bin" "$out/data-tampered.bin"
printf '\x00' | dd of="$out/data-tampered.bin" bs=1 seek=2500 conv=notrunc status=none

sign() {  # time key hash data output [--armor]
    local t=$1 key=$2 hash=$3 data=$4 output=$5
    shift 5
    gpg_at "$t" --yes --local-user "$(uid "$key")" --digest-algo "$hash" "$@" \
        --output "$output" --detach-sign "$data"
}

for hash in SHA1 SHA224 SHA256 SHA384 SHA512; do
    h=$(echo "$hash" | tr 'A-Z' 'a-z')
    sign "$signed" rsa2048 "$hash" "$out/data.bin" "$out/data.rsa2048-$h.sig"
done
sign "$signed" rsa2048 SHA256 "$out/data.bin" "$out/data.rsa2048-sha256.asc" --armor
for key in rsa3072 rsa4096 rsa3104 future revoked subsign dsa eddsa; do
    sign "$signed" "$key" SHA256 "$out/data.bin" "$out/data.$key-sha256.sig"
done
sign 1590969600 expired SHA256 "$out/data.bin" "$out/data.expired-sha256.sig"
sign "$signed" rsa2048 SHA256 "$out/empty.bin" "$out/empty.rsa2048.sig"
sign "$signed" rsa4096 SHA512 "$out/empty.bin" "$out/empty.rsa4096.asc" --armor
printf 'line one\nline two\n' >"$out/text-lf.txt"
printf 'line one\r\nline two\r\n' >"$out/text-crlf.txt"
for text in text-lf text-crlf; do
    sign "$signed" rsa2048 SHA256 "$out/$text.txt" "$out/$text.rsa2048.sig" --textmode
done
gpg_at "$signed" --yes --local-user "$(uid rsa2048)" --local-user "$(uid rsa3072)" \
    --digest-algo SHA256 --output "$out/data.two.sig" --detach-sign "$out/data.bin"
cp "$out/data.rsa2048-sha256.sig" "$out/data.rsa2048-sha256.bad.sig"
size=$(stat -c %s "$out/data.rsa2048-sha256.bad.sig")
last=$(od -An -tu1 -j $((size - 1)) -N1 "$out/data.rsa2048-sha256.bad.sig" | tr -d ' ')
printf "\\x$(printf %02x $(((last + 1) % 256)))" |
    dd of="$out/data.rsa2048-sha256.bad.sig" bs=1 seek=$((size - 1)) conv=notrunc status=none

# Revoke after signing: the revocation certificate gpg wrote at key creation.
rev="$GNUPGHOME/openpgp-revocs.d/$(fpr_of revoked).rev"
sed 's/^:-----BEGIN/-----BEGIN/' "$rev" | gpg --batch --quiet --import 2>/dev/null

export_key() {  # file, then key names
    local file=$1
    shift
    local ids=()
    for key in "$@"; do ids+=("$(uid "$key")"); done
    gpg --batch --quiet --export "${ids[@]}" >"$out/$file.pgp"
    gpg --batch --quiet --armor --export "${ids[@]}" >"$out/$file.asc"
}
for key in rsa2048 rsa3072 rsa4096 rsa3104 expired future revoked subsign keyflags-cert; do
    export_key "$key" "$key"
done
export_key multi rsa2048 rsa3072 rsa4096
export_key mixed dsa eddsa rsa2048

: >"$out/fingerprints.txt"
for file in rsa2048 rsa3072 rsa4096 rsa3104 expired future revoked subsign keyflags-cert multi mixed; do
    gpg --batch --with-colons --import-options show-only --import "$out/$file.pgp" 2>/dev/null |
        awk -F: -v f="$file.pgp" '$1 == "pub" { want = 1 } $1 == "fpr" && want { print f, $10; want = 0 }' \
            >>"$out/fingerprints.txt"
done

# A key's own user id certification presented as a detached signature over a file that holds
# exactly what the certification hashes: the key and the user id.
PYTHONPATH=$out/.. python3 - "$out/rsa2048.pgp" "$out/cert-as-data.bin" "$out/cert-as-data.sig" <<'PY'
import struct, sys
from pgp_packets import split
packets = split(open(sys.argv[1], "rb").read())
key = next(body for kind, _, body in packets if kind == 6)
uid = next(body for kind, _, body in packets if kind == 13)
cert = next(raw for kind, raw, _ in packets if kind == 2)
with open(sys.argv[2], "wb") as f:
    f.write(b"\x99" + struct.pack(">H", len(key)) + key + b"\xb4" + struct.pack(">I", len(uid)) + uid)
with open(sys.argv[3], "wb") as f:
    f.write(cert)
PY

# A private key for crafted key blocks, made by openssl; it never enters gpg.
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$out/craft-rsa2048.pem" 2>/dev/null

# gpgv's verdicts, with the real clock.
: >"$out/gpgv.txt"
check() {  # signature data keyring
    local status rc=0
    status=$(gpgv --status-fd 1 --keyring "$out/$3" "$out/$1" "$out/$2" 2>/dev/null) || rc=$?
    local verdict=ERROR
    if grep -q '^\[GNUPG:\] GOODSIG' <<<"$status"; then
        verdict=GOOD
    elif grep -q '^\[GNUPG:\] EXPKEYSIG' <<<"$status"; then
        verdict=GOOD-EXPIRED-KEY
    elif grep -q '^\[GNUPG:\] REVKEYSIG' <<<"$status"; then
        verdict=GOOD-REVOKED-KEY
    elif grep -q '^\[GNUPG:\] BADSIG' <<<"$status"; then
        verdict=BAD
    elif grep -q '^\[GNUPG:\] NO_PUBKEY' <<<"$status"; then
        verdict=NOKEY
    fi
    echo "$1 $2 $3 $verdict $rc" >>"$out/gpgv.txt"
}
for hash in sha1 sha224 sha256 sha384 sha512; do
    check "data.rsa2048-$hash.sig" data.bin rsa2048.pgp
done
check data.rsa2048-sha256.asc data.bin rsa2048.pgp
for key in rsa3072 rsa4096 rsa3104 future revoked subsign expired; do
    check "data.$key-sha256.sig" data.bin "$key.pgp"
done
check data.rsa3072-sha256.sig data.bin multi.pgp
check data.rsa2048-sha256.sig data.bin mixed.pgp
check data.dsa-sha256.sig data.bin mixed.pgp
check data.eddsa-sha256.sig data.bin mixed.pgp
check data.rsa2048-sha256.sig data-tampered.bin rsa2048.pgp
check data.rsa2048-sha256.bad.sig data.bin rsa2048.pgp
check data.two.sig data.bin multi.pgp
check empty.rsa2048.sig empty.bin rsa2048.pgp
check empty.rsa4096.asc empty.bin rsa4096.pgp
check data.rsa2048-sha256.sig data.bin rsa3072.pgp
check cert-as-data.sig cert-as-data.bin rsa2048.pgp
check text-lf.rsa2048.sig text-lf.txt rsa2048.pgp
check text-crlf.rsa2048.sig text-crlf.txt rsa2048.pgp
