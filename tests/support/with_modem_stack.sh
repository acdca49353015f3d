#!/bin/sh
# Runs a command beside a modem stack of its own, in the network and mount namespaces that
# `unshare --net --mount --fork` gave this script: a private /dev with a simulated AT modem
# linked as /dev/ttyUSB0 (every command it gets logged to $ORVANE_MODEM_LOG), a made-up
# sysfs entry for it as a USB serial modem, a private system bus, a polkit authority that
# grants every request, ModemManager without udev and NetworkManager managing gsm devices
# only (its log in $ORVANE_NM_LOG, its keyfiles in $ORVANE_NM_KEYFILES). Waits for the modem
# to register, runs the command, and stops everything. Exits with the command's status, or
# 1 when the stack does not come up.
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=
stop() {
  for p in $pids; do kill "$p" 2>/dev/null; done
  for p in $pids; do wait "$p" 2>/dev/null; done
}
trap 'stop; umount -l "$work/dev" 2>/dev/null && rm -rf --one-file-system "$work"' EXIT
started=$(date +%s%N)

# The machine's own /dev stays reachable for the nodes a private one needs.
mkdir -p "$work/dev"
mount --bind /dev "$work/dev" || exit 1
mount -t tmpfs -o mode=755 tmpfs /dev || exit 1
for node in null zero full random urandom tty; do
  touch "/dev/$node" && mount --bind "$work/dev/$node" "/dev/$node" || exit 1
done
mkdir /dev/pts /dev/shm
mount -t devpts -o newinstance,ptmxmode=0666 devpts /dev/pts || exit 1
ln -s pts/ptmx /dev/ptmx

# sysfs as ModemManager reads it for the port, without udev: a USB device whose interface
# has a modem's driver, its serial port, and the tty on it.
usb=$work/sys/devices/usb1/1-1
port=$usb/1-1:1.0/ttyUSB0
mkdir -p "$port/tty/ttyUSB0" "$work/sys/bus/usb/drivers/option" "$work/sys/bus/usb-serial/drivers/option1" \
  "$work/sys/bus/usb" "$work/sys/bus/usb-serial" "$work/sys/class/tty"
echo 1209 > "$usb/idVendor"
echo 4d4d > "$usb/idProduct"
echo "Orvane Test Modems" > "$usb/manufacturer"
echo "SIM-1" > "$usb/product"
echo usb_device > "$usb/devtype"
echo 1 > "$usb/busnum"
echo 2 > "$usb/devnum"
ln -s "$work/sys/bus/usb" "$usb/subsystem"
echo ff > "$usb/1-1:1.0/bInterfaceClass"
echo 00 > "$usb/1-1:1.0/bInterfaceNumber"
echo usb_interface > "$usb/1-1:1.0/devtype"
ln -s "$work/sys/bus/usb" "$usb/1-1:1.0/subsystem"
ln -s "$work/sys/bus/usb/drivers/option" "$usb/1-1:1.0/driver"
ln -s "$work/sys/bus/usb-serial" "$port/subsystem"
ln -s "$work/sys/bus/usb-serial/drivers/option1" "$port/driver"
ln -s "$work/sys/class/tty" "$port/tty/ttyUSB0/subsystem"
echo 188:0 > "$port/tty/ttyUSB0/dev"
printf 'MAJOR=188\nMINOR=0\nDEVNAME=ttyUSB0\n' > "$port/tty/ttyUSB0/uevent"
mount -t tmpfs tmpfs /sys/class/tty || exit 1
ln -s "$port/tty/ttyUSB0" /sys/class/tty/ttyUSB0

mount -t tmpfs tmpfs /run && mount -t tmpfs tmpfs /var/lib/NetworkManager || exit 1
mkdir -p /run/dbus /run/NetworkManager /run/lock "$work/keyfiles" "$work/conf.d" "$work/rules"
# Every request granted, for the test's root alone.
echo 'polkit.addRule(function(action, subject) { return polkit.Result.YES; });' > "$work/rules/00-test.rules"
mount --bind "$work/rules" /etc/polkit-1/rules.d || exit 1

export ORVANE_MODEM_LOG=$work/modem.log ORVANE_NM_LOG=$work/nm.log ORVANE_NM_KEYFILES=$work/keyfiles
: > "$ORVANE_MODEM_LOG"
python3 "$here/sim_modem.py" /dev/ttyUSB0 "$ORVANE_MODEM_LOG" &
pids="$pids $!"
for _ in $(seq 1 50); do [ -e /dev/ttyUSB0 ] && break; sleep 0.1; done

cp "$here/system_bus.conf" "$work/bus.conf"
cat > "$work/NetworkManager.conf" <<CONF
[main]
plugins=keyfile
dns=none
rc-manager=unmanaged
no-auto-default=*
[keyfile]
path=$work/keyfiles
unmanaged-devices=except:type:gsm
[connectivity]
enabled=false
[logging]
level=DEBUG
CONF
dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile &
pids="$pids $!"
for _ in $(seq 1 50); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.1; done
/usr/lib/polkit-1/polkitd --no-debug > "$work/polkit.log" 2>&1 &
pids="$pids $!"
ModemManager --test-no-udev --test-enable --no-auto-scan --filter-policy=STRICT --log-level=DEBUG \
  --log-personal-info > "$work/mm.log" 2>&1 &
pids="$pids $!"
for _ in $(seq 1 50); do mmcli -L >/dev/null 2>&1 && break; sleep 0.1; done
NetworkManager --no-daemon --debug --config="$work/NetworkManager.conf" --config-dir="$work/conf.d" \
  --state-file="$work/state" > "$ORVANE_NM_LOG" 2>&1 &
pids="$pids $!"
mmcli --report-kernel-event="action=add,subsystem=tty,name=ttyUSB0" >/dev/null 2>&1

up=no
for _ in $(seq 1 300); do
  if mmcli -m any 2>/dev/null | grep -q "state: .*registered" && nmcli -t -f DEVICE,TYPE device 2>/dev/null | grep -q ":gsm$"; then
    up=yes
    break
  fi
  sleep 0.1
done
status=1
if [ "$up" = yes ]; then
  echo "modem stack up in $(( ($(date +%s%N) - started) / 1000000 )) ms" >&2
  "$@"
  status=$?
else
  echo "the modem stack did not come up; ModemManager said:" >&2
  tail -n 40 "$work/mm.log" >&2
  echo "the modem was asked:" >&2
  cat "$ORVANE_MODEM_LOG" >&2
fi
[ -n "${ORVANE_STACK_LOGS:-}" ] && cp "$work/mm.log" "$ORVANE_MODEM_LOG" "$ORVANE_NM_LOG" "$ORVANE_STACK_LOGS/" 2>/dev/null
stop
trap - EXIT
# The machine's /dev is mounted inside the folder: let go of it before anything is removed.
umount -l "$work/dev" && rm -rf --one-file-system "$work"
exit $status
