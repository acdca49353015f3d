#!/bin/sh
# Builds and runs the benchmarks; the summary at the end gives the ratios and figures.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_WERROR=ON -DBUILD_TESTING=ON -DORVANE_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)" --target orvane-bench
exec ./build/orvane-bench "$@"
