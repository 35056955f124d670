#!/usr/bin/env bash
# Installs the Debian packages the project needs that are not there yet (one apt-get update).
set -euo pipefail
packages=(
    cmake g++ make pkg-config clang-format-14 # the one version scripts/format.sh accepts
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libgl-dev libsqlite3-dev libpq-dev
    libgtest-dev
    postgresql postgresql-contrib
    qt6-translations-l10n
    fonts-dejavu-core fonts-dejavu-extra fonts-liberation
    libldap-dev slapd ldap-utils nftables iproute2
    dpkg-dev desktop-file-utils
    poppler-utils qpdf zlib1g-dev
    libzint-dev zbar-tools dmtx-utils # the labels' codes, and reading them back in the tests
    qt6-charts-dev libqt6opengl6-dev # the overview's charts (Qt Charts needs the OpenGL module's files)
    libzip-dev libxlsxwriter-dev # spreadsheet import and export
    sqlite3 # the tests write rows as another client with its references off would
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
