#!/usr/bin/env bash
# The dialog end to end: notarix.exe -ui on a virtual X display, driven like a user with the
# X server's mouse and keyboard (xdotool) through its buttons, the common file and folder
# dialogs, the system menu and the close question. dialog_probe reads the window from outside
# (control places, status line, rows); colours are checked in screenshots, which are kept in
# OUT_DIR. Every wait is bounded.
# Usage: dialog-e2e.sh WINE NOTARIX_EXE PROBE_EXE FIXTURE_DIR OUT_DIR
set -euo pipefail
wine=$1
exe=$2
probe=$3
data=$4
out=$5

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$out/work
rm -rf "$work" "$out"/*.png
mkdir -p "$work/single" "$work/multi"

# A wine prefix of this test's own, kept between runs (making one takes a while).
export WINEPREFIX=$out/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=$(dirname "$(command -v "$wine")")/wineserver
command -v "$wineserver" >/dev/null || wineserver=wineserver

xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    # Only this test's prefix: whatever it still runs there.
    "$wineserver" -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    [ -n "${DISPLAY:-}" ] && import -window root "$out/failure.png" 2>/dev/null || true
    exit 1
}

# A free display of its own.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -1 "$work/display")

# A fresh server for this prefix that lasts through the gaps between wine commands.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
"$wineserver" -p60 </dev/null >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 120 "$wine" wineboot -i </dev/null >/dev/null 2>&1 || fail "no wine prefix"
fi

winpath() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

cp "$data/key.asc" "$work/key.asc"
cp "$data/signed.bin" "$work/single/a.bin"
cp "$data/signed.bin.sig" "$work/single/a.bin.sig"
cp "$data/signed.bin" "$work/multi/a.bin"
cp "$data/signed.bin.sig" "$work/multi/a.bin.sig"
cp "$data/tampered.bin" "$work/multi/b.bin"
cp "$data/signed.bin.sig" "$work/multi/b.bin.sig"
echo "no signature" >"$work/multi/c.bin"
log=$work/run.log

# The folder dialog opens on the desktop: in this prefix the desktop is the folder to verify.
desktop=$(find "$WINEPREFIX/drive_c/users" -mindepth 2 -maxdepth 2 -name Desktop \
    ! -path '*/Public/*' | head -1)
[ -n "$desktop" ] || fail "no desktop folder in the prefix"
rm -rf "$desktop"
ln -s "$work/multi" "$desktop"

timeout 60 "$wine" reg add 'HKLM\SOFTWARE\Notarix' /v Key /t REG_SZ \
    /d "$(winpath "$work/key.asc")" /f </dev/null >/dev/null 2>&1 || fail "reg add"

probe() {
    timeout 60 "$wine" "$probe" "$@" | tr -d '\r'
}
# The id of the visible window with this exact title, once there is one.
wait_window() {
    timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -1 || fail "no window '$1'"
}
wait_gone() {
    for _ in $(seq 300); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "window '$1' stays"
}
# Keys to a window: without a window manager the keyboard follows the focus we set.
keys_to() {
    local window=$1
    shift
    timeout 10 xdotool windowfocus --sync "$window" || fail "cannot focus $window"
    xdotool key --delay 100 "$@"
}
type_to() {
    timeout 10 xdotool windowfocus --sync "$1" || fail "cannot focus $1"
    xdotool type --delay 10 "$2"
    xdotool key Return
}
click_control() {
    local left top width height
    read -r left top width height < <(probe place "$1") || fail "no control $1"
    xdotool mousemove $((left + width / 2)) $((top + height / 2)) click 1
}
shoot() {
    sleep 0.5
    import -window root "$out/$1.png"
}
# "r,g,b" of a pixel in a screenshot.
pixel() {
    convert "$out/$1.png" -format \
        "%[fx:int(255*p{$2,$3}.r+.5)],%[fx:int(255*p{$2,$3}.g+.5)],%[fx:int(255*p{$2,$3}.b+.5)]" info:
}
# Pixels of exactly one colour in a region of a screenshot: name, colour, width, height, x, y.
count_colour() {
    convert "$out/$1.png" -crop "$3x$4+$5+$6" +repage -fill black +opaque "rgb($2)" \
        -fill white -opaque "rgb($2)" -format '%[fx:int(mean*w*h+.5)]' info:
}
# The run has ended with this many rows: the status line alone still shows the last run's end.
completed() {
    probe wait-status "Running status: Operations completed." 60 "$1" ||
        fail "run did not complete with $1 rows"
}

green=0,255,0
red=240,55,23
yellow=255,255,0
fingerprint=$(sed 's/.\{8\}/& /g' "$data/fingerprint.txt" | head -c 45)
pass="[PASS]: Good signature, public key fingerprint: $fingerprint"

# Checks the row of a signed file: its result and its colour; a red row has yellow text.
check_row() {
    local shot=$1 name=$2 result=$3 colour=$4
    local line top bottom mid list_left list_top list_width list_height
    line=$(grep -F "|$name|" "$out/$shot.rows") || fail "$shot: no row for $name"
    top=${line%% *}
    bottom=${line#* }
    bottom=${bottom%%|*}
    [ "$(cut -d'|' -f3 <<<"$line")" = "$result" ] || fail "$shot: $name shows '$line'"
    read -r list_left list_top list_width list_height < <(probe place 1003)
    mid=$(((top + bottom) / 2))
    # Inside the first column, right of the short name.
    local got
    got=$(pixel "$shot" $((list_left + 150)) "$mid")
    [ "$got" = "$colour" ] || fail "$shot: $name is $got, expected $colour"
    if [ "$colour" = "$red" ]; then
        local text
        text=$(count_colour "$shot" "$yellow" 160 $((bottom - top - 2)) $((list_left + 170)) $((top + 1)))
        [ "$text" -gt 20 ] || fail "$shot: no yellow text on the red row of $name"
    fi
    echo "$shot: $name: $result, colour $got"
}

# The progress bar is filled to its right end.
check_bar_full() {
    local shot=$1 left top width height
    [ "$(probe progress)" = 100 ] || fail "$shot: progress $(probe progress)"
    read -r left top width height < <(probe place 1006)
    local start_colour end_colour
    start_colour=$(pixel start $((left + width - 6)) $((top + height / 2)))
    end_colour=$(pixel "$shot" $((left + width - 6)) $((top + height / 2)))
    [ "$end_colour" != "$start_colour" ] || fail "$shot: the bar's right end is still empty"
    [ "$end_colour" = "$(pixel "$shot" $((left + 6)) $((top + height / 2)))" ] ||
        fail "$shot: the bar is not filled evenly"
    echo "$shot: progress bar full ($end_colour)"
}

# Start from a console-less shell with -ui: the dialog opens with the stored key.
"$wine" "$exe" -ui >"$work/app.out" 2>&1 &
app_pid=$!
main=$(wait_window Notarix)
probe wait-status "Running status: No Run." 60 || fail "no fresh status line"
shoot start

# Single Verify through the open-file dialog.
click_control 1004
type_to "$(wait_window Open)" "$(winpath "$work/single/a.bin.sig")"
wait_gone Open
completed 1
shoot single
probe rows >"$out/single.rows"
[ "$(wc -l <"$out/single.rows")" -eq 1 ] || fail "single: rows $(cat "$out/single.rows")"
check_row single a.bin "$pass" "$green"
check_bar_full single

# Set log from the system menu (its last two items are "Set log" and "About").
keys_to "$main" alt+space Up Up Return
type_to "$(wait_window 'Save As')" "$(winpath "$log")"
wait_gone 'Save As'

# Multiple Verify through the folder dialog: a good pair, an invalid one, a file without one.
click_control 1005
keys_to "$(wait_window 'Browse for Folder')" Return
wait_gone 'Browse for Folder'
completed 3
shoot multiple
probe rows >"$out/multiple.rows"
[ "$(wc -l <"$out/multiple.rows")" -eq 3 ] || fail "multiple: rows $(cat "$out/multiple.rows")"
check_row multiple a.bin "$pass" "$green"
check_row multiple b.bin "[FAIL]: Invalid signature." "$red"
check_row multiple c.bin "[WARN]:Can't find signature file." "$yellow"
check_bar_full multiple
read -r left top width height < <(probe place 0)
convert "$out/multiple.png" -crop "${width}x${height}+${left}+${top}" +repage "$out/dialog.png"

# The run wrote lines of the log form to the chosen log file.
[ -f "$log" ] || fail "no log file"
lines=$(grep -caE '^\]:\[(ERROR|WARNING|INFO|DEBUG)\]:\[-?[0-9]+\]:\[[^]:]+:[0-9]+\]:\[0x[0-9A-F]+\]:' "$log" || true)
[ "$lines" -gt 0 ] || fail "no log lines: $(head -c 300 "$log")"
echo "log: $lines lines"

# "Delete" from the list's pop-up menu removes exactly the selected rows.
row_middle() {
    local line
    line=$(grep -F "|$1|" "$out/multiple.rows")
    echo $(((${line%% *} + $(cut -d' ' -f2 <<<"${line%%|*}")) / 2))
}
read -r left top width height < <(probe place 1003)
xdotool mousemove $((left + 60)) "$(row_middle a.bin)" click 1
xdotool keydown ctrl mousemove $((left + 60)) "$(row_middle c.bin)" click 1 keyup ctrl
xdotool click 3
sleep 1
keys_to "$main" Down Return
for _ in $(seq 100); do
    probe rows >"$out/deleted.rows"
    [ "$(wc -l <"$out/deleted.rows")" -eq 1 ] && break
    sleep 0.1
done
[ "$(cut -d'|' -f2 "$out/deleted.rows")" = b.bin ] || fail "delete left: $(cat "$out/deleted.rows")"
echo "delete: only b.bin is left"

# The About box.
keys_to "$main" alt+space Up Return
about=$(wait_window 'About Notarix')
version=$(probe text 'About Notarix' 1011)
[ "$version" = "Notarix, Version: 3.1.0.17." ] || fail "about: '$version'"
shoot about
keys_to "$about" Return
wait_gone 'About Notarix'
echo "about: $version"

# The close question: No keeps the window, Yes ends the program.
keys_to "$main" alt+F4
closing=$(wait_window Closing)
shoot closing
keys_to "$closing" n
wait_gone Closing
kill -0 "$app_pid" 2>/dev/null || fail "the program ended after No"
keys_to "$main" alt+F4
keys_to "$(wait_window Closing)" y
code=0
for _ in $(seq 600); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end after Yes"
wait "$app_pid" || code=$?
app_pid=
[ "$code" -eq 0 ] || fail "exit code $code"
echo "closed: exit code 0; screenshots in $out"
