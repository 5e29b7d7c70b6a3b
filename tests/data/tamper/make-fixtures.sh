#!/usr/bin/env bash
# Makes the tamper fixtures with gpg in a throw-away home, at fixed (faked) times:
#   key.pgp          an RSA 2048 signing key made 2024-01-01, binary
#   data.bin         64 bytes
#   data.sig         its binary detached signature, SHA-256, made 2024-06-01
#   fingerprint.txt  the key's fingerprint as gpg prints it
# and checks with gpgv that the signature is good.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)
GNUPGHOME=$(mktemp -d)
export GNUPGHOME
trap 'gpgconf --kill all >/dev/null 2>&1 || true; rm -rf "$GNUPGHOME"' EXIT
gpg_at() {  # gpg at a faked time; its warning about the faked time is dropped
    local t=$1
    shift
    gpg --batch --quiet --pinentry-mode loopback --passphrase '' "--faked-system-time=$t!" "$@" \
        2> >(grep -v 'faked system time' >&2)
}

printf '%s\n' "Key-Type: RSA" "Key-Length: 2048" "Key-Usage: sign,cert" "Expire-Date: 0" \
    "Name-Real: Notarix tamper" "Name-Email: tamper@notarix.invalid" "%no-protection" \
    "%commit" | gpg_at 1704067200 --gen-key
python3 - "$out/data.bin" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(bytes((i * 37 + 11) % 256 for i in range(64)))
PY
gpg_at 1717200000 --yes --local-user tamper@notarix.invalid --digest-algo SHA256 \
    --output "$out/data.sig" --detach-sign "$out/data.bin"
gpg --batch --quiet --export tamper@notarix.invalid >"$out/key.pgp"
gpg --batch --with-colons --fingerprint tamper@notarix.invalid |
    awk -F: '$1 == "fpr" { print $10; exit }' >"$out/fingerprint.txt"
gpgv --keyring "$out/key.pgp" "$out/data.sig" "$out/data.bin" 2>/dev/null
