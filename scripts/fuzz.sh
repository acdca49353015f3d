#!/bin/sh
# Builds the fuzz targets with clang and libFuzzer and runs each for SECONDS (default 30).
set -eu
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-30}
./scripts/install-deps.sh test
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14 \
    -DORVANE_FUZZ=ON -DORVANE_WERROR=ON -DBUILD_TESTING=OFF -DFUZZ_SECONDS="$SECONDS_EACH" >/dev/null
TARGETS="language operators relayout provisioning entry_name device_toml"
set --
for t in $TARGETS; do set -- "$@" "fuzz_$t"; done
cmake --build build-fuzz -j"$(nproc)" --target "$@"
export ORVANE_DEVICE="${TMPDIR:-/tmp}/orvane-fuzz-device"
status=0
for t in $TARGETS; do
    mkdir -p "build-fuzz/corpus/$t"
    log="build-fuzz/fuzz_$t.log"
    if ./build-fuzz/fuzz_$t -max_total_time="$SECONDS_EACH" -print_final_stats=1 -artifact_prefix="build-fuzz/crash-$t-" \
        "build-fuzz/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
        echo "fuzz_$t: $(grep -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') executions, no failure"
    else
        echo "fuzz_$t: FAILED, see $log"
        tail -30 "$log"
        status=1
    fi
done
exit $status
