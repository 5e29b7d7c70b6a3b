#!/usr/bin/env bash
# Installs, with apt-get, whatever this machine lacks to build and test Notarix (Debian 12).
# Usage: scripts/install-deps.sh [build|test]   (default: test: build, tests, the Windows
# cross build run under wine, and clang with its libFuzzer runtime for the fuzz smoke)
set -euo pipefail

build_pkgs=(cmake make g++ libssl-dev)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev gnupg gpgv clang-format openssl
           g++-mingw-w64-x86-64-posix mingw-w64 wine wine64 xvfb xdotool imagemagick perl
           ca-certificates clang libclang-rt-14-dev)

want=("${build_pkgs[@]}")
if [ "${1:-test}" = test ]; then
    want+=("${test_pkgs[@]}")
fi

missing=()
for p in "${want[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
