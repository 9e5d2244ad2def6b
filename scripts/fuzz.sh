#!/usr/bin/env bash
# Builds the fuzz targets (CMake preset "fuzz": clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from its seed corpus
# in Tests/fuzz/corpus/. New corpus entries go to a scratch folder, never into the tree.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET ...]]     (default 60 s, every target)
#
# Extra libFuzzer options can be given in FUZZ_OPTIONS (for example "-runs=1000000"). A
# finding ends its target's run, is kept under the scratch folder and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" | tail -n 1

known=()
for exe in build/fuzz/bin/fuzz_*; do
    known+=("${exe##*/fuzz_}")
done
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=("${known[@]}")
fi
# A name that is no target is a mistake of the caller, not a finding.
for name in "${targets[@]}"; do
    if [ ! -x "build/fuzz/bin/fuzz_$name" ]; then
        echo "fuzz: there is no target \"$name\"; the targets are: ${known[*]}" >&2
        exit 2
    fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kordela-fuzz.XXXXXX")
status=0
for name in "${targets[@]}"; do
    mkdir -p "$scratch/$name"
    seeds="Tests/fuzz/corpus/$name"
    [ -d "$seeds" ] || seeds=""
    log="$scratch/$name.log"
    # shellcheck disable=SC2086
    if "build/fuzz/bin/fuzz_$name" "$scratch/$name" $seeds -max_total_time="$seconds" -max_len=4096 \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$scratch/$name-" \
        ${FUZZ_OPTIONS:-} >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzz $name: ${runs:-?} runs, no findings"
    else
        echo "fuzz $name: FINDING (log and input under $scratch)"
        grep -E 'ERROR|invariant failed|SUMMARY' "$log" | head -n 5 || true
        status=1
    fi
done
[ $status -ne 0 ] || rm -rf "$scratch"
exit $status
