#!/bin/sh
# Installs what is missing, builds the three programs, and starts the dialog on the default simulated handheld.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_WERROR=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)" --target orvanecmgr orvane-device orvane-data
exec ./build/orvanecmgr
