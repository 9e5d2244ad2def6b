#!/usr/bin/env bash
# Ends every scenario of Samples/scenarios and Tests/scenarios after each of its lines, once
# at the scenario's end and once with "unload" (the add-on unloaded without the quit event),
# and checks that the simulated host always comes down by itself: no signal, no watchdog, no
# sanitizer report. A scenario cut short may fail its checks; it may not crash.
#
#   scripts/scenario-ends.sh [BUILD_TREE]      (default build/host21; needs devhost built there)
#
# The local catalogue service comes from $KORDELA_SERVICE (default: the tree's own, else
# build/host21's). Runs the prefixes in parallel, one per processor.
set -euo pipefail
cd "$(dirname "$0")/.."

tree=${1:-build/host21}
devhost=$tree/bin/devhost
[ -x "$devhost" ] || { echo "no devhost in $tree" >&2; exit 2; }
service=${KORDELA_SERVICE:-$tree/bin/kordela-service}
[ -x "$service" ] || service=build/host21/bin/kordela-service
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kordela-ends.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# One prefix: <scenario> <line count> <ending: end|unload>; prints a line only when the host
# did not come down by itself.
run_prefix() {
    local scenario=$1 lines=$2 ending=$3
    local name
    name=$(basename "$scenario" .scenario)-$lines-$ending
    {
        head -n "$lines" "$scenario"
        [ "$ending" = unload ] && echo unload
    } >"$scratch/$name.scenario"
    local status=0
    timeout 300 "$devhost" --timeout 120 --step-timeout 30 --scenario "$scratch/$name.scenario" \
        >"$scratch/$name.out" 2>&1 || status=$?
    if [ "$status" -ge 124 ] || grep -qE 'Sanitizer|runtime error:' "$scratch/$name.out"; then
        echo "$scenario cut after line $lines ($ending): exit $status"
        grep -E 'ERROR|SUMMARY|runtime error|watchdog' "$scratch/$name.out" | head -n 5
        tail -n 5 "$scratch/$name.out"
    fi
}
export -f run_prefix
export devhost scratch

prefixes() {
    local scenario lines line
    for scenario in Samples/scenarios/*.scenario Tests/scenarios/*.scenario; do
        lines=0
        while IFS= read -r line || [ -n "$line" ]; do
            lines=$((lines + 1))
            # A comment or a blank line changes nothing: the prefix before it covers it.
            [[ -z "${line// /}" || "$line" == \#* ]] && continue
            echo "$scenario $lines end"
            echo "$scenario $lines unload"
        done <"$scenario"
    done
}

count=$(prefixes | wc -l)
report=$scratch/report
coproc SERVICE { exec "$service" --port 0 --catalogue Samples/catalogue.json --log "$scratch/service.log" --stop-on-stdin-eof; }
read -r word origin <&"${SERVICE[0]}" || { echo "kordela-service did not start" >&2; exit 1; }
[ "$word" = origin ] || { echo "kordela-service said: $word $origin" >&2; exit 1; }
export KORDELA_SERVICE_ORIGIN=$origin
prefixes | xargs -P "$(nproc)" -n 3 bash -c 'run_prefix "$@"' _ >"$report"
exec {SERVICE[1]}>&-

if [ -s "$report" ]; then
    cat "$report"
    echo "scenario ends: the simulated host did not come down by itself (above), of $count cut scenarios"
    exit 1
fi
echo "scenario ends: $count cut scenarios, each came down by itself"
