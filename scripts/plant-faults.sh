#!/bin/bash
# Plants faults one at a time and runs the whole suite on each: a fault that no test catches
# shows a test missing or weak. Not part of CI.
#   plant-faults.sh FAULTS [BUILD_DIR] [ID...]
# FAULTS holds one fault a line, its fields separated by " | ":
#   id | file | text to find | text to put instead
# The first occurrence is replaced; a line starting with '#' is a comment. Each file is
# restored after its run.
set -u
cd "$(dirname "$0")/.."
FAULTS=$1
BUILD=${2:-build}
shift $(( $# >= 2 ? 2 : 1 ))
[ -d "$BUILD" ] || { echo "no build tree $BUILD: run ./scripts/test.sh first" >&2; exit 2; }
fault() {  # id field  (field: file, apply)
    python3 - "$FAULTS" "$1" "$2" <<'PY'
import sys
faults, want, field = sys.argv[1:4]
for line in open(faults, encoding="utf-8"):
    line = line.rstrip("\n")
    if not line.strip() or line.lstrip().startswith("#"):
        continue
    parts = line.split(" | ", 3)
    if len(parts) < 3:
        continue
    if want == "" and field == "ids":
        print(parts[0].strip())
        continue
    if parts[0].strip() != want:
        continue
    path, find = parts[1].strip(), parts[2]
    put = parts[3] if len(parts) > 3 else ""
    if field == "file":
        print(path)
    else:
        s = open(path, encoding="utf-8").read()
        if find not in s:
            sys.exit(1)
        open(path, "w", encoding="utf-8").write(s.replace(find, put.rstrip(), 1))
PY
}
ids=("$@")
[ ${#ids[@]} -eq 0 ] && mapfile -t ids < <(fault "" ids)
survivors=0
printf '%-4s %-10s %s\n' id result "caught by"
for id in "${ids[@]}"; do
    file=$(fault "$id" file)
    cp "$file" "$file.unplanted"
    if ! fault "$id" apply; then
        printf '%-4s %-10s %s\n' "$id" "NOT FOUND" "$file"
        mv "$file.unplanted" "$file"
        survivors=$((survivors + 1))
        continue
    fi
    if ! cmake --build "$BUILD" -j"$(nproc)" >"$BUILD/plant-$id.log" 2>&1; then
        printf '%-4s %-10s %s\n' "$id" "no build" "(the fault does not compile; see $BUILD/plant-$id.log)"
        survivors=$((survivors + 1))
    else
        ctest --test-dir "$BUILD" -j"$(nproc)" >>"$BUILD/plant-$id.log" 2>&1
        caught=$(grep -E '^\s+[0-9]+ - ' "$BUILD/plant-$id.log" | sed -E 's/^\s+[0-9]+ - ([^ ]+).*/\1/' | tr '\n' ' ')
        if [ -n "$caught" ]; then
            printf '%-4s %-10s %s\n' "$id" caught "$caught"
        else
            printf '%-4s %-10s %s\n' "$id" SURVIVED "$file"
            survivors=$((survivors + 1))
        fi
    fi
    mv "$file.unplanted" "$file"
    touch "$file"
done
cmake --build "$BUILD" -j"$(nproc)" >/dev/null 2>&1
echo "survivors: $survivors"
[ "$survivors" -eq 0 ]
