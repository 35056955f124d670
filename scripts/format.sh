#!/usr/bin/env bash
# Formats every C++ source with the committed .clang-format; with --check it only reports the
# files that differ and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
    exec clang-format --dry-run --Werror "${files[@]}"
fi
exec clang-format -i "${files[@]}"
