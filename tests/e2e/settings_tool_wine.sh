#!/bin/sh
# 設定.exe for real under Wine on a private Xvfb, driven by xdotool as a player would: the
# dialog opens with its title, Return confirms and writes the file, the title bar's close
# button closes it and writes nothing.
#
#   settings_tool_wine.sh PATH/設定.exe
#
# ZORBILO_WINE names the Wine loader (default: wine, wine64 or /usr/lib/wine/wine64);
# ZORBILO_WINEPREFIX an existing prefix to use (default: a fresh one, about 20 s to make).
set -eu

exe=${1:?usage: settings_tool_wine.sh PATH/設定.exe}
[ -f "$exe" ] || { echo "FAIL: no program at $exe" >&2; exit 1; }

wine=${ZORBILO_WINE:-}
if [ -z "$wine" ]; then
  for w in wine wine64 /usr/lib/wine/wine64; do
    if command -v "$w" >/dev/null 2>&1; then wine=$w; break; fi
  done
fi
[ -n "$wine" ] || { echo "FAIL: Wine is not installed (apt-get install wine64)" >&2; exit 1; }
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null 2>&1 || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done

tmp=$(mktemp -d)
xvfb_pid=
tool_pid=
cleanup() {
  [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null || true
  # Our own prefix's Wine ends with us; a shared one is left running for its owner.
  if [ -z "${ZORBILO_WINEPREFIX:-}" ]; then
    server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
    "$server" -k 2>/dev/null || true
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
export WINEPREFIX=${ZORBILO_WINEPREFIX:-$tmp/prefix}

# A display of our own, on a number nobody uses.
n=160
while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:$n
i=0
until xdotool getdisplaygeometry >/dev/null 2>&1; do
  i=$((i + 1)); [ $i -lt 50 ] || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done

if [ ! -d "$WINEPREFIX" ]; then "$wine" wineboot -i >/dev/null 2>&1 || true; fi
# No window manager runs on Xvfb: Wine draws the dialog's title bar itself, close button
# included. Set for this program only, so other programs in a shared prefix are untouched.
"$wine" reg add 'HKCU\Software\Wine\AppDefaults\設定.exe\X11 Driver' /v Managed /d N /f \
  >/dev/null 2>&1

# The program folder: a name in Japanese, as a player's may be.
folder="$tmp/ゲーム"
mkdir -p "$folder"
cp "$exe" "$folder/設定.exe"
ini="$folder/Zorbilo.ini"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# open: starts the tool and waits for its window; sets $win.
open() {
  "$wine" "$folder/設定.exe" >/dev/null 2>&1 &
  tool_pid=$!
  win=$(xdotool search --sync --limit 1 --onlyvisible --name 'Zorbilo' 2>/dev/null | head -n 1)
  [ -n "$win" ] || { fail "the dialog did not open"; return 1; }
  title=$(xdotool getwindowname "$win")
  [ "$title" = "Zorbilo 設定" ] || fail "the window title is '$title', not 'Zorbilo 設定'"
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  sleep 0.5
}

# ended: waits up to 10 s for the tool to end.
ended() {
  i=0
  while kill -0 "$tool_pid" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt 100 ] || { fail "$1: the dialog did not close"; return 1; }
    sleep 0.1
  done
  tool_pid=
}

crlf() { printf "$1" | sed 's/$/\r/'; }

# Return confirms what the file held (a 7 and a 2, which OK writes as 1), NoLayer untouched.
crlf '[Setting]\nRClick=7\nShowFPS=2\nNoLayer=1\n' >"$ini"
if open; then
  xdotool key --clearmodifiers Return
  ended "Return" || true
  crlf '[Setting]\nRClick=1\nShowFPS=1\nNoLayer=1\n' >"$tmp/want"
  cmp -s "$ini" "$tmp/want" || fail "Return did not write the file as expected: $(od -c "$ini" | head -5)"
fi

# Changes made, then the title bar's close button: nothing is written.
cp "$tmp/want" "$ini"
if open; then
  xdotool key --clearmodifiers Right  # full screen
  eval "$(xdotool getwindowgeometry --shell "$win")"
  # The close box is the rightmost button of the title bar Wine draws.
  xdotool mousemove $((X + WIDTH - 12)) $((Y + 11)) click 1
  ended "the close button" || true
  cmp -s "$ini" "$tmp/want" || fail "closing the window changed the file: $(od -c "$ini" | head -5)"
fi

if [ $failures -ne 0 ]; then
  echo "settings_tool_wine: $failures failed" >&2
  exit 1
fi
echo "settings_tool_wine: 1 passed, 0 failed (title, Return writes, close button writes nothing)"
