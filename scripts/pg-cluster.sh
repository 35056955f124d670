#!/usr/bin/env bash
# A throwaway PostgreSQL cluster on 127.0.0.1 for the tests.
#   source scripts/pg-cluster.sh; pg_cluster_start   -> exports VELMORA_TEST_PG
#   pg_cluster_stop                                  -> stops it and removes its folder
PG_BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)

pg_cluster_start() {
    PG_DIR=$(mktemp -d /tmp/velmora-pg.XXXXXX)
    chmod 755 "$PG_DIR"
    install -d -o postgres -g postgres -m 700 "$PG_DIR/data" "$PG_DIR/sock"
    runuser -u postgres -- "$PG_BIN/initdb" -D "$PG_DIR/data" -U postgres -E UTF8 --locale=C.UTF-8 \
        --auth-local=trust --auth-host=trust -N >"$PG_DIR/initdb.log" 2>&1
    local tries=0
    while :; do
        PG_PORT=$(( 20000 + RANDOM % 20000 ))
        if runuser -u postgres -- "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/data/server.log" -w -t 30 \
            -o "-k $PG_DIR/sock -p $PG_PORT -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
            start >/dev/null 2>&1; then
            break
        fi
        tries=$((tries + 1))
        if [ $tries -ge 5 ]; then
            cat "$PG_DIR/data/server.log" >&2
            return 1
        fi
    done
    runuser -u postgres -- "$PG_BIN/psql" -h "$PG_DIR/sock" -p "$PG_PORT" -U postgres -q \
        -c "CREATE DATABASE velmora_test" >/dev/null
    # Created once here, so that tests running side by side never race to create it.
    runuser -u postgres -- "$PG_BIN/psql" -h "$PG_DIR/sock" -p "$PG_PORT" -U postgres -q -d velmora_test \
        -c "CREATE EXTENSION IF NOT EXISTS pg_trgm SCHEMA public" >/dev/null
    export PG_DIR PG_PORT
    export VELMORA_TEST_PG="postgresql://postgres@127.0.0.1:$PG_PORT/velmora_test"
    echo "PostgreSQL test cluster on 127.0.0.1:$PG_PORT"
}

pg_cluster_stop() {
    if [ -n "${PG_DIR:-}" ] && [ -d "$PG_DIR" ]; then
        runuser -u postgres -- "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -m immediate stop >/dev/null 2>&1 || true
        rm -rf "$PG_DIR"
    fi
}
