#!/usr/bin/env bash
# Detached-signature verification of a 1 GiB file (RSA-4096, SHA-256) against `openssl dgst
# -sha256` on the same file in the same run, peak memory for a 1 GiB and a 1 KiB file, and the
# loading of a key file of 300 RSA-2048 keys (user id and self-signature each).
#   bench/keyring-bench.sh <build dir configured with -DNOTARIX_BUILD_BENCH=ON>
# Keys are made with gpg in a throw-away home; the 1 GiB file lives in /tmp and is deleted.
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
bench="$build/bench/bench_keyring"
[ -x "$bench" ] || { echo "build $bench first (-DNOTARIX_BUILD_BENCH=ON)" >&2; exit 2; }

work=$(mktemp -d /tmp/notarix-keyring-bench.XXXXXX)
export GNUPGHOME="$work/gnupg"
mkdir -m 700 "$GNUPGHOME"
trap 'gpgconf --kill all >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
gpg_q() { gpg --batch --quiet --pinentry-mode loopback --passphrase '' "$@" 2>/dev/null; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
    "$(free -g | awk '/Mem:/ { print $2 }') GiB"
echo "openssl: $(openssl version)"

gpg_q --quick-gen-key 'Bench 4096 <b4096@notarix.invalid>' rsa4096 sign never
gpg_q --export 'b4096@notarix.invalid' >"$work/rsa4096.pgp"
head -c $((1 << 30)) /dev/urandom >"$work/big.bin"
head -c 1024 /dev/urandom >"$work/small.bin"
for f in big small; do
    gpg_q --digest-algo SHA256 --local-user 'b4096@notarix.invalid' \
        --output "$work/$f.sig" --detach-sign "$work/$f.bin"
done

time_of() {  # prints "<wall seconds> <peak KiB>" of a command
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>&1 || {
        cat "$work/out" >&2
        exit 1
    }
    cat "$work/time"
}

echo
echo "1 GiB file, three rounds (wall seconds, peak KiB):"
for round in 1 2 3; do
    dgst=$(time_of openssl dgst -sha256 "$work/big.bin")
    lib=$(time_of "$bench" verify "$work/rsa4096.pgp" "$work/big.bin" "$work/big.sig")
    inner=$(cat "$work/out")
    big=$(time_of "$bench" verify "$work/rsa4096.pgp" "$work/big.bin" "$work/big.sig" 1048576)
    echo "  round $round: openssl dgst $dgst | library $lib ($inner)" \
        "| library, 1 MiB stdio buffer $big"
done
small=$(time_of "$bench" verify "$work/rsa4096.pgp" "$work/small.bin" "$work/small.sig")
echo "1 KiB file: library $small"

echo
echo "300 RSA-2048 keys:"
start=$(date +%s)
for i in $(seq 1 300); do
    gpg_q --quick-gen-key "Key $i <k$i@notarix.invalid>" rsa2048 sign never
done
gpg_q --export $(seq -f 'k%g@notarix.invalid' 1 300) >"$work/keys300.pgp"
echo "  made in $(($(date +%s) - start)) s, $(stat -c %s "$work/keys300.pgp") bytes"
time_of "$bench" load "$work/keys300.pgp" 5 >/dev/null
echo "  $(cat "$work/out")"
