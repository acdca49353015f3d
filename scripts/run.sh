#!/bin/sh
# Installs what is missing, builds, and starts the program on the default simulated handheld.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target orvanecmgr orvane-device
exec ./build/orvanecmgr
