#!/usr/bin/env bash
# Installs what is needed, builds the add-on for every host version and runs the tests:
# the whole suite on hosts 15, 18 and 21, and on the other versions the tests of what
# differs between versions (label "version").
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

all_versions=(15 16 17 18 19 20 21)
full_suite=(15 18 21)
jobs=$(nproc)

for v in "${all_versions[@]}"; do
    echo "== building for host $v"
    cmake --preset "host$v" >/dev/null
    cmake --build --preset "host$v" -j "$jobs" | tail -n 1
done

status=0
for v in "${all_versions[@]}"; do
    if [[ " ${full_suite[*]} " == *" $v "* ]]; then
        echo "== host $v: whole suite"
        ctest --test-dir "build/host$v" -j "$jobs" --output-on-failure --timeout 300 || status=1
    else
        echo "== host $v: what differs between host versions"
        ctest --test-dir "build/host$v" -j "$jobs" -L version --output-on-failure --timeout 300 || status=1
    fi
done

# Each simulated host loads the add-on built for its own version and refuses any other.
echo "== cross-version loading"
for pair in "15 21" "21 15"; do
    read -r host module <<<"$pair"
    if output=$("build/host$host/bin/devhost" --module "build/host$module/bin/Kordela.so" 2>&1); then
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

# Optional: the same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
if [[ "${KORDELA_SANITIZE:-0}" == 1 ]]; then
    echo "== host 21 under AddressSanitizer and UndefinedBehaviorSanitizer"
    cmake --preset host21-sanitize >/dev/null
    cmake --build --preset host21-sanitize -j "$jobs" | tail -n 1
    ctest --test-dir build/host21-sanitize -j "$jobs" --output-on-failure --timeout 600 || status=1
fi

exit $status
