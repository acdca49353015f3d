#!/bin/bash
# The real program in tmux on a temporary handheld: what its user sees and what it stores.
# Usage: dialog_e2e.sh PROGRAM DEVICE_TOOL EXAMPLES_DIR
set -u
PROGRAM=$1
TOOL=$2
EXAMPLES=$3
WORK=$(mktemp -d)
SOCKET="$WORK/tmux.sock"
FAILED=0
trap 'tmux -S "$SOCKET" kill-server 2>/dev/null; rm -rf "$WORK"' EXIT

fail() { echo "FAIL: $*"; FAILED=1; }

# A fresh folder with a copy of the program, so data files next to it are the test's own.
setup() {
    rm -rf "$WORK/bin" "$WORK/device" "$WORK/exit"
    mkdir -p "$WORK/bin"
    cp "$PROGRAM" "$WORK/bin/orvanecmgr"
    export ORVANE_DEVICE="$WORK/device"
}

start() {  # columns rows
    tmux -S "$SOCKET" kill-server 2>/dev/null
    while tmux -S "$SOCKET" has-session 2>/dev/null; do sleep 0.1; done
    rm -f "$SOCKET"
    tmux -S "$SOCKET" new-session -d -x "$1" -y "$2" \
        "ORVANE_DEVICE='$ORVANE_DEVICE' '$WORK/bin/orvanecmgr'; echo \$? > '$WORK/exit'; sleep 30"
    wait_for "Create\|Anlegen" || fail "the program did not start"
}

screen() { tmux -S "$SOCKET" capture-pane -p; }
keys() { tmux -S "$SOCKET" send-keys "$@"; sleep 0.15; }

wait_for() {  # pattern
    for _ in $(seq 1 50); do
        if screen | grep -q -- "$1"; then return 0; fi
        sleep 0.1
    done
    echo "--- screen, waiting for: $1"
    screen
    return 1
}

expect_screen() { wait_for "$1" || fail "$2"; }

wait_exit() {
    for _ in $(seq 1 50); do
        [ -f "$WORK/exit" ] && return 0
        sleep 0.1
    done
    return 1
}

provision() {  # name
    printf '<wap-provisioningdoc><characteristic type="CM_PPPEntries"><characteristic type="%s"><parm name="Phone" value="1"/></characteristic></characteristic></wap-provisioningdoc>' "$1" |
        "$TOOL" provision - >/dev/null || fail "could not prepare $1"
}

echo "== default device, no data files"
setup
start 40 24
expect_screen "\[Custom\]" "the fallback preset is shown"
expect_screen "\*99\*\*\*1#" "the phone field shows *99***1#"
expect_screen "^ Connection *$" "the proposed name is Connection"
expect_screen "Hayes Compatible on COM1:" "the Hayes modem is chosen"
keys F1
expect_screen "(i) Connection created" "the success box is shown"
keys Enter
wait_exit || fail "the program did not end after the success box"
json=$("$TOOL" show --json Connection)
echo "$json" | grep -q '"baud_rate": 115200' || fail "speed is not 115200: $json"
echo "$json" | grep -q '"dial_modifier": ""' || fail "a dial modifier was set without an APN"
echo "$json" | grep -q '"DeviceName": "Hayes Compatible on COM1:"' || fail "device name"
echo "$json" | grep -q '"Phone": "\*99\*\*\*1#"' || fail "phone"

echo "== operators and language files next to the program"
setup
cp "$EXAMPLES/orvanecmgr.xml" "$EXAMPLES/orvanecmgr.lng" "$WORK/bin/"
start 40 24
expect_screen "Orvane Verbindungsmanager" "translated caption"
expect_screen "Verbindungsname" "translated label"
expect_screen "Anlegen *Beenden" "translated soft keys"
expect_screen "^ Verbindung *$" "the proposed name uses the translation"
expect_screen "Orvane Mobile" "the first preset is chosen"
expect_screen "internet.orvane" "its APN is copied"
expect_screen "\*99\*\*\*1#" "the phone field still shows *99***1# at start"
keys Tab Tab Down
expect_screen "Keldmark Telecom" "Down chooses the second preset"
expect_screen "web.keldmark" "its APN is copied"
expect_screen "\*\*\*" "its password is shown masked"
keys Enter
expect_screen "Saltwick & Co Wireless" "the presets are listed in file order, entities decoded"
keys Escape
keys Escape
wait_exit || fail "Esc did not end the program"

echo "== taken names, a refusal and a second attempt"
setup
provision "Connection"
provision "Connection 1"
start 40 24
expect_screen "^ Connection 2 *$" "the proposed name is Connection 2"
keys BSpace BSpace
keys F1
expect_screen "Connection with such name" "the refusal is shown"
keys Enter
expect_screen "^ Connection *$" "the name stays as typed"
keys Space X
keys F1
expect_screen "(i) Connection created" "the corrected name is created"
keys Enter
wait_exit || fail "the program did not end"
"$TOOL" show "Connection X" >/dev/null || fail "Connection X was not stored"

echo "== telephony failing"
setup
mkdir -p "$ORVANE_DEVICE"
printf '[faults]\nfail = ["lineInitializeEx"]\n' > "$ORVANE_DEVICE/device.toml"
start 40 24
screen | grep -q "Hayes" && fail "the modem box is not empty"
screen | grep -q "(!)" && fail "a message was shown at start"
keys F1
expect_screen "Could not create" "creation fails with the message"
keys Enter
keys F2
wait_exit || fail "Exit did not end the program"

echo "== white space around the fields"
setup
start 40 24
keys End BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace
keys Space Space S p a c e d Space Space
keys Tab Tab Tab Tab p w Space Tab Space w e b Space
keys F1
expect_screen "(i) Connection created" "created"
keys Enter
wait_exit
json=$("$TOOL" show --json Spaced) || fail "the name was not trimmed"
echo "$json" | grep -q '"Password": "pw "' || fail "the password lost its trailing space: $json"
echo "$json" | grep -q '"dial_modifier": "+CGDCONT=1,\\"IP\\",\\"web\\""' || fail "the APN was not trimmed: $json"

echo "== resizing between portrait and landscape"
setup
cp "$EXAMPLES/orvanecmgr.xml" "$WORK/bin/"
start 40 24
keys Tab Tab Down
keys Tab e d i t e d
tmux -S "$SOCKET" resize-window -x 80 -y 24
expect_screen "Connection Name  *Modem" "landscape layout"
expect_screen "editedweb\|webedited\|edited" "the edited user field stays"
expect_screen "Keldmark Telecom" "the operator selection stays"
tmux -S "$SOCKET" resize-window -x 40 -y 30
expect_screen "^ Modem" "portrait layout again"
expect_screen "Keldmark Telecom" "the operator selection stays"
expect_screen "Connection Name" "labels are set again"
keys Escape
wait_exit || fail "Esc did not end the program"

exit $FAILED
