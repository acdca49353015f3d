#!/bin/sh
# Builds and runs the benchmarks; the summary at the end gives the ratios and figures. The
# start-up figures time the dialog of a Release build, made in build-bench/.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DORVANE_WERROR=ON -DBUILD_TESTING=OFF -DORVANE_BENCH=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target orvanecmgr orvane-pixels orvane-nm
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_WERROR=ON -DBUILD_TESTING=ON -DORVANE_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)" --target orvane-bench
# The pixel display's figure is timed on an X server of its own.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 800x800x24 -nolisten tcp -nolisten local 3>"$display_file" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -f "$display_file"' EXIT
for _ in $(seq 1 50); do [ -s "$display_file" ] && break; sleep 0.1; done
DISPLAY=":$(head -n1 "$display_file")" ORVANE_BENCH_DIALOG=$PWD/build-bench/orvanecmgr ./build/orvane-bench "$@"
# The start in host mode, beside a NetworkManager of its own on a private bus with the system
# bus's own limits, against nmcli's listing of the same connections.
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null && command -v NetworkManager >/dev/null; then
    unshare --net --mount ./tests/support/with_networkmanager.sh ./build/orvane-bench-host "$PWD/build-bench/orvanecmgr"
else
    echo "figure host_start: not timed (a NetworkManager of its own needs root, unshare and NetworkManager)"
fi
