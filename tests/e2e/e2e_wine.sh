#!/usr/bin/env bash
# End-to-end on Windows terms: the real Zorbilo.exe under Wine in a real X server, driven with
# real input, checked against the sprite sheet as on Linux.
#   e2e_wine.sh BIN_DIR SHEET.bmp SCREEN_CHECK.cpp
# Needs WINEPREFIX (a prefix made by scripts/windows). The screen checker is compiled here for
# the build machine: under Wine every check would cost a program start.
set -uo pipefail

BIN=$1
SHEET=$2
CHECK_SOURCE=$3
. "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] || { echo "FAIL: no Wine prefix (run scripts/windows)"; exit 1; }
WINESERVER=$(dirname "$WINE")/wineserver
[ -x "$WINESERVER" ] || WINESERVER=wineserver
CHECK="$WORK/screen_check"
g++ -O2 -std=c++17 "$CHECK_SOURCE" -o "$CHECK" || { echo "FAIL: cannot build the screen checker"; exit 1; }

# The game through Wine. Its windows are not handed to a window manager (see scripts/windows),
# so xdotool never sees them as viewable: the search goes by name alone. The client area is
# found from the frame the way the game itself finds it (left, right, bottom edges alike).
start_game() {  # start_game FOLDER
  "$WINE" "$1/Zorbilo.exe" >"$1/stdout.txt" 2>&1 &
  APID=$!
  WID=$(timeout 20 xdotool search --sync --name '^(Zorbilo|超・Zorbilo)$' 2>/dev/null | head -n 1)
  [ -n "$WID" ] || { fail "the game window did not appear"; return 1; }
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$WID")"  # X, Y, WIDTH, HEIGHT
  local edge=$(((WIDTH - 640) / 2))
  X=$((X + edge))
  Y=$((Y + HEIGHT - 480 - edge))
}

# Wine learns the screen's size when its server starts: one X server for every case, and a
# fresh Wine server on it (this test runs alone).
"$WINESERVER" -k 2>/dev/null
"$WINESERVER" -w 2>/dev/null
start_x 1280x1024

# --- no settings file: title, a left click starts stage 1, Esc back, Esc closes ---------------
P=$(new_folder)
printf '[Score]\r\nTotal=-5\r\n' >"$P/ハイスコア.txt"
if start_game "$P"; then
  screen_is title && pass "title screen" || fail "title screen at $X,$Y"
  screen_is nofps && pass "no frame-rate readout" || fail "frame-rate readout without ShowFPS"
  click 320 300 1
  screen_is play && pass "left click starts stage 1 with its head-up display" || fail "play screen after a left click"
  key Escape
  screen_is title && pass "Esc returns to the title" || fail "title after Esc"
  xdotool key --window "$WID" Escape
  wait_exit 2
  [ "$RC" = 0 ] && pass "Esc on the title closes with status 0 (${EXIT_MS} ms)" || fail "exit after Esc: $RC (${EXIT_MS} ms)"
  # That game's best (0) beats the hand-edited -5: written under exactly this name, nothing else.
  grep -q '^Total=0' "$P/ハイスコア.txt" && pass "the record lands in ハイスコア.txt" ||
    fail "high-score file: $(cat "$P/ハイスコア.txt")"
  # The record's name as the folder holds it, byte for byte: UTF-8, whatever the locale.
  record=$(cd "$P" && ls -A | grep -a -v -x stdout.txt | grep -a 'txt$' | od -An -tx1 | tr -d ' \n')
  [ "$record" = e3838fe382a4e382b9e382b3e382a22e7478740a ] && pass "the record's name is UTF-8" ||
    fail "the record's name in bytes: $record"
  extra=$(cd "$P" && ls -A | grep -v -x -e 'ハイスコア.txt' -e stdout.txt -e Zorbilo.exe -e 設定.exe -e '[A-Z]*.wav' -e '[A-Z]*.mid')
  [ -z "$extra" ] && pass "no other file written" || fail "unexpected files: $extra"
fi

# --- full screen on a 1280x1024 screen: scaled 2x, centred --------------------------------------
P=$(new_folder)
printf '[Setting]\r\nFullScreen=1\r\n' >"$P/Zorbilo.ini"
if start_game "$P"; then
  eval "$(xdotool getwindowgeometry --shell "$WID")"
  [ "$WIDTH" = 1280 ] && [ "$HEIGHT" = 1024 ] && pass "full screen covers the screen" ||
    fail "full screen window ${WIDTH}x$HEIGHT at $X,$Y"
  screen_is title 0 32 2 && pass "full screen: title scaled 2x and centred" || fail "full screen title"
  xdotool mousemove 640 600 click 1
  sleep 0.5
  screen_is play 0 32 2 && pass "full screen: a click starts the stage" || fail "full screen play"
  xdotool key Escape
  sleep 0.4
  xdotool key Escape
  wait_exit 2
  [ "$RC" = 0 ] && pass "full screen: clean exit" || fail "full screen: exit $RC"
  size=$(xdpyinfo 2>/dev/null | awk '/dimensions:/{print $2}')
  [ -z "$size" ] || [ "$size" = 1280x1024 ] || fail "screen size changed to $size"
fi

# --- a monitor at 200 %: the window twice as large, the game still 640x480 ---------------------
# Wine's system DPI is the prefix's LogPixels; it is set back whatever happens.
set_dpi() {
  "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  "$WINESERVER" -k 2>/dev/null
  "$WINESERVER" -w 2>/dev/null
}
trap 'set_dpi 96; cleanup' EXIT
start_x 1600x1200  # room for the doubled window and its frame
set_dpi 192
P=$(new_folder)
if start_game "$P"; then
  edge=$(((WIDTH - 1280) / 2))
  X=$((X - (WIDTH - 640) / 2 + edge))
  Y=$((Y - (HEIGHT - 480 - (WIDTH - 640) / 2) + HEIGHT - 960 - edge))
  [ "$edge" -ge 0 ] && [ "$edge" -lt 40 ] && pass "200 %: the window holds a 1280x960 client area" ||
    fail "200 %: window ${WIDTH}x$HEIGHT"
  screen_is title "$X" "$Y" 2 && pass "200 %: title scaled 2x" || fail "200 %: title at $X,$Y"
  xdotool mousemove "$((X + 640))" "$((Y + 600))" click 1
  sleep 0.5
  screen_is play "$X" "$Y" 2 && pass "200 %: a click in game pixels starts the stage" || fail "200 %: play"
  xdotool key --window "$WID" Escape
  sleep 0.4
  xdotool key --window "$WID" Escape
  wait_exit 2
  [ "$RC" = 0 ] && pass "200 %: clean exit" || fail "200 %: exit $RC"
fi
set_dpi 96

echo "$failures failed"
[ "$failures" -eq 0 ]
