#!/usr/bin/env bash
# Makes the armor fixtures: an armored public key block and an armored detached signature from
# a throw-away key, each with the binary form gpg itself gets by removing the armor.
#   pubkey.asc / pubkey.bin    gpg --armor --export, and its --dearmor
#   sig.asc / sig.bin          gpg --armor --detach-sign of signed.txt, and its --dearmor
set -euo pipefail
cd "$(dirname "$0")"

home=$(mktemp -d)
trap 'gpgconf --homedir "$home" --kill all >/dev/null 2>&1 || true; rm -rf "$home"' EXIT
export GNUPGHOME=$home
chmod 700 "$home"

gpg --batch --quiet --pinentry-mode loopback --passphrase '' \
    --quick-generate-key 'Armor Fixture <armor@notarix.invalid>' rsa2048 sign never
printf 'Armor fixture data.\n' >signed.txt

rm -f pubkey.asc pubkey.bin sig.asc sig.bin
gpg --batch --armor --export armor@notarix.invalid >pubkey.asc
gpg --batch --armor --detach-sign --output sig.asc signed.txt
gpg --batch --dearmor --output pubkey.bin pubkey.asc
gpg --batch --dearmor --output sig.bin sig.asc
