#!/bin/sh
# Runs a command beside a NetworkManager of its own: on a private D-Bus system bus, in the
# network and mount namespaces that `unshare --net --mount` gave this script, with tmpfs over
# /run and /var/lib/NetworkManager, no managed devices, and its keyfiles in a temporary folder
# named to the command as $ORVANE_NM_KEYFILES. Exits with the command's status, or 1 when
# NetworkManager does not come up.
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
mkdir -p "$work/keyfiles" "$work/conf.d"
mount -t tmpfs tmpfs /run && mount -t tmpfs tmpfs /var/lib/NetworkManager || exit 1
mkdir -p /run/dbus /run/NetworkManager
cp "$here/system_bus.conf" "$work/bus.conf"
cat > "$work/NetworkManager.conf" <<CONF
[main]
plugins=keyfile
auth-polkit=false
dns=none
rc-manager=unmanaged
no-auto-default=*
[keyfile]
path=$work/keyfiles
unmanaged-devices=*
[connectivity]
enabled=false
[logging]
level=WARN
CONF
dbus-daemon --config-file="$work/bus.conf" --fork --print-pid > "$work/dbus.pid" || exit 1
NetworkManager --no-daemon --config="$work/NetworkManager.conf" --config-dir="$work/conf.d" \
  --state-file="$work/state" > "$work/nm.log" 2>&1 &
nm=$!
up=no
for _ in $(seq 1 100); do
  if nmcli general status >/dev/null 2>&1; then up=yes; break; fi
  sleep 0.1
done
status=1
if [ "$up" = yes ]; then
  ORVANE_NM_KEYFILES=$work/keyfiles "$@"
  status=$?
else
  echo "NetworkManager did not come up:" >&2
  cat "$work/nm.log" >&2
fi
kill "$nm" "$(cat "$work/dbus.pid")" 2>/dev/null
wait "$nm" 2>/dev/null
rm -rf "$work"
exit $status
