#!/usr/bin/env bash
# Regenerates the bundled example: a public key and a folder of signed files, made with gpg in a
# throw-away home. Running notarix over it shows a PASS, a FAIL and a WARN line.
set -euo pipefail
cd "$(dirname "$0")"

home=$(mktemp -d)
trap 'gpgconf --homedir "$home" --kill all >/dev/null 2>&1 || true; rm -rf "$home"' EXIT
gpg_() { gpg --homedir "$home" --batch --quiet --pinentry-mode loopback --passphrase '' "$@"; }

gpg_ --quick-gen-key 'Notarix Example <example@notarix.invalid>' rsa2048 sign never
fpr=$(gpg_ --with-colons --list-keys | awk -F: '/^fpr/ {print $10; exit}')

rm -rf keys signed
mkdir -p keys signed/nested/deep
gpg_ --armor --export "$fpr" > keys/example-key.asc

printf 'Hello from Notarix.\n' > signed/hello.txt
gpg_ --local-user "$fpr" --detach-sign -o signed/hello.txt.sig signed/hello.txt

printf '# Release notes\n\nEverything checked.\n' > signed/notes.md
gpg_ --local-user "$fpr" --armor --detach-sign -o signed/notes.md.asc signed/notes.md

head -c 4096 /dev/urandom > signed/nested/deep/data.bin
gpg_ --local-user "$fpr" --digest-algo SHA512 --detach-sign -o signed/nested/deep/data.bin.sig \
    signed/nested/deep/data.bin

printf 'The original text.\n' > signed/tampered.txt
gpg_ --local-user "$fpr" --detach-sign -o signed/tampered.txt.sig signed/tampered.txt
printf 'The altered text.\n' > signed/tampered.txt

printf 'Nobody signed this file.\n' > signed/unsigned.txt

echo "$fpr" > keys/example-key.fingerprint
