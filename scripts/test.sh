#!/bin/sh
# Installs what is missing, builds, and runs every test.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_WERROR=ON -DBUILD_TESTING=ON -DORVANE_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
