#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test on SQLite and on a throwaway PostgreSQL.
# Then the core and widget tests run once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/, against the same PostgreSQL cluster and directory;
# any sanitizer report fails them. The folders the run makes (scratch folder, cluster, directory)
# are removed at the end, also when it fails or is interrupted.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/format.sh --check
# Compiler cache, where one is installed: a second run rebuilds only what changed.
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
bash scripts/build.sh -DVELMORA_WERROR=ON "${launcher[@]}"
# -O1 and line tables only: half the compile time of -O2 -g, and the reports still name file and line.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DVELMORA_WERROR=ON -DVELMORA_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build build-asan -j"$(nproc)" --target velmora_core_tests velmora_ui_tests

source scripts/pg-cluster.sh
source scripts/slapd.sh
scratch=
cleanup() {
    pg_cluster_stop
    slapd_stop
    if [ -n "$scratch" ]; then rm -rf "$scratch"; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
scratch=$(mktemp -d /tmp/velmora-test.XXXXXX)
pg_cluster_start
slapd_start 300
export VELMORA_TEST_REQUIRE_PG=1 VELMORA_TEST_REQUIRE_LDAP=1
export QT_QPA_PLATFORM=offscreen

# Each run gets its own home, settings and temporary folders inside the scratch folder.
use_scratch() {
    local dir="$scratch/$1"
    export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" HOME="$dir/home" TMPDIR="$dir/tmp"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$HOME" "$TMPDIR"
}

use_scratch plain
ctest --test-dir build --output-on-failure -j2 --timeout 300

use_scratch sanitized
# Leaks are reported too (LeakSanitizer, when each test program ends); none needs suppressing.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
ctest --test-dir build-asan --output-on-failure -j2 --timeout 600
