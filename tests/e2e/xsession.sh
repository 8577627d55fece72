# Shared by the real-window tests: a private X server, the game started in it, screenshots checked
# against the sprite sheet, exits awaited. Sourced; expects SHEET and CHECK to be set.

WORK=$(mktemp -d)
# The cases choose the desktop's scale themselves.
unset GDK_SCALE
# xdotool matches window names in the locale's encoding: the settings tool's name is Japanese,
# and a login without a locale (a fresh minimal system) would see only question marks.
export LC_ALL=C.UTF-8
XPID=
APID=
failures=0

cleanup() {
  [ -n "$APID" ] && kill -9 "$APID" 2>/dev/null
  [ -n "$XPID" ] && kill "$XPID" 2>/dev/null && wait "$XPID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

start_x() {  # start_x WxH [XVFB-OPTION...]
  [ -n "$XPID" ] && kill "$XPID" 2>/dev/null && wait "$XPID" 2>/dev/null
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "${1}x24" -nolisten tcp "${@:2}" >/dev/null 2>&1 &
    XPID=$!
    # The socket appears before the server answers; a program that connects in between finds
    # no display and, rightly, ends.
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1 && break
      sleep 0.1
    done
    if kill -0 "$XPID" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
  done
  echo "no free X display"; exit 1
}

new_folder() {  # a fresh copy of the program folder
  local d
  d=$(mktemp -d "$WORK/prog.XXXX")
  cp -r "$BIN"/. "$d"/
  echo "$d"
}

start_game() {  # start_game FOLDER [PROGRAM]: PROGRAM defaults to FOLDER/Zorbilo
  "${2:-$1/Zorbilo}" >"$1/stdout.txt" 2>&1 &
  APID=$!
  WID=$(timeout 10 xdotool search --sync --onlyvisible --name '^(Zorbilo|超・Zorbilo)$' 2>/dev/null | head -n 1)
  [ -n "$WID" ] || { fail "the game window did not appear"; return 1; }
  eval "$(xdotool getwindowgeometry --shell "$WID")"  # X, Y, WIDTH, HEIGHT
  sleep 0.5
}

shot() { import -window root -depth 8 "$WORK/shot.ppm" 2>/dev/null; }

screen_is() {  # screen_is WHAT [X Y SCALE]
  shot
  "$CHECK" "$SHEET" "$WORK/shot.ppm" "${2:-$X}" "${3:-$Y}" "${4:-1}" "$1"
}

wait_exit() {  # wait_exit SECONDS -> sets RC, and EXIT_MS to the milliseconds it took
  local t0 t
  t0=$(date +%s%N)
  t=0
  while kill -0 "$APID" 2>/dev/null && [ "$t" -lt $(($1 * 100)) ]; do
    sleep 0.01
    t=$((t + 1))
  done
  EXIT_MS=$((($(date +%s%N) - t0) / 1000000))
  if kill -0 "$APID" 2>/dev/null; then
    RC=timeout
  else
    wait "$APID"
    RC=$?
  fi
  APID=
}

click() { xdotool mousemove "$((X + $1))" "$((Y + $2))" click "$3"; sleep 0.4; }
key() { xdotool key --window "$WID" "$1"; sleep 0.4; }

