#!/bin/sh
# Builds one more tree with warnings as errors, and runs its tests when asked.
#   build-tree.sh DIR COMPILER BUILD_TYPE [debian] [test]
# "debian" builds with Debian's own flags (dpkg-buildflags, hardening on), as a package build does.
set -eu
cd "$(dirname "$0")/.."
dir=$1; cxx=$2; type=$3; shift 3
debian=no; run_tests=no
for a in "$@"; do
  case "$a" in
    debian) debian=yes ;;
    test) run_tests=yes ;;
    *) echo "usage: $0 DIR COMPILER BUILD_TYPE [debian] [test]" >&2; exit 2 ;;
  esac
done
case "$cxx" in
  clang++*) cc=$(echo "$cxx" | sed 's/clang++/clang/') ;;
  *) cc=$(echo "$cxx" | sed 's/g++/gcc/') ;;
esac
cxxflags=""; cflags=""; ldflags=""
if [ "$debian" = yes ]; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
  cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
  ldflags="$(dpkg-buildflags --get LDFLAGS)"
fi
start=$(date +%s)
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DORVANE_WERROR=ON -DBUILD_TESTING=ON -DORVANE_BENCH=ON >/dev/null
cmake --build "$dir" -j"$(nproc)"
flags=""; [ "$debian" = yes ] && flags=", Debian flags"
echo "$dir ($cxx, $type$flags): built in $(( $(date +%s) - start )) s"
if [ "$run_tests" = yes ]; then
  ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
fi
