#!/usr/bin/env bash
# Makes fixtures.txt: RSA public keys of several sizes and PKCS#1 v1.5 signatures made with the
# openssl command line. Private keys live only in a temporary directory.
#
# Lines of fixtures.txt (hex is big-endian, upper or lower case):
#   key <name> <bits> <exponent hex> <modulus hex>
#   sig <key name> <OpenPGP hash number> <message hex> <signature hex> <note>
# A signature is written as the integer OpenPGP carries: leading zero bytes are stripped.
set -euo pipefail
cd "$(dirname "$0")"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

declare -A hash_number=([md5]=1 [sha1]=2 [sha256]=8 [sha384]=9 [sha512]=10 [sha224]=11)

hex() { od -An -v -tx1 | tr -d ' \n'; }
strip_zeros() { sed -E 's/^(00)+//'; }

# name bits exponent hashes...
keys=(
    "rsa1024 1024 65537 md5 sha1 sha256"
    "rsa2048 2048 65537 md5 sha1 sha224 sha256 sha384 sha512"
    "rsa2056 2056 17 sha1 sha256 sha512"
    "rsa3072 3072 65537 sha224 sha384"
    "rsa3104 3104 3 sha256 sha512"
    "rsa4096 4096 65537 sha1 sha512"
)
message="Notarix signs this fixed message.
"

out=fixtures.txt.new
: >"$out"
printf '%s' "$message" >"$tmp/msg"
msg_hex=$(hex <"$tmp/msg")

for entry in "${keys[@]}"; do
    read -r name bits exponent hashes <<<"$entry"
    openssl genpkey -algorithm RSA -pkeyopt "rsa_keygen_bits:$bits" \
        -pkeyopt "rsa_keygen_pubexp:$exponent" -out "$tmp/$name.pem" 2>/dev/null
    modulus=$(openssl rsa -in "$tmp/$name.pem" -noout -modulus | sed 's/^Modulus=//')
    e_hex=$(printf '%x' "$exponent")
    [ $(( ${#e_hex} % 2 )) -eq 1 ] && e_hex="0$e_hex"
    echo "key $name $bits $e_hex $modulus" >>"$out"
    for h in $hashes; do
        openssl dgst "-$h" -sign "$tmp/$name.pem" -out "$tmp/sig" "$tmp/msg"
        echo "sig $name ${hash_number[$h]} $msg_hex $(hex <"$tmp/sig" | strip_zeros) plain" >>"$out"
    done
done

# A 2048-bit signature whose first byte is zero: OpenPGP carries it as 255 bytes.
for i in $(seq 1 20000); do
    printf 'Notarix message %d\n' "$i" >"$tmp/msg"
    openssl dgst -sha256 -sign "$tmp/rsa2048.pem" -out "$tmp/sig" "$tmp/msg"
    if [ "$(head -c1 "$tmp/sig" | hex)" = 00 ]; then
        echo "sig rsa2048 8 $(hex <"$tmp/msg") $(hex <"$tmp/sig" | strip_zeros) leading-zero" >>"$out"
        break
    fi
done
grep -q leading-zero "$out" || { echo "no signature with a leading zero byte found" >&2; exit 1; }

mv "$out" fixtures.txt
