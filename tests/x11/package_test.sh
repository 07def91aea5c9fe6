#!/bin/bash
# Builds the hack's Debian package into a scratch folder and checks it from outside: file name,
# control fields, the files it holds, an install with dpkg into a throw-away root (as root;
# otherwise an extraction), lintian and hardening-check, the installed program, and
# cmake --install of the same component.
# Usage: package_test.sh CPACK CPACK_CONFIG BUILD_DIR BUILT_HACK SOURCE_XML VERSION RESOURCES_RC
set -euo pipefail

cpack=$1 config=$2 build=$3 hack=$4 xml=$5 version=$6 rc=$7
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
source "$(dirname "$0")/../package/deb-checks.sh"

if ! "$cpack" --config "$config" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    echo "FAILED: cpack" >&2
    exit 1
fi
deb=$scratch/out/voidrunner3d-xscreensaver_${version}_amd64.deb
check "the package is named voidrunner3d-xscreensaver_${version}_amd64.deb" test -f "$deb"
[[ -f $deb ]] || exit 1

field() { dpkg-deb -f "$deb" "$1"; }
check "Package" test "$(field Package)" = voidrunner3d-xscreensaver
check "Version" test "$(field Version)" = "$version"
check "Architecture" test "$(field Architecture)" = amd64
check "Recommends xscreensaver" test "$(field Recommends)" = xscreensaver
depends=", $(field Depends),"
for library in libc6 libstdc++6 libx11-6 libxext6; do
    check "Depends on $library" grep -Eq ", ${library//+/\\+}( \([^)]*\))?," <<<"$depends"
done

listing=$(dpkg-deb -c "$deb" | awk '{print $1, $NF}')
expected="drwxr-xr-x ./usr/
drwxr-xr-x ./usr/libexec/
drwxr-xr-x ./usr/libexec/xscreensaver/
-rwxr-xr-x ./usr/libexec/xscreensaver/voidrunner3d
drwxr-xr-x ./usr/share/
drwxr-xr-x ./usr/share/doc/
drwxr-xr-x ./usr/share/doc/voidrunner3d-xscreensaver/
-rw-r--r-- ./usr/share/doc/voidrunner3d-xscreensaver/changelog.gz
-rw-r--r-- ./usr/share/doc/voidrunner3d-xscreensaver/copyright
drwxr-xr-x ./usr/share/xscreensaver/
drwxr-xr-x ./usr/share/xscreensaver/config/
-rw-r--r-- ./usr/share/xscreensaver/config/voidrunner3d.xml"
check "the package holds the hack, its settings description, copyright and changelog only" \
    test "$listing" = "$expected"
[[ $listing == "$expected" ]] || echo "$listing" >&2

root=$scratch/root
if [[ $(id -u) -eq 0 ]]; then
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log"
    touch "$root/var/lib/dpkg/status"
    # The throw-away root has no libraries: the dependencies are checked above instead.
    install() { dpkg --root="$root" --force-depends -i "$deb" >"$scratch/dpkg.log" 2>&1; }
    check "dpkg -i into a throw-away root" install
    check "dpkg counts it installed" \
        grep -q "^Status: install ok installed" <(dpkg --root="$root" -s voidrunner3d-xscreensaver)
else
    check "extracts" dpkg-deb -x "$deb" "$root"
fi
installed=$root/usr/libexec/xscreensaver/voidrunner3d
deb_checks "$deb" "$installed"
check "the installed hack runs" grep -q "^usage: voidrunner3d" <("$installed" -help)
status=0
"$installed" -bogus 2>/dev/null || status=$?
check "the installed hack refuses a bad option with 2" test "$status" -eq 2
check "the settings description is the source's" cmp -s "$xml" \
    "$root/usr/share/xscreensaver/config/voidrunner3d.xml"
holder=$(sed -n 's/.*"LegalCopyright", "\(.*\)"$/\1/p' "$rc")
check "the copyright names the version block's holder ($holder)" grep -qxF "${holder:-?}" \
    "$root/usr/share/doc/voidrunner3d-xscreensaver/copyright"

# The settings description: well formed, and what it passes is what the hack takes.
check "the settings description is well-formed XML" xmllint --noout "$xml"
check "a speed slider from 0 to 100, 28 by default" \
    grep -Pzq '<number id="speed" type="slider" arg="--speed %"[^>]*low="0" high="100" default="28"/>' \
    "$xml"
check "a preview switch" grep -q '<boolean id="preview"[^>]*arg-set="--preview"/>' "$xml"
status=0
"$installed" --root --speed 100 --preview -display :no-such-display 2>/dev/null || status=$?
check "the hack takes those options (it fails only for the display)" test "$status" -eq 1

# cmake --install of the component puts the same files where XScreenSaver looks.
DESTDIR=$scratch/destdir cmake --install "$build" --component xscreensaver >/dev/null
check "cmake --install: the hack in /usr/libexec/xscreensaver" \
    cmp -s "$hack" "$scratch/destdir/usr/libexec/xscreensaver/voidrunner3d"
check "cmake --install: the description in /usr/share/xscreensaver/config" \
    cmp -s "$xml" "$scratch/destdir/usr/share/xscreensaver/config/voidrunner3d.xml"
finish
