#!/usr/bin/env bash
# Installs what is needed, builds the add-on for every host version and runs the tests:
# the whole suite on hosts 15, 18 and 21, on the other versions the tests of what differs
# between versions (label "version"), and the host 21 suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, with every scenario cut after each line (scripts/scenario-ends.sh)
# in that tree too. Trees go to build/ci/, apart from the developer's build/hostNN;
# JUnit results to build/ci/junit/.
#
# The local service and the tests that do not depend on the host version are built once, in
# the host 21 tree; the other trees use that tree's service. CI builds carry no debug
# information (it costs about a quarter of the compile time and no one debugs there).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
ci=$PWD/build/ci
service=$ci/host21/bin/kordela-service
no_debug_info=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG")
mkdir -p "$ci/junit"

# build <tree> <preset> [cmake options...]
build() {
    local tree=$1 preset=$2
    shift 2
    echo "== building $tree"
    cmake --preset "$preset" -B "$ci/$tree" "$@" >/dev/null
    if ! cmake --build "$ci/$tree" -j "$jobs" >"$ci/$tree.build.log" 2>&1; then
        grep -A 25 '^FAILED:' "$ci/$tree.build.log" | head -n 80
        echo "building $tree failed (log: $ci/$tree.build.log)"
        return 1
    fi
    tail -n 1 "$ci/$tree.build.log"
}

# run_tests <tree> [ctest options...]
run_tests() {
    local tree=$1
    shift
    ctest --test-dir "$ci/$tree" -j "$jobs" --output-on-failure --output-junit "$ci/junit/$tree.xml" "$@"
}

build host21 host21 "${no_debug_info[@]}"
for v in 15 18; do
    build "host$v" "host$v" "${no_debug_info[@]}" -DKORDELA_SERVICE_EXECUTABLE="$service"
done
for v in 16 17 19 20; do
    build "host$v" "host$v" "${no_debug_info[@]}" -DKORDELA_SERVICE_EXECUTABLE="$service" \
        -DKORDELA_VERSION_TESTS_ONLY=ON
done

status=0
echo "== code layout (scripts/format.sh lays it out)"
bash scripts/format.sh --check || status=1

for v in 21 15 18; do
    echo "== host $v: whole suite"
    run_tests "host$v" --timeout 300 -LE webkit || status=1
done
# The catalogue's real pages in the real page engine (label "webkit", built on hosts 21 and 18
# where WebKitGTK is installed): each test runs devhost under xvfb-run -a, one virtual X
# server per test process.
for v in 21 18; do
    echo "== host $v: the real pages in the real page engine"
    ctest --test-dir "$ci/host$v" -j "$jobs" --output-on-failure --output-junit "$ci/junit/host$v-webkit.xml" \
        -L webkit --timeout 300 --no-tests=ignore || status=1
done
for v in 16 17 19 20; do
    echo "== host $v: what differs between host versions"
    run_tests "host$v" -L version --timeout 300 || status=1
done

# Each simulated host loads the add-on built for its own version and refuses any other.
echo "== cross-version loading"
for pair in "15 21" "21 15"; do
    read -r host module <<<"$pair"
    if output=$("$ci/host$host/bin/devhost" --module "$ci/host$module/bin/Kordela.so" 2>&1); then
        echo "host $host accepted the host $module module"; status=1
    elif ! grep -q "refused: .* is built for host $module, this is host $host" <<<"$output"; then
        echo "host $host did not refuse the host $module module with a reason: $output"; status=1
    else
        echo "$output"
    fi
done

# Every fuzz target for a few seconds from its seed corpus (scripts/fuzz.sh runs them longer).
echo "== fuzz targets, briefly"
bash scripts/fuzz.sh 3 || status=1

echo "== host 21 under AddressSanitizer and UndefinedBehaviorSanitizer"
build host21-sanitize host21-sanitize
run_tests host21-sanitize --timeout 600 -LE webkit || status=1

# Every scenario cut after each of its lines: the simulated host comes down by itself.
echo "== scenarios ended after every line, under the sanitizers"
KORDELA_SERVICE=$service bash scripts/scenario-ends.sh "$ci/host21-sanitize" || status=1

exit $status
