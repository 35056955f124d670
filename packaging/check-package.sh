#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a temporary root and checks it:
# the files it installs, its declared dependencies, its desktop entry, and that the unpacked admin
# tool runs.   bash packaging/check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
work=$(mktemp -d /tmp/velmora-package.XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() { echo "package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/out/velmora_*.deb)
[ -f "${debs[0]}" ] || fail "no velmora_*.deb in $work/out"
deb=${debs[0]}

root="$work/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/Velmora usr/bin/velmora-db usr/bin/velmora-update usr/bin/velmora-bench \
         usr/share/applications/velmora.desktop \
         usr/share/icons/hicolor/scalable/apps/velmora.svg usr/share/icons/hicolor/256x256/apps/velmora.png; do
    [ -e "$root/$f" ] || fail "missing /$f"
done
for f in usr/bin/Velmora usr/bin/velmora-db usr/bin/velmora-update usr/bin/velmora-bench; do
    [ -x "$root/$f" ] || fail "/$f is not executable"
done

depends=$(dpkg-deb -f "$deb" Depends)
# The package names of Depends, without versions and alternatives' bars.
mapfile -t depends_names < <(tr ',|' '\n\n' <<<"$depends" | sed -E 's/\(.*\)//; s/^ +//; s/ +$//' | grep -v '^$')
depends_on() {
    local name
    for name in "${depends_names[@]}"; do [ "$name" = "$1" ] && return 0; done
    return 1
}
for d in libqt6core6 libqt6widgets6 libqt6sql6 libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins libpq5; do
    depends_on "$d" || fail "Depends does not name $d: $depends"
done
[[ "$depends" == *libldap* ]] || fail "Depends does not name libldap: $depends"
# Every library a program links is a dependency: the package that holds it on this system is named.
for f in usr/bin/Velmora usr/bin/velmora-db usr/bin/velmora-update usr/bin/velmora-bench; do
    readelf -d "$root/$f" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]/\1/p'
done | sort -u >"$work/needed"
[ -s "$work/needed" ] || fail "no linked libraries found in the programs"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
while read -r soname; do
    # Most libraries sit in the multiarch folder; a few (libzint) straight in /usr/lib.
    owner=$( (dpkg -S "*/$multiarch/$soname" || dpkg -S "/usr/lib/$soname") 2>/dev/null | grep -v -- '-dev[:,]' |
        head -n 1 | cut -d: -f1 | cut -d, -f1) || true
    [ -n "$owner" ] || fail "no installed package holds $soname"
    depends_on "$owner" || fail "Depends does not name $owner, which holds $soname: $depends"
done <"$work/needed"

control="$work/control"
dpkg-deb -e "$deb" "$control"
[ -x "$control/postinst" ] || fail "no executable postinst"
grep -q 'setcap cap_net_raw+ep "$program"' "$control/postinst" || fail "postinst does not give the ping right"
[[ "$depends" == *libcap2-bin* ]] || fail "Depends does not name libcap2-bin (setcap): $depends"

desktop="$root/usr/share/applications/velmora.desktop"
desktop-file-validate "$desktop" || fail "desktop entry is not valid"
grep -qx 'Exec=Velmora' "$desktop" || fail "desktop entry does not start Velmora"
grep -qx 'Icon=velmora' "$desktop" || fail "desktop entry does not name the icon"
grep -q '^Name\[ru\]=' "$desktop" && grep -q '^Comment\[ru\]=' "$desktop" || fail "no Russian name or comment"

version=$(grep -m1 '^project(' "$(dirname "$0")/../CMakeLists.txt" | sed -E 's/.*VERSION ([0-9.]+).*/\1/')
out=$("$root/usr/bin/velmora-db" --version) || fail "velmora-db --version failed"
[ "$out" = "velmora-db $version" ] || fail "velmora-db --version printed '$out', expected 'velmora-db $version'"
echo "package: $(basename "$deb") is complete"
