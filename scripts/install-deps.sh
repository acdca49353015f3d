#!/bin/sh
# Installs the Debian packages the build, the tests and the tools need.
# Does nothing when every package is already there.
set -eu
PACKAGES="build-essential cmake pkg-config g++ clang-14 llvm-14 clang-tidy-14 \
libgtest-dev libgmock-dev googletest libbenchmark-dev \
libncurses-dev libsqlite3-dev sqlite3 libtomlplusplus-dev libpugixml-dev \
libcli11-dev nlohmann-json3-dev libclang-rt-14-dev tmux \
mobile-broadband-provider-info"
missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "installing:$missing" >&2
$SUDO apt-get update -qq
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
