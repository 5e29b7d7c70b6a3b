#!/usr/bin/env bash
# Times the notarix program on the two workloads it is built for, in one run beside the tools
# it replaces: a tree of 2,000 small signed files (against one gpgv call per file) and one
# 1 GiB file (against `openssl dgst -sha256` of the same file).
# Usage: bench/linux-bench.sh [path to notarix]   (default: build/linux/notarix)
set -euo pipefail
cd "$(dirname "$0")/.."
notarix=${1:-build/linux/notarix}
files=${NOTARIX_BENCH_FILES:-2000}

work=$(mktemp -d)
home=$work/gnupg
trap 'gpgconf --homedir "$home" --kill all >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
mkdir -m 700 "$home"
gpg_() { gpg --homedir "$home" --batch --quiet --pinentry-mode loopback --passphrase '' "$@"; }
gpg_ --quick-gen-key 'Notarix Bench <bench@notarix.invalid>' rsa2048 sign never
gpg_ --export > "$work/key.gpg"

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc; }

echo "Making $files signed files of 4 KiB..."
mkdir -p "$work/tree"
for i in $(seq 1 "$files"); do
    head -c 4096 /dev/urandom > "$work/tree/f$i.bin"
done
for i in $(seq 1 "$files"); do
    gpg_ --detach-sign "$work/tree/f$i.bin"
done

t0=$(now)
"$notarix" -k "$work/key.gpg" -d "$work/tree" > "$work/notarix.out" || true
t1=$(now)
for i in $(seq 1 "$files"); do
    gpgv --quiet --keyring "$work/key.gpg" "$work/tree/f$i.bin.sig" "$work/tree/f$i.bin" 2>/dev/null
done
t2=$(now)
passed=$(grep -c '^\[PASS\]' "$work/notarix.out" || true)
n=$(elapsed "$t0" "$t1")
g=$(elapsed "$t1" "$t2")
printf 'tree: notarix %.3f s (%d passed, %.0f files/s); gpgv per file %.3f s; %.1fx faster\n' \
    "$n" "$passed" "$(echo "$files / $n" | bc -l)" "$g" "$(echo "$g / $n" | bc -l)"

echo "Making a 1 GiB file..."
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$work/big.bin"
gpg_ --detach-sign --digest-algo SHA256 -o "$work/big.bin.sig" "$work/big.bin"
cat "$work/big.bin" > /dev/null  # warm the page cache for both tools
best() {  # best wall time of three runs of a command
    local b=999999 s e d
    for _ in 1 2 3; do
        s=$(now); "$@" > /dev/null 2>&1 || true; e=$(now)
        d=$(elapsed "$s" "$e"); if (( $(echo "$d < $b" | bc) )); then b=$d; fi
    done
    echo "$b"
}
o=$(best openssl dgst -sha256 "$work/big.bin")
x=$(best "$notarix" -k "$work/key.gpg" -f "$work/big.bin")
printf '1 GiB: openssl dgst -sha256 %.3f s; notarix %.3f s; ratio %.2f\n' "$o" "$x" \
    "$(echo "$x / $o" | bc -l)"
/usr/bin/time -f '1 GiB: notarix peak memory %M KiB' "$notarix" -k "$work/key.gpg" \
    -f "$work/big.bin" > /dev/null
