#!/usr/bin/env bash
# Makes the packet fixtures with gpg in a throw-away home: RSA keys of 2048, 3072 (with an RSA
# subkey) and 4096 bits, an RSA key with a photo id, DSA and EdDSA keys (which the parser skips
# with their key blocks), and a detached signature. expected.txt records what gpg says about
# each key: "<file> <pub|sub> <algo> <bits> <created> <fingerprint>", in export order.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)
GNUPGHOME=$(mktemp -d)
export GNUPGHOME
trap 'gpgconf --kill all >/dev/null 2>&1 || true; rm -rf "$GNUPGHOME"' EXIT
gpg_batch() { gpg --batch --quiet --pinentry-mode loopback --passphrase '' "$@"; }

gen_key() {  # name, then parameter lines
    local name=$1
    shift
    printf '%s\n' "$@" "Name-Real: Notarix $name" "Name-Email: $name@notarix.invalid" \
        "Expire-Date: 0" "%no-protection" "%commit" | gpg_batch --gen-key
}

gen_key rsa2048 "Key-Type: RSA" "Key-Length: 2048" "Key-Usage: sign,cert"
gen_key rsa3072 "Key-Type: RSA" "Key-Length: 3072" "Key-Usage: sign,cert" \
    "Subkey-Type: RSA" "Subkey-Length: 3072" "Subkey-Usage: encrypt"
gen_key rsa4096 "Key-Type: RSA" "Key-Length: 4096" "Key-Usage: sign,cert"
gen_key photo "Key-Type: RSA" "Key-Length: 2048" "Key-Usage: sign,cert"
gen_key dsa "Key-Type: DSA" "Key-Length: 2048" "Key-Usage: sign,cert" \
    "Subkey-Type: ELG-E" "Subkey-Length: 2048" "Subkey-Usage: encrypt"
gen_key eddsa "Key-Type: EDDSA" "Key-Curve: ed25519" "Key-Usage: sign,cert"

# A tiny JPEG-like picture: start-of-image, a JFIF header, a comment, end-of-image.
jpeg="$GNUPGHOME/photo.jpg"
printf '\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00' >"$jpeg"
printf '\xff\xfe\x00\x10notarix photo\x00\xff\xd9' >>"$jpeg"
printf '%s\n' "$jpeg" |
    gpg --batch --quiet --command-fd 0 --edit-key '<photo@notarix.invalid>' addphoto save >/dev/null 2>&1
cp "$jpeg" "$out/photo.jpg"

: >"$out/expected.txt"
for name in rsa2048 rsa3072 rsa4096 photo dsa eddsa; do
    gpg_batch --export "<$name@notarix.invalid>" >"$out/$name.pgp"
    gpg --batch --with-colons --fingerprint --fingerprint "<$name@notarix.invalid>" |
        awk -F: -v f="$name.pgp" '
            $1 == "pub" || $1 == "sub" { kind = $1; algo = $4; bits = $3; created = $6 }
            $1 == "fpr" && kind != "" { print f, kind, algo, bits, created, $10; kind = "" }' \
            >>"$out/expected.txt"
done

printf 'Notarix signed data\n' >"$out/data.txt"
gpg_batch --yes --local-user '<rsa2048@notarix.invalid>' --digest-algo SHA256 \
    --output "$out/data.txt.sig" --detach-sign "$out/data.txt"
