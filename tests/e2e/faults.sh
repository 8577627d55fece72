#!/usr/bin/env bash
# End-to-end under a hostile environment: signals, the X server going away, no display at all,
# two copies of the game in one folder, a crafted sound file.
#   faults.sh BIN_DIR SHEET.bmp SCREEN_CHECK
# A high-score file holding Total=-5 tells whether shutdown ran: a run with no game played
# has a best score of 0, which beats -5 and is written only by the form's shutdown.
set -uo pipefail

BIN=$1
SHEET=$2
CHECK=$3
. "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

export SDL_AUDIODRIVER=dummy
saved() { grep -q '^Total=0' "$1/ハイスコア.txt"; }
minus_five() { printf '[Score]\r\nTotal=-5\r\n' >"$1/ハイスコア.txt"; }

start_x 1024x768

# --- each stop signal closes the form, so the record is written, and the status is 0 ----------
for sig in HUP INT TERM; do
  P=$(new_folder)
  minus_five "$P"
  if start_game "$P"; then
    kill -"$sig" "$APID"
    wait_exit 2
    [ "$RC" = 0 ] && saved "$P" && pass "SIG$sig: record written, status 0" ||
      fail "SIG$sig: exit $RC, high-score file: $(cat "$P/ハイスコア.txt")"
  fi
done

# --- started to outlive its terminal (SIGHUP ignored, as nohup does): a hangup changes nothing -
P=$(new_folder)
printf '#!/bin/sh\ntrap "" HUP\nexec "%s/Zorbilo"\n' "$P" >"$P/nohup.sh"
chmod +x "$P/nohup.sh"
if start_game "$P" "$P/nohup.sh"; then
  kill -HUP "$APID"
  sleep 0.5
  kill -0 "$APID" 2>/dev/null && pass "SIGHUP ignored by the starter: the game plays on" ||
    fail "SIGHUP ignored by the starter: the game ended"
  xdotool key --window "$WID" Escape
  wait_exit 2
  [ "$RC" = 0 ] || fail "SIGHUP ignored: exit $RC after Esc"
fi

# --- two copies closing together: both shut down, one whole file, no temporary file left -------
P=$(new_folder)
minus_five "$P"
"$P/Zorbilo" >"$P/first.txt" 2>&1 &
FIRST=$!
if start_game "$P"; then
  sleep 0.5
  kill -TERM "$FIRST" "$APID"
  wait_exit 2
  wait "$FIRST"
  FIRST_RC=$?
  [ "$RC" = 0 ] && [ "$FIRST_RC" = 0 ] && pass "two copies: both closed with status 0" ||
    fail "two copies: exits $FIRST_RC and $RC"
  [ "$(cat "$P/ハイスコア.txt")" = "$(printf '[Score]\r\nTotal=0\r\n')" ] &&
    pass "two copies: one whole high-score file" || fail "two copies: $(cat "$P/ハイスコア.txt")"
  ls -A "$P" | grep -q '\.tmp$' && fail "two copies: a temporary file was left" ||
    pass "two copies: no temporary file left"
else
  kill -9 "$FIRST" 2>/dev/null
fi

# --- a sound effect whose header says 1 sample a second: the game starts and plays on ----------
P=$(new_folder)
# 8-bit mono PCM, 12174 samples, 1 sample a second: RIFF size 12210, data size 12174 (0x2F8E).
{
  printf 'RIFF\xb2\x2f\x00\x00WAVEfmt \x10\x00\x00\x00'
  printf '\x01\x00\x01\x00\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x08\x00'
  printf 'data\x8e\x2f\x00\x00'
  head -c 12174 /dev/zero | tr '\0' '\200'
} >"$P/SWAT.wav"
if start_game "$P"; then
  screen_is title && pass "1 Hz SWAT.wav: the title screen" || fail "1 Hz SWAT.wav: title screen"
  click 320 300 1
  click 100 100 1  # a swing: the refused sound stays silent
  screen_is play && pass "1 Hz SWAT.wav: stage 1 in play" || fail "1 Hz SWAT.wav: play screen"
  key Escape
  xdotool key --window "$WID" Escape
  wait_exit 2
  [ "$RC" = 0 ] && pass "1 Hz SWAT.wav: clean exit" || fail "1 Hz SWAT.wav: exit $RC"
fi

# --- the X server killed under a running game: the record is written before the game ends ------
for mode in window full; do
  start_x 800x600
  P=$(new_folder)
  minus_five "$P"
  [ "$mode" = full ] && printf '[Setting]\nFullScreen=1\n' >"$P/Zorbilo.ini"
  if start_game "$P"; then
    kill -KILL "$XPID"
    wait "$XPID" 2>/dev/null
    XPID=
    wait_exit 3
    [ "$RC" = 1 ] && saved "$P" && pass "X server killed ($mode): record written, status 1 (${EXIT_MS} ms)" ||
      fail "X server killed ($mode): exit $RC, high-score file: $(cat "$P/ハイスコア.txt")"
    grep -q 'display has gone away' "$P/stdout.txt" && pass "X server killed ($mode): says why" ||
      fail "X server killed ($mode): printed $(cat "$P/stdout.txt")"
  fi
done

# --- no display: a message and status 1 at once, not an invisible window -----------------------
for display in unset :9999; do
  P=$(new_folder)
  minus_five "$P"
  for prog in Zorbilo 設定; do
    [ -x "$P/$prog" ] || continue
    if [ "$display" = unset ]; then
      env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u SDL_VIDEODRIVER \
        timeout 10 "$P/$prog" >"$P/out.txt" 2>&1
    else
      env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u SDL_VIDEODRIVER DISPLAY=$display \
        timeout 10 "$P/$prog" >"$P/out.txt" 2>&1
    fi
    rc=$?
    [ "$rc" = 1 ] && grep -q 'cannot open a window' "$P/out.txt" &&
      pass "$prog, DISPLAY $display: 'cannot open a window', status 1" ||
      fail "$prog, DISPLAY $display: status $rc, printed $(cat "$P/out.txt")"
  done
  grep -q '^Total=-5' "$P/ハイスコア.txt" || fail "DISPLAY $display: the high-score file changed"
done

echo "$failures failed"
[ "$failures" -eq 0 ]
