#!/usr/bin/env bash
# Installs what is needed, builds the add-on for host 21 and runs the demo scenario in the
# simulated host against the local catalogue service, printing its transcript.
#   scripts/demo.sh [--engine webkit] [devhost options...]
# With --engine webkit the catalogue's real pages run in a browser engine instead of the
# scenario's page lines (on a virtual display of its own when there is no DISPLAY); the
# transcript then says what each page did ("page N says: ...").
set -euo pipefail
cd "$(dirname "$0")/.."

engine=scripted
if [[ "${1:-}" == "--engine" ]]; then
    engine=${2:?"--engine needs scripted or webkit"}
    shift 2
fi

bash scripts/install-deps.sh
cmake --preset host21 >/dev/null
cmake --build --preset host21 -j "$(nproc)" | tail -n 1

display=()
if [[ "$engine" == webkit && -z "${DISPLAY:-}" ]]; then
    display=(xvfb-run -a)
fi
exec "${display[@]}" scripts/with-service.sh build/host21/bin/devhost --engine "$engine" \
    --scenario Samples/scenarios/demo.scenario "$@"
