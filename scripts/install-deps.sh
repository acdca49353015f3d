#!/bin/sh
# Installs the Debian packages that a build needs; does nothing when they are all there.
#   install-deps.sh run    the three programs only (their build and run-time libraries)
#   install-deps.sh test   also the tests, the benchmark, the fuzz targets and the package check
# (test is the default).
set -eu
what=${1:-test}
RUN="build-essential cmake pkg-config g++ llvm-14 \
libncurses-dev libutf8proc-dev libsqlite3-dev libtomlplusplus-dev libpugixml-dev libcli11-dev nlohmann-json3-dev libnm-dev libmm-glib-dev libutfcpp-dev libicu-dev \
libsdl2-dev libcairo2-dev libpango1.0-dev libfreetype-dev fonts-wine fonts-liberation2"
TEST="ninja-build ccache clang-14 clang-tidy-14 libclang-rt-14-dev libgtest-dev libgmock-dev googletest libbenchmark-dev \
sqlite3 tmux ppp dpkg-dev mobile-broadband-provider-info whiptail network-manager modemmanager polkitd dbus python3 xvfb xdotool"
case "$what" in
  run) PACKAGES=$RUN ;;
  test) PACKAGES="$RUN $TEST" ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac
missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
  else
    echo "install-deps.sh: these Debian packages are missing:$missing" >&2
    echo "install-deps.sh: not root and no sudo here; as root, run:" >&2
    echo "    apt-get install$missing" >&2
    echo "install-deps.sh: or run this script again as root." >&2
    exit 1
  fi
fi
echo "installing:$missing" >&2
$SUDO apt-get update -qq
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
