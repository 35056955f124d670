#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on its embedded database.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -z "${VELMORA_DATABASE:-}" ] && [ -x build/bin/velmora-db ]; then
    data="${XDG_DATA_HOME:-$HOME/.local/share}/Korvant/Velmora"
    if [ ! -s "$data/Velmora.db" ]; then
        mkdir -p "$data"
        build/bin/velmora-db --database "sqlite:$data/Velmora.db" create --demo
    fi
fi
exec build/bin/Velmora
