#!/usr/bin/env bash
# Runs a command with the local catalogue service up: starts kordela-service on a port the
# system picks, points the add-on at it through KORDELA_SERVICE_ORIGIN, runs the command and
# stops the service again. The service's request log goes to $KORDELA_SERVICE_LOG (default:
# build/service.log).
#   scripts/with-service.sh build/host21/bin/devhost --scenario Samples/scenarios/demo.scenario
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KORDELA_BUILD:-build/host21}
log=${KORDELA_SERVICE_LOG:-build/service.log}
mkdir -p "$(dirname "$log")"

# The service stops by itself when its standard input closes, so it never outlives us.
coproc SERVICE { exec "$build/bin/kordela-service" --port 0 --catalogue Samples/catalogue.json --log "$log" --stop-on-stdin-eof; }
trap 'exec {SERVICE[1]}>&-; wait "$SERVICE_PID" 2>/dev/null || true' EXIT

read -r word origin <&"${SERVICE[0]}" || { echo "kordela-service did not start" >&2; exit 1; }
if [[ "$word" != origin ]]; then
    echo "kordela-service said: $word $origin" >&2
    exit 1
fi
export KORDELA_SERVICE_ORIGIN="$origin"
echo "local catalogue service at $origin (request log: $log)"
"$@"
