#!/usr/bin/env bash
# Makes the Windows program's fixtures from a throw-away key:
#   key.asc                 the public key, armored
#   signed.bin              some data
#   signed.bin.sig / .asc   binary and armored detached signatures of signed.bin
#   signed.bin.pgp          another binary detached signature of signed.bin
#   tampered.bin            signed.bin with one byte changed (its signatures are invalid)
#   fingerprint.txt         the key's fingerprint, 40 upper-case hex digits
set -euo pipefail
cd "$(dirname "$0")"

home=$(mktemp -d)
trap 'gpgconf --homedir "$home" --kill all >/dev/null 2>&1 || true; rm -rf "$home"' EXIT
export GNUPGHOME=$home
chmod 700 "$home"

gpg --batch --quiet --pinentry-mode loopback --passphrase '' \
    --quick-generate-key 'Windows Fixture <windows@notarix.invalid>' rsa2048 sign never

rm -f key.asc signed.bin signed.bin.sig signed.bin.asc signed.bin.pgp tampered.bin fingerprint.txt
printf 'Notarix Windows fixture data.\n' >signed.bin
printf 'Notarix Windows fixture dAta.\n' >tampered.bin
gpg --batch --armor --export windows@notarix.invalid >key.asc
gpg --batch --detach-sign --digest-algo SHA256 --output signed.bin.sig signed.bin
gpg --batch --armor --detach-sign --digest-algo SHA256 --output signed.bin.asc signed.bin
gpg --batch --detach-sign --digest-algo SHA512 --output signed.bin.pgp signed.bin
gpg --batch --with-colons --fingerprint windows@notarix.invalid |
    awk -F: '/^fpr:/ {print $10; exit}' >fingerprint.txt
# gpgv's verdicts: the three signatures are good, over tampered.bin they are not.
gpg --batch --export windows@notarix.invalid >"$home/key.gpg"
for sig in signed.bin.sig signed.bin.asc signed.bin.pgp; do
    gpgv --quiet --keyring "$home/key.gpg" "$sig" signed.bin
    ! gpgv --quiet --keyring "$home/key.gpg" "$sig" tampered.bin 2>/dev/null
done
