#!/bin/sh
# Builds and runs the benchmarks; the summary at the end gives the ratios and figures. The
# start-up figures time the dialog of a Release build, made in build-bench/.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DORVANE_WERROR=ON -DBUILD_TESTING=OFF -DORVANE_BENCH=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target orvanecmgr
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_WERROR=ON -DBUILD_TESTING=ON -DORVANE_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)" --target orvane-bench
ORVANE_BENCH_DIALOG=$PWD/build-bench/orvanecmgr exec ./build/orvane-bench "$@"
