#!/usr/bin/env bash
# Installs what is needed, builds the add-on for host 21 and runs the demo scenario in the
# simulated host against the local catalogue service, printing its transcript.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset host21 >/dev/null
cmake --build --preset host21 -j "$(nproc)" | tail -n 1

exec scripts/with-service.sh build/host21/bin/devhost --scenario Samples/scenarios/demo.scenario "$@"
