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

# ORVANE_FAIL_FAST (set by the mutation runs) stops at the first failure instead of reporting them all.
fail() { echo "FAIL: $*"; FAILED=1; [ -z "${ORVANE_FAIL_FAST:-}" ] || exit 1; }

# A fresh folder with a copy of the program, so data files next to it are the test's own.
setup() {
    rm -rf "$WORK/bin" "$WORK/device" "$WORK/exit"
    mkdir -p "$WORK/bin"
    cp "$PROGRAM" "$WORK/bin/orvanecmgr"
    export ORVANE_DEVICE="$WORK/device"
}

session() {  # columns rows command: a fresh tmux server running the command
    tmux -S "$SOCKET" kill-server 2>/dev/null
    while tmux -S "$SOCKET" has-session 2>/dev/null; do sleep 0.1; done
    rm -f "$SOCKET" "$WORK/exit"
    tmux -S "$SOCKET" new-session -d -x "$1" -y "$2" "$3"
}

launch() {  # columns rows [environment assignments]
    session "$1" "$2" "${3:-} ORVANE_DEVICE='$ORVANE_DEVICE' '$WORK/bin/orvanecmgr'; echo \$? > '$WORK/exit'; sleep 30"
}

start() {  # columns rows [environment assignments]
    launch "$@"
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

wait_exit() {  # [expected exit status, default 0]
    for _ in $(seq 1 50); do
        if [ -s "$WORK/exit" ]; then
            [ "$(cat "$WORK/exit")" = "${1:-0}" ] || fail "the program ended with status $(cat "$WORK/exit"), not ${1:-0}"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

provision() {  # name
    printf '<wap-provisioningdoc><characteristic type="CM_PPPEntries"><characteristic type="%s"><parm name="Phone" value="1"/></characteristic></characteristic></wap-provisioningdoc>' "$1" |
        "$TOOL" provision - >/dev/null || fail "could not prepare $1"
}

echo "== arguments: --help answers, anything else is a usage error; neither opens the dialog"
said=$(ORVANE_DEVICE="$WORK/none" "$PROGRAM" --help </dev/null 2>&1)
[ $? = 0 ] && echo "$said" | grep -q "^Usage: orvanecmgr" || fail "--help: $said"
said=$(ORVANE_DEVICE="$WORK/none" "$PROGRAM" --create </dev/null 2>&1)
[ $? = 2 ] && echo "$said" | grep -q "takes no arguments" || fail "an unknown argument: $said"
ORVANE_DEVICE="$WORK/none" "$PROGRAM" --help >/dev/full 2>/dev/null && fail "--help to a full disk ended with status 0"
[ -e "$WORK/none" ] && fail "--help touched the device folder"

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

echo "== Ctrl+A selects the proposed name, Shift+Left a part of it; typing replaces the selection"
setup
start 40 24
expect_screen "^ Connection *$" "the proposed name is Connection"
keys C-a
keys -l "Picked"
keys S-Left S-Left
keys -l "er"
expect_screen "^ Picker *$" "the selections were replaced by what was typed"
keys F1
expect_screen "(i) Connection created" "the success box is shown"
keys Enter
wait_exit || fail "the program did not end after the success box"
"$TOOL" show Picker >/dev/null || fail "nothing stored under the typed name Picker"

echo "== a paste with a tab and line breaks, in two pieces as over a slow link: the one-line field takes its first line, nothing moves the focus"
setup
start 40 24
expect_screen "^ Connection *$" "the proposed name is Connection"
keys C-a
bytes() { printf '%b' "$1" | od -An -tx1; }
# shellcheck disable=SC2046
tmux -S "$SOCKET" send-keys -H $(bytes '\033[200~Pas\tted')
sleep 0.05
# shellcheck disable=SC2046
tmux -S "$SOCKET" send-keys -H $(bytes '\nsecond line\r\nthird\033[201~')
sleep 0.2
keys -l "!"
expect_screen "^ Pasted! *$" "the paste did not bring its first line alone into the name field"
keys F1
expect_screen "(i) Connection created" "the success box is shown"
keys Enter
wait_exit || fail "the program did not end after the success box"
"$TOOL" show 'Pasted!' >/dev/null || fail "nothing stored under the pasted name"

echo "== an open list of 30 operators shows more above and below only where there is more"
setup
{
    printf '<root>\r\n<operators>\r\n'
    for i in $(seq -w 1 30); do printf '<operator Name="Op %s" User="" Pwd="" Apn="apn%s" Phone="*99#"/>\r\n' "$i" "$i"; done
    printf '</operators>\r\n</root>\r\n'
} | iconv -f UTF-8 -t UTF-16LE > "$WORK/bin/orvanecmgr.xml"
start 40 24
keys Tab Tab Enter
expect_screen "Op 02" "the operator list did not open"
screen | grep -q "▲" && fail "the list at its top shows more above"
screen | grep -q "▼" || fail "the list at its top does not show more below"
keys End
expect_screen "Op 30" "End did not take the open list to its end"
screen | grep -q "▼" && fail "the list at its end shows more below"
screen | grep -q "▲" || fail "the list at its end does not show more above"
keys Escape
keys Escape
wait_exit || fail "Esc did not close the list and end the program"

echo "== a mouse click on \"ok\" in the title bar ends the program, creating nothing"
setup
start 40 24
# A press and a release at column 39, row 1, as tmux's terminal reports them (X10 encoding:
# 32 plus the button, the column and the row).
keys -l "$(printf '\033[M G!')"
keys -l "$(printf '\033[M#G!')"
wait_exit || fail "the click on ok did not end the program"
[ -z "$("$TOOL" connections)" ] || fail "the click on ok stored something"

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

echo "== a translated name numbered, \"[Custom]\" never translated"
setup
printf '[Connection] [Verbindung]\r\n[Custom] [Eigen]\r\n[[Custom]] [Eigen]\r\n' | iconv -f UTF-8 -t UTF-16LE > "$WORK/bin/orvanecmgr.lng"
provision "Verbindung"
start 40 24
expect_screen "^ Verbindung 1 *$" "the numbered name uses the translated base"
expect_screen "^ \[Custom\]" "the fallback preset keeps its text"
keys F2
wait_exit

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
json=$("$TOOL" show --json --show-secrets Spaced) || fail "the name was not trimmed"
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
expect_screen " webedited " "the edited user field stays"
expect_screen "Keldmark Telecom" "the operator selection stays"
tmux -S "$SOCKET" resize-window -x 40 -y 30
expect_screen "^ Modem" "portrait layout again"
expect_screen "Keldmark Telecom" "the operator selection stays"
expect_screen "Connection Name" "labels are set again"
keys Escape
wait_exit || fail "Esc did not end the program"

echo "== a typed phone number and a preset's number through a rotation"
setup
cp "$EXAMPLES/orvanecmgr.xml" "$WORK/bin/"
start 40 24
keys Tab Tab End
expect_screen "#777" "the last preset's phone number is shown"
tmux -S "$SOCKET" resize-window -x 80 -y 24
expect_screen "Connection Name  *Modem" "landscape layout"
expect_screen "#777" "the preset's phone number stays through the rotation"
keys Tab Tab Tab Tab End BSpace BSpace BSpace BSpace 1 2 3 4 5
tmux -S "$SOCKET" resize-window -x 40 -y 24
expect_screen "^ Modem" "portrait layout again"
expect_screen " 12345 " "the typed phone number stays through the rotation"
keys F1
expect_screen "(i) Connection created" "created"
keys Enter
wait_exit
"$TOOL" show --json Connection | grep -q '"Phone": "12345"' || fail "the typed phone number was not stored"

echo "== keys bound to nothing"
setup
start 40 24
keys BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace K e p t
for k in x 3 BSpace Enter; do keys Escape "$k"; done
keys KPEnter KP5 F5 PPage
sleep 0.3
[ -f "$WORK/exit" ] && fail "an unbound key ended the program"
expect_screen "^ Kept *$" "the typed name is still there"
keys Escape
wait_exit || fail "Esc alone did not end the program"

echo "== a locale without UTF-8 (LC_ALL=C)"
setup
start 40 24 "LC_ALL=C"
keys BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace a b c
keys "é"
keys x y z Tab
expect_screen "^ abcéxyz *$" "every typed character is shown"
keys F1
expect_screen "(i) Connection created" "created"
keys Enter
wait_exit
"$TOOL" show abcéxyz >/dev/null || fail "the name was not stored exactly as typed: $("$TOOL" connections)"

echo "== NO_COLOR and the cursor on the focus"
setup
start 40 24 "NO_COLOR=1"
styled=$(tmux -S "$SOCKET" capture-pane -p -e)
echo "$styled" | grep -q $'\e\[[0-9;]*[34][0-7]m' && fail "colours are used although NO_COLOR is set"
echo "$styled" | sed -n 3p | grep -q $'\e\[[0-9;]*7mConnection' || fail "the focused field is not shown in reverse video"
# The other fields are underlined and not reversed: the focus is one field, not every one.
echo "$styled" | sed -n 6p | grep -q $'\e\[4mHayes' || fail "an unfocused field is not underlined"
echo "$styled" | sed -n 6p | grep -q $'\e\[[0-9;]*7mHayes' && fail "an unfocused field is shown as focused"
[ "$(tmux -S "$SOCKET" display -p '#{cursor_x},#{cursor_y}')" = "11,2" ] || fail "the cursor is not at the caret of the focused field"
keys Tab
[ "$(tmux -S "$SOCKET" display -p '#{cursor_x},#{cursor_y}')" = "1,5" ] || fail "the cursor is not on the focused list"
keys F2
wait_exit

echo "== a signal ends the dialog as cancelled, and the program by that signal"
for sig in TERM INT HUP; do
    setup
    start 40 24
    expect_screen "Connection Name" "the dialog did not start ($sig)"
    # What the program writes from here on, to see the terminal put back as it was.
    tmux -S "$SOCKET" pipe-pane -o "cat > '$WORK/raw'"
    pid=""
    for p in /proc/[0-9]*; do [ "$(readlink "$p/exe" 2>/dev/null)" = "$WORK/bin/orvanecmgr" ] && pid=${p#/proc/}; done
    [ -n "$pid" ] && kill -s "$sig" "$pid"
    want=$((128 + $(kill -l "$sig")))
    wait_exit "$want" || fail "SIG$sig did not end the dialog"
    grep -q "$(printf '\033')\[?2004l" "$WORK/raw" || fail "SIG$sig left the terminal in bracketed paste mode"
    "$TOOL" connections | grep -q . && fail "SIG$sig created a connection"
done

echo "== FIFOs in place of the data files; no core file"
setup
mkfifo "$WORK/bin/orvanecmgr.xml" "$WORK/bin/orvanecmgr.lng"
start 40 24
expect_screen "\[Custom\]" "a FIFO is taken as a missing operators file"
expect_screen "Connection Name" "a FIFO is taken as a missing language file"
pid=""
for p in /proc/[0-9]*; do [ "$(readlink "$p/exe" 2>/dev/null)" = "$WORK/bin/orvanecmgr" ] && pid=${p#/proc/}; done
[ -n "$pid" ] && grep -q "^Max core file size *0 *0" "/proc/$pid/limits" || fail "core dumps are not off in the dialog"
keys F2
wait_exit

echo "== a terminal that cannot address the cursor"
setup
launch 40 24 "TERM=dumb"
wait_exit 1 || fail "TERM=dumb: the program did not end"
screen | tr -d '\n' | grep -q "cannot move its cursor" || fail "TERM=dumb: no clear message"

echo "== the terminal gone while SIGHUP is ignored"
setup
session 40 24 "trap '' HUP; ORVANE_DEVICE='$ORVANE_DEVICE' exec '$WORK/bin/orvanecmgr'"
wait_for "Create" || fail "the program did not start"
pid=$(tmux -S "$SOCKET" display -p '#{pane_pid}')
tmux -S "$SOCKET" kill-server
for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
    fail "the program is still running 3 s after its terminal went away"
    kill -9 "$pid"
fi
[ -e "$ORVANE_DEVICE/connections.db" ] && "$TOOL" connections | grep -q . && fail "something was created"

exit $FAILED
