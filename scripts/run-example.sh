#!/usr/bin/env bash
# Builds notarix and checks the bundled example folder with the bundled key. The example holds
# good, tampered and unsigned files, so the run shows PASS, FAIL and WARN lines and ends with
# status 1 ("some checks failed").
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target notarix
echo "+ notarix -k examples/keys/example-key.asc -d examples/signed"
status=0
build/linux/notarix -k examples/keys/example-key.asc -d examples/signed || status=$?
echo "notarix exited with status $status"
[ "$status" -eq 1 ]
