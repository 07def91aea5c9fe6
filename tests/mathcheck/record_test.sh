#!/bin/bash
# tools/mathcheck/full-run --check on a copy of the proved sources and their record: the copy
# passes, and with any one source changed it fails with one line that names that source.
# Usage: record_test.sh SOURCE
set -euo pipefail

source=$(realpath "$1") copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
files=(engine/rounded.cpp engine/rounded.h engine/rounded_constants.h tools/mathcheck/main.cpp)
(cd "$source" && cp --parents -t "$copy" "${files[@]}" tools/mathcheck/full-run.txt)
"$source/tools/mathcheck/full-run" --check "$copy"
for file in "${files[@]}"; do
    cp "$copy/$file" "$copy/kept"
    echo "// one line more" >>"$copy/$file"
    if said=$("$source/tools/mathcheck/full-run" --check "$copy" 2>&1); then
        echo "FAILED: passes with $file changed" >&2 && exit 1
    fi
    [[ $said == "$file "* && $said != *$'\n'* ]] || { echo "FAILED: $file: $said" >&2 && exit 1; }
    echo "ok: $said"
    mv "$copy/kept" "$copy/$file"
done
