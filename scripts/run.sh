#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program. On its first start with a new embedded
# database the program itself asks whether to fill it with the demo organisation.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec build/bin/Velmora
