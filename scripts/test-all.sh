#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test three times: a normal build, an
# AddressSanitizer + UndefinedBehaviorSanitizer build, and the Windows cross build under wine;
# between them every fuzz target runs for a short smoke (NOTARIX_FUZZ_SMOKE_SECONDS, default 30).
# Any failure or sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
scripts/check-format.sh

jobs=$(nproc 2>/dev/null || echo 2)
ctest_extra=()
run_suite() {
    local dir=$1
    shift
    echo "== $dir"
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
    (cd "$dir" && ctest --output-on-failure -j"$jobs" "${ctest_extra[@]}")
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DNOTARIX_SANITIZE=ON

# Fuzz smoke: every libFuzzer target for a short run from the committed seeds, two at a time.
echo "== fuzz smoke"
rm -rf build-fuzz/smoke
FUZZ_PARALLEL=2 FUZZ_WORK=build-fuzz/smoke fuzz/run.sh "${NOTARIX_FUZZ_SMOKE_SECONDS:-30}"

# Windows: libcrypto is cross-built once from Debian's openssl sources and cached.
openssl_win=$(scripts/build-win-libcrypto.sh)
export WINEDEBUG=-all
# One wine server that outlives the gaps between tests (it ends 60 s after the last one): a
# test started while a server shuts down can fail before it runs. A test that still dies that
# way gets one more try.
wineserver -p60 </dev/null >/dev/null 2>&1 || true
# Wine's service processes start with the first program and live as long as the server: started
# here they hold no test's output open (ctest would wait for them to end).
timeout 300 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
ctest_extra=(--repeat until-pass:2)
run_suite build-win -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DOPENSSL_ROOT_DIR="$openssl_win"
