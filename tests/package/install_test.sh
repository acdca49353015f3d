#!/bin/bash
# An install into a scratch prefix and the Debian package, used as their users use them.
# Usage: install_test.sh BUILD_DIR
set -u
BUILD=$1
WORK=$(mktemp -d)
SOCKET="$WORK/tmux.sock"
FAILED=0
trap 'tmux -S "$SOCKET" kill-server 2>/dev/null; rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; FAILED=1; }

echo "== cmake --install into a scratch prefix"
P="$WORK/prefix"
cmake --install "$BUILD" --prefix "$P" >"$WORK/install.log" 2>&1 || { cat "$WORK/install.log"; fail "install"; exit 1; }
[ "$(readlink "$P/bin/orvanecmgr")" = "../lib/orvane/orvanecmgr" ] || fail "bin/orvanecmgr is not a link to the private folder"
[ -x "$P/lib/orvane/orvanecmgr" ] && [ ! -L "$P/lib/orvane/orvanecmgr" ] || fail "the real program is not in lib/orvane"
for ext in lng xml; do
    [ "$(readlink "$P/lib/orvane/orvanecmgr.$ext")" = "$P/etc/orvane/orvanecmgr.$ext" ] ||
        fail "orvanecmgr.$ext does not link into the configuration folder"
done
for f in share/man/man1/orvanecmgr.1.gz share/man/man1/orvane-device.1.gz share/man/man1/orvane-data.1.gz \
    share/bash-completion/completions/orvane-device share/bash-completion/completions/orvane-data \
    share/doc/orvane-connection-manager/README.md share/doc/orvane-connection-manager/LICENSE \
    share/doc/orvane-connection-manager/examples/orvanecmgr.xml bin/orvane-device bin/orvane-data lib/orvane/orvane-nm.so; do
    [ -e "$P/$f" ] || fail "$f is not installed"
done
zcat "$P/share/man/man1/orvane-device.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "man page without exit status"
"$P/bin/orvane-device" --version | grep -qx "orvane-device [0-9]*\.[0-9]*\.[0-9]*" || fail "orvane-device --version"

# The administrator's files in etc/orvane, the dialog started through bin/.
DB="$WORK/provider.xml"
cat >"$DB" <<'XML'
<?xml version="1.0"?>
<serviceproviders format="2.0"><country code="zz"><provider><name>Scratch Net</name>
<gsm><apn value="scratch.apn"><usage type="internet"/></apn></gsm></provider></country></serviceproviders>
XML
"$P/bin/orvane-data" import "$DB" >"$WORK/import.log" 2>&1 || fail "import into the installed program's file: $(cat "$WORK/import.log")"
[ -f "$P/etc/orvane/orvanecmgr.xml" ] && [ ! -L "$P/etc/orvane/orvanecmgr.xml" ] || fail "import did not write the configuration folder's file"
[ -L "$P/lib/orvane/orvanecmgr.xml" ] || fail "import replaced the link"
"$P/bin/orvane-data" import "$DB" >/dev/null 2>&1 && fail "import replaced the file without --force"
cp "$P/share/doc/orvane-connection-manager/examples/orvanecmgr.lng" "$P/etc/orvane/"
# The installed device tool checks the installed data files, as the installed dialog reads them.
fitted=$(ORVANE_DEVICE="$WORK/device" "$P/bin/orvane-device" fit --screen 120x320 2>&1)
echo "$fitted" | grep -q "Orvane Verbindungsmanager" || fail "the installed fit check does not read the language file in etc/orvane: $fitted"
tmux -S "$SOCKET" new-session -d -x 40 -y 24 "ORVANE_DEVICE='$WORK/device' '$P/bin/orvanecmgr'; sleep 30"
# A capture can fall between two writes of the first frame: wait for all that is checked,
# not for its first part.
shown=""
for _ in $(seq 1 300); do
    shown=$(tmux -S "$SOCKET" capture-pane -p)
    echo "$shown" | grep -q "Scratch Net" && echo "$shown" | grep -q "scratch.apn" && echo "$shown" | grep -q "Anlegen" && break
    sleep 0.1
done
echo "$shown" | grep -q "Scratch Net" || fail "the installed dialog does not show the imported operator: $shown"
echo "$shown" | grep -q "scratch.apn" || fail "the preset's APN is not filled in"
echo "$shown" | grep -q "Anlegen" || fail "the installed dialog does not read the language file in etc/orvane"
# Ended with Esc while its terminal is there, so that no dialog outlives the test (a sanitizer
# build's leak check at the exit of a hung-up program never finishes).
tmux -S "$SOCKET" send-keys Escape
for _ in $(seq 1 200); do pgrep -f "^$P/bin/orvanecmgr\$" >/dev/null || break; sleep 0.1; done
if pgrep -f "^$P/bin/orvanecmgr\$" >/dev/null; then
    pkill -9 -f "^$P/bin/orvanecmgr\$"
    fail "the installed dialog did not end at Esc"
