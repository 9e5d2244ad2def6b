#!/usr/bin/env bash
# Lays out the C++ sources as .clang-format says; with --check, changes nothing and fails on
# any file that differs (CI runs it so).
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.hpp' '*.h')
if [[ "${1:-}" == "--check" ]]; then
    clang-format-14 --dry-run --Werror "${files[@]}"
else
    clang-format-14 -i "${files[@]}"
fi
