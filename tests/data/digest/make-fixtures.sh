#!/usr/bin/env bash
# A small tree and the listings the coreutils sum tools write for it, in text mode (two spaces
# before each name) and binary mode (a space and an asterisk). The tests copy the tree, check
# every listing against it, then alter the copy.
set -euo pipefail
cd "$(dirname "$0")"
rm -rf tree sums
mkdir -p tree/sub sums

printf 'plain text\n' > tree/plain.txt
for i in $(seq 1 120); do printf 'row %d\r\n\0\377' "$i"; done > 'tree/with inner spaces.bin'
seq 1 2000 > tree/sub/nested.dat
: > tree/empty

names=(plain.txt 'with inner spaces.bin' sub/nested.dat empty)
for tool in md5sum sha1sum sha224sum sha256sum sha384sum sha512sum; do
    (cd tree && "$tool" --text "${names[@]}") > "sums/$tool-text"
    (cd tree && "$tool" --binary "${names[@]}") > "sums/$tool-binary"
done
