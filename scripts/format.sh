#!/usr/bin/env bash
# Formats every C++ source with the committed .clang-format; with --check it only reports the
# files that differ and fails.
#
# Another major version of clang-format lays out the same file differently, so one version is
# used: the one scripts/install-deps.sh installs (clang-format-14, Debian 12's). Any other is
# refused rather than allowed to reformat the tree.
set -euo pipefail
cd "$(dirname "$0")/.."
major=14
tool=clang-format-$major
if ! command -v "$tool" >/dev/null 2>&1; then
    tool=clang-format # a plain clang-format of the same major version will do
fi
if ! command -v "$tool" >/dev/null 2>&1; then
    echo "format: clang-format $major is not installed; bash scripts/install-deps.sh installs it (clang-format-$major)" >&2
    exit 1
fi
found=$("$tool" --version | sed -nE 's/.*clang-format version ([0-9]+)\..*/\1/p')
if [ "$found" != "$major" ]; then
    echo "format: $(command -v "$tool") is clang-format ${found:-of an unknown version}; the sources are laid out" \
        "by clang-format $major, and another major version would change files nobody edited." \
        "Install clang-format-$major (bash scripts/install-deps.sh) and run again." >&2
    exit 1
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
    exec "$tool" --dry-run --Werror "${files[@]}"
fi
exec "$tool" -i "${files[@]}"
