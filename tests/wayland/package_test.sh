#!/bin/bash
# Builds the Wayland client's Debian package into a scratch folder and checks it from outside:
# the files it holds, a dependency on the package of every library the program needs, the
# protocols' notices in its copyright file, every option of its --help in its manual page,
# lintian and hardening-check.
# Usage: package_test.sh CPACK CPACK_CONFIG VERSION RESOURCES_RC PROTOCOL.xml...
set -euo pipefail

cpack=$1 config=$2 version=$3 rc=$4
shift 4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
source "$(dirname "$0")/../package/deb-checks.sh"

"$cpack" --config "$config" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2 && exit 1; }
deb=$scratch/out/voidrunner3d-wayland_${version}_amd64.deb root=$scratch/root
dpkg-deb -x "$deb" "$root"
listing=$(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ {print $1, $NF}')
check "the package holds the program, its manual page, copyright and changelog only" test \
    "$listing" = "-rwxr-xr-x ./usr/bin/voidrunner3d-wayland
-rw-r--r-- ./usr/share/doc/voidrunner3d-wayland/changelog.gz
-rw-r--r-- ./usr/share/doc/voidrunner3d-wayland/copyright
-rw-r--r-- ./usr/share/man/man1/voidrunner3d-wayland.1.gz"
program=$root/usr/bin/voidrunner3d-wayland

depends=", $(dpkg-deb -f "$deb" Depends),"
for library in $(objdump -p "$program" | awk '$1 == "NEEDED" {print $2}'); do
    owner=$(dpkg -S "*/x86_64-linux-gnu/$library" | sed -n '1s/:.*//p')
    check "Depends on $owner, which holds $library" grep -Eq ", ${owner//+/\\+} \(>= " <<<"$depends"
done

squeeze() { tr -s '[:space:]' ' ' | sed 's/^ //; s/ $//'; }
copyright=$(squeeze <"$root/usr/share/doc/voidrunner3d-wayland/copyright")
holder=$(sed -n 's/.*"LegalCopyright", "\(.*\)"$/\1/p' "$rc")
check "the copyright names the version block's holder ($holder)" test -n "$holder" -a \
    -z "${copyright##*"$holder"*}"
for xml in "$@"; do
    notice=$(sed -n '/<copyright>/,/<\/copyright>/p' "$xml" | sed '1d;$d' | squeeze)
    check "the copyright carries ${xml##*/}'s notice" test -n "$notice" -a \
        -z "${copyright##*"$notice"*}"
done

manual=$(MANWIDTH=1000 man -E ascii -l "$root/usr/share/man/man1/voidrunner3d-wayland.1.gz")
for option in $("$program" --help | grep -oE -- '(^| )--[a-z-]+' | sort -u); do
    check "the manual page explains $option" \
        grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$manual"
done
deb_checks "$deb" "$program"
finish
