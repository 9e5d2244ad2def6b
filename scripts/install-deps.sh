#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need.
# Idempotent: packages already present are skipped, so a second run is quick.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libcurl4-openssl-dev      # every transfer
    libirrlicht-dev           # irrXML, the pull parser for the service's answers
    nlohmann-json3-dev        # project files, catalogue data, scenario messages
    libcpp-httplib-dev        # the local catalogue service
    libexpat1-dev             # the local catalogue service reads its XML requests
    libgtest-dev libgmock-dev googletest
    libbenchmark-dev
    libpng-dev                # image files turned into icons
    libzip-dev                # library containers
    uuid-dev                  # answer-file names
    zlib1g-dev
    clang-14 libclang-rt-14-dev  # the fuzz targets (libFuzzer, sanitizers)
    clang-format-14           # the one code layout, checked in CI (scripts/format.sh)
    libwebkit2gtk-4.1-dev xvfb xauth  # devhost's real page engine and a virtual display for it
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq >/dev/null
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
