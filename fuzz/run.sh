#!/usr/bin/env bash
# Builds the libFuzzer targets (clang++, ASan + UBSan) and runs each for a given time.
# Usage: fuzz/run.sh SECONDS [TARGET...]      (default: every target)
# Environment:
#   FUZZ_PARALLEL  targets run at the same time (default 1; each takes one core)
#   FUZZ_BUILD     build folder (default build-fuzz)
#   FUZZ_WORK      where grown corpora, logs and findings go (default $FUZZ_BUILD/work)
# The committed seeds (fuzz/corpus/<target>) and regression inputs (fuzz/regressions/<target>)
# are read, never written: new inputs land in $FUZZ_WORK/corpus/<target>. A finding is left in
# $FUZZ_WORK/findings/<target>/ and makes the script fail. The last lines print, per target,
# executions, coverage (cov) and features (ft) from libFuzzer's final statistics.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
build=${FUZZ_BUILD:-build-fuzz}
work=${FUZZ_WORK:-$build/work}
parallel=${FUZZ_PARALLEL:-1}

# Longest input per target: the armor and digest readers reach their 20000-character line limit.
max_len() {
    case $1 in
        armor | digest_file) echo 24576 ;;
        vsnprintf_s) echo 1024 ;;
        *) echo 8192 ;;
    esac
}

mkdir -p "$build"
if ! { CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S . -B "$build" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNOTARIX_FUZZ=ON -DNOTARIX_BUILD_TESTS=OFF &&
    cmake --build "$build" -j2; } >"$build/build.log" 2>&1; then
    cat "$build/build.log"
    exit 1
fi

if [ $# -eq 0 ]; then
    mapfile -t targets < <(cd "$build/fuzz" && ls fuzz_* | sed 's/^fuzz_//' | sort)
else
    targets=("$@")
fi

run_one() {
    local t=$1
    local corpus=$work/corpus/$t findings=$work/findings/$t log=$work/logs/$t.log
    mkdir -p "$corpus" "$findings" "$work/logs"
    local seeds=()
    for d in fuzz/corpus/$t fuzz/regressions/$t; do
        [ -d "$d" ] && seeds+=("$d")
    done
    local rc=0
    "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$corpus" "${seeds[@]}" >"$log" 2>&1 || rc=$?
    local execs cov ft
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2 || true)
    ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -1 | cut -d' ' -f2 || true)
    if [ $rc -ne 0 ]; then
        echo "FAIL $t (exit $rc), log: $log, findings: $findings"
        grep -E 'ERROR|fuzz check failed|SUMMARY|runtime error' "$log" | head -5 || true
        return 1
    fi
    echo "ok   $t  execs ${execs:-?}  cov ${cov:-?}  ft ${ft:-?}  ${seconds}s"
}

failed=0
running=0
for t in "${targets[@]}"; do
    [ -x "$build/fuzz/fuzz_$t" ] || { echo "no target $t"; failed=1; continue; }
    run_one "$t" &
    running=$((running + 1))
    if [ $running -ge "$parallel" ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
done
while [ $running -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done
exit $failed
