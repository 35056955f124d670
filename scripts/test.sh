#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test on SQLite and on a throwaway PostgreSQL.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/format.sh --check
bash scripts/build.sh -DVELMORA_WERROR=ON
source scripts/pg-cluster.sh
source scripts/slapd.sh
trap 'pg_cluster_stop; slapd_stop' EXIT
pg_cluster_start
slapd_start 300
export VELMORA_TEST_REQUIRE_PG=1 VELMORA_TEST_REQUIRE_LDAP=1
export QT_QPA_PLATFORM=offscreen
scratch=$(mktemp -d /tmp/velmora-test.XXXXXX)
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" HOME="$scratch/home"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$HOME"
ctest --test-dir build --output-on-failure -j2 --timeout 300
