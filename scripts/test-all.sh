#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a normal build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build. Any failure or sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
scripts/check-format.sh

jobs=$(nproc 2>/dev/null || echo 2)
run_suite() {
    local dir=$1
    shift
    echo "== $dir"
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
    (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DNOTARIX_SANITIZE=ON
