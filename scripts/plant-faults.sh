#!/bin/bash
# Plants faults one at a time and runs the whole suite on each: a fault that no test catches
# shows a test missing or weak. Not part of CI.
#   plant-faults.sh FAULTS [BUILD_DIR]
# FAULTS holds one fault a line:  id | file | text to find | text to put instead
# (the first occurrence is replaced; '#' starts a comment line). Each file is restored after.
set -u
cd "$(dirname "$0")/.."
FAULTS=$1
BUILD=${2:-build}
[ -d "$BUILD" ] || { echo "no build tree $BUILD: run ./scripts/test.sh first" >&2; exit 2; }
survivors=0
printf '%-4s %-10s %s\n' id result "caught by"
while IFS='|' read -r id file find put; do
    id=$(echo "$id" | xargs)
    case "$id" in ''|'#'*) continue ;; esac
    file=$(echo "$file" | xargs)
    find=${find# }; find=${find% }
    put=${put# }; put=${put% }
    cp "$file" "$file.unplanted"
    if ! FIND="$find" PUT="$put" python3 - "$file" <<'PY'
import os, sys
p = sys.argv[1]
s = open(p, encoding="utf-8").read()
f, r = os.environ["FIND"], os.environ["PUT"]
if f not in s:
    sys.exit(1)
open(p, "w", encoding="utf-8").write(s.replace(f, r, 1))
PY
    then
        printf '%-4s %-10s %s\n' "$id" "NOT FOUND" "$file: $find"
        mv "$file.unplanted" "$file"
        survivors=$((survivors + 1))
        continue
    fi
    if ! cmake --build "$BUILD" -j"$(nproc)" >"$BUILD/plant-$id.log" 2>&1; then
        printf '%-4s %-10s %s\n' "$id" "no build" "(the fault does not compile; see $BUILD/plant-$id.log)"
    else
        ctest --test-dir "$BUILD" -j"$(nproc)" >>"$BUILD/plant-$id.log" 2>&1
        caught=$(grep -E '^\s+[0-9]+ - ' "$BUILD/plant-$id.log" | sed -E 's/^\s+[0-9]+ - ([^ ]+).*/\1/' | tr '\n' ' ')
        if [ -n "$caught" ]; then
            printf '%-4s %-10s %s\n' "$id" caught "$caught"
        else
            printf '%-4s %-10s %s\n' "$id" SURVIVED "$file: $find"
            survivors=$((survivors + 1))
        fi
    fi
    mv "$file.unplanted" "$file"
    touch "$file"
done <"$FAULTS"
cmake --build "$BUILD" -j"$(nproc)" >/dev/null 2>&1
echo "survivors: $survivors"
[ "$survivors" -eq 0 ]
