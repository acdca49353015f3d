#!/bin/sh
# Builds a tree of its own with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test in it.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON -DORVANE_WERROR=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)"
