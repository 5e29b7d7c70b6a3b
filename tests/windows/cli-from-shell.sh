#!/usr/bin/env bash
# notarix.exe started from a Linux shell through wine: there is no console window of the
# program's own, so it takes the command line, and the shell sees -1 as 255.
# Usage: cli-from-shell.sh WINE NOTARIX_EXE FIXTURE_DIR
set -euo pipefail
wine=$1
exe=$2
data=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$data/key.asc" "$work/key.asc"
cp "$data/signed.bin" "$work/a.bin"
cp "$data/signed.bin.sig" "$work/a.bin.sig"
cd "$work"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

code=0
"$wine" "$exe" >none.out || code=$?
[ "$code" -eq 255 ] || fail "no arguments: exit $code, expected 255"
printf '[ERR]:Please specify public key with -k.\r\n\r\nNotarix version 3.1.0.17\r\n' >expected
cmp -s expected <(head -c "$(stat -c %s expected)" none.out) || fail "no arguments: $(cat -A none.out)"

code=0
"$wine" "$exe" -k key.asc -f a.bin >good.out || code=$?
[ "$code" -eq 0 ] || fail "good pair: exit $code, expected 0"
fpr=$(sed 's/.\{8\}/& /g; s/ $//' "$data/fingerprint.txt")
printf '\r\n[INFO]:Filtering signature files...\r\n[INFO]:Start verify process...\r\n[PASS]:Good Signature. File path: a.bin.sig, public key fingerprint: %s\r\n[INFO]: Verify Complete.\r\n' \
    "$fpr" >expected
cmp -s expected good.out || fail "good pair: $(cat -A good.out)"

code=0
"$wine" "$exe" -k key.asc -f a.bin -h >help.out || code=$?
[ "$code" -eq 255 ] || fail "help: exit $code, expected 255"
echo "notarix.exe from a shell: command-line mode, exit codes 0 and 255"