fi
tmux -S "$SOCKET" kill-server 2>/dev/null

echo "== the Debian package"
if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
    echo "SKIPPED: dpkg-deb or dpkg-shlibdeps is missing (Debian package dpkg-dev); the package is not tested"
    [ $FAILED -eq 0 ] && exit 77
    exit 1
fi
(cd "$BUILD" && cpack -G DEB -B "$WORK/pkg") >"$WORK/cpack.log" 2>&1 || { cat "$WORK/cpack.log"; fail "cpack"; exit 1; }
deb=$(ls "$WORK"/pkg/*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { fail "no .deb"; exit 1; }
arch=$(dpkg --print-architecture)
case "$(basename "$deb")" in
    orvane-connection-manager_[0-9]*.[0-9]*.[0-9]*-[0-9]*_"$arch".deb) ;;
    *) fail "package file name: $(basename "$deb")" ;;
esac
fields=$(dpkg-deb -f "$deb" Package Version Architecture Maintainer Depends Description)
echo "$fields"
echo "$fields" | grep -q "^Maintainer: .*<.*@.*>" || fail "maintainer"
echo "$fields" | grep -q "^Depends: .*libsqlite3-0" || fail "run-time dependencies are not found from the libraries"
echo "$fields" | grep -q "^Depends: .*libncursesw6" || fail "ncursesw is not a dependency"
echo "$fields" | grep -q "^Depends: .*libnm0" || fail "libnm, which the export module needs, is not a dependency"
echo "$fields" | grep -q "^Depends: .*libsdl2" || fail "SDL2, which the pixel display needs, is not a dependency"
echo "$fields" | grep -q "^Depends: .*libpango" || fail "Pango, which the pixel display needs, is not a dependency"
dpkg-deb -f "$deb" Recommends | grep -q "fonts-wine" || fail "the system font's package is not recommended"
listing=$(dpkg-deb -c "$deb")
for f in ./usr/lib/orvane/orvanecmgr ./usr/lib/orvane/orvane-nm.so ./usr/lib/orvane/orvane-pixels.so ./usr/bin/orvane-device ./usr/bin/orvane-data ./usr/share/man/man1/orvanecmgr.1.gz \
    ./usr/share/doc/orvane-connection-manager/copyright ./etc/orvane/; do
    echo "$listing" | grep -q " $f\( \|$\)" || fail "the package lacks $f"
done
echo "$listing" | grep -q "./usr/bin/orvanecmgr -> ../lib/orvane/orvanecmgr" || fail "the package lacks the bin/orvanecmgr link"
echo "$listing" | grep -q "./usr/lib/orvane/orvanecmgr.xml -> /etc/orvane/orvanecmgr.xml" || fail "the package lacks the operators-file link"
R="$WORK/unpacked"
dpkg-deb -x "$deb" "$R" || fail "dpkg-deb -x"
"$R/usr/bin/orvane-device" --version || fail "unpacked orvane-device --version"
"$R/usr/bin/orvane-data" --version || fail "unpacked orvane-data --version"
# The export to NetworkManager loads its module from the package's private folder.
printf '%s' '<wap-provisioningdoc><characteristic type="CM_PPPEntries"><characteristic type="Net"><parm name="DeviceName" value="M"/><parm name="DeviceSpecificRAW" value="4F5644430100010000C20100'"$(printf '0%.0s' $(seq 1032))"'"/></characteristic></characteristic></wap-provisioningdoc>' |
    ORVANE_DEVICE="$WORK/pkgdevice" "$R/usr/bin/orvane-device" provision - >/dev/null || fail "unpacked orvane-device provision"
ORVANE_DEVICE="$WORK/pkgdevice" "$R/usr/bin/orvane-device" export Net --to networkmanager | grep -qx "type=gsm" ||
    fail "unpacked orvane-device export --to networkmanager"
# So does the screenshot its pixel display.
ORVANE_DEVICE="$WORK/pkgdevice" "$R/usr/bin/orvane-device" screenshot --output "$WORK/shot.png" ||
    fail "unpacked orvane-device screenshot"
[ "$(head -c 4 "$WORK/shot.png" | tail -c 3)" = "PNG" ] || fail "the unpacked screenshot is no PNG"
EX="$R/usr/share/doc/orvane-connection-manager/examples"
"$R/usr/bin/orvane-data" check "$EX/orvanecmgr.xml" "$EX/orvanecmgr.lng" || fail "unpacked orvane-data check on the examples"

[ $FAILED -eq 0 ] && echo "all install and package checks passed"
exit $FAILED
