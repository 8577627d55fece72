#!/usr/bin/env bash
# End-to-end: the real programs in a real X server, driven with real input.
#   e2e.sh BIN_DIR SHEET.bmp SCREEN_CHECK
# Starts Xvfb on a free display (and stops it whatever happens), copies the program folder to a
# temporary one per case and checks what a person would see.
set -uo pipefail

BIN=$1
SHEET=$2
CHECK=$3
. "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

# --- no settings file: title, a left click starts stage 1, Esc back, Esc closes ---------------
start_x 1024x768
P=$(new_folder)
if start_game "$P"; then
  [ "$WIDTH" = 640 ] && [ "$HEIGHT" = 480 ] && pass "client area 640x480" || fail "client area ${WIDTH}x$HEIGHT"
  screen_is title && pass "title screen" || fail "title screen"
  screen_is nofps && pass "no frame-rate readout" || fail "frame-rate readout without ShowFPS"
  click 320 300 1
  screen_is play && pass "left click starts stage 1" || fail "play screen after a left click"
  key Escape
  screen_is title && pass "Esc returns to the title" || fail "title after Esc"
  xdotool key --window "$WID" Escape
  wait_exit 2
  [ "$RC" = 0 ] && pass "Esc on the title closes with status 0 (${EXIT_MS} ms)" || fail "exit after Esc: $RC"
fi

# --- RClick=1: only the right button starts the stage ------------------------------------------
P=$(new_folder)
printf '[Setting]\r\nRClick=1\r\n' >"$P/Zorbilo.ini"
if start_game "$P"; then
  click 320 300 1
  screen_is title && pass "RClick: a left click does nothing" || fail "RClick: left click changed the screen"
  click 320 300 3
  screen_is play && pass "RClick: a right click starts the stage" || fail "RClick: right click"
  key Escape
  key Escape
  wait_exit 2
  [ "$RC" = 0 ] || fail "RClick: exit $RC"
fi

# --- ShowFPS=1: dark text in the readout's rectangle --------------------------------------------
P=$(new_folder)
printf '[Setting]\nShowFPS=1\n' >"$P/Zorbilo.ini"
if start_game "$P"; then
  screen_is fps && pass "ShowFPS: the readout is drawn" || fail "ShowFPS: no readout"
  key Escape
  wait_exit 2
  [ "$RC" = 0 ] || fail "ShowFPS: exit $RC"
fi

# --- SIGTERM during play ends through the form's shutdown ---------------------------------------
P=$(new_folder)
printf '[Score]\r\nTotal=-5\r\n' >"$P/ハイスコア.txt"
if start_game "$P"; then
  click 320 300 1
  kill -TERM "$APID"
  wait_exit 2
  [ "$RC" = 0 ] && pass "SIGTERM: status 0" || fail "SIGTERM: exit $RC"
  # bestScore was 0 before that game: 0 beats the hand-edited -5 and is written.
  grep -q '^Total=0' "$P/ハイスコア.txt" && pass "SIGTERM: shutdown wrote the high score" ||
    fail "SIGTERM: high-score file: $(cat "$P/ハイスコア.txt")"
fi

# --- full screen on a 1280x1024 screen: scaled 2x, centred --------------------------------------
start_x 1280x1024
P=$(new_folder)
printf '[Setting]\nFullScreen=1\n' >"$P/Zorbilo.ini"
if start_game "$P"; then
  [ "$WIDTH" = 1280 ] && [ "$HEIGHT" = 1024 ] && pass "full screen covers the screen" ||
    fail "full screen window ${WIDTH}x$HEIGHT at $X,$Y"
  screen_is title 0 32 2 && pass "full screen: title scaled 2x and centred" || fail "full screen title"
  xdotool mousemove 640 600 click 1
  sleep 0.4
  screen_is play 0 32 2 && pass "full screen: a click starts the stage" || fail "full screen play"
  xdotool key Escape
  sleep 0.3
  xdotool key Escape
  wait_exit 2
  [ "$RC" = 0 ] && pass "full screen: clean exit" || fail "full screen: exit $RC"
  size=$(xdpyinfo 2>/dev/null | awk '/dimensions:/{print $2}')
  [ -z "$size" ] || [ "$size" = 1280x1024 ] || fail "screen size changed to $size"
fi

# --- a desktop at 200 %: the window enlarged 2x, pixels sharp, the game in its own units --------
start_x 1600x1200
P=$(new_folder)
export GDK_SCALE=2
if start_game "$P"; then
  [ "$WIDTH" = 1280 ] && [ "$HEIGHT" = 960 ] && pass "GDK_SCALE=2: window 1280x960" ||
    fail "GDK_SCALE=2: window ${WIDTH}x$HEIGHT"
  screen_is title "$X" "$Y" 2 && pass "GDK_SCALE=2: title enlarged 2x, sharp" || fail "GDK_SCALE=2: title"
  # The game's (320, 300) is the window's (640, 600).
  xdotool mousemove "$((X + 640))" "$((Y + 600))" click 1
  sleep 0.4
  screen_is play "$X" "$Y" 2 && pass "GDK_SCALE=2: a click starts the stage" || fail "GDK_SCALE=2: play"
  key Escape
  key Escape
  wait_exit 2
  [ "$RC" = 0 ] && pass "GDK_SCALE=2: clean exit" || fail "GDK_SCALE=2: exit $RC"
fi
unset GDK_SCALE
# The same from the X resources a desktop sets when scaled (Xft.dpi), read by the game itself.
# -noreset: the root window's properties outlive the client that set them.
start_x 1600x1200 -noreset
P=$(new_folder)
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	192
" 2>/dev/null
if start_game "$P"; then
  [ "$WIDTH" = 1280 ] && [ "$HEIGHT" = 960 ] && pass "Xft.dpi 192: window 1280x960" ||
    fail "Xft.dpi 192: window ${WIDTH}x$HEIGHT"
  screen_is title "$X" "$Y" 2 && pass "Xft.dpi 192: title enlarged 2x" || fail "Xft.dpi 192: title"
  key Escape
  wait_exit 2
fi

# --- the settings tool: a click on フルスクリーン and OK writes FullScreen=1 ----------------------
start_x 1024x768
if [ -x "$BIN/設定" ]; then
  P=$(new_folder)
  "$P/設定" >"$P/tool.txt" 2>&1 &
  APID=$!
  WID=$(timeout 10 xdotool search --sync --onlyvisible --name 'Zorbilo 設定' 2>/dev/null | head -n 1)
  if [ -n "$WID" ]; then
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    sleep 0.5
    click 125 36 1   # フルスクリーン: frame at (6, 6), option at (100, 20) in it
    click 180 131 1  # OK at (140, 120), 80 x 22
    wait_exit 2
    [ "$RC" = 0 ] && pass "設定: OK ends with status 0" || fail "設定: exit $RC"
    grep -q '^FullScreen=1' "$P/Zorbilo.ini" 2>/dev/null && pass "設定: FullScreen=1 written" ||
      fail "設定: settings file: $(cat "$P/Zorbilo.ini" 2>/dev/null)"
  else
    fail "the settings tool's window did not appear"
  fi
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
