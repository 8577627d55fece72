#!/usr/bin/env bash
# Retakes docs/stage4.png and docs/result.png from the real window in a private X server.
#   tools/docshots/docshots.sh [BUILD_FOLDER]      (default: build; needs Xvfb, xdotool, ImageMagick)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${1:-$ROOT/build}
[ -x "$BUILD/tools/docshots/zorbilo_docshots" ] || {
  echo "docshots: build it first: cmake --build $BUILD --target zorbilo_docshots" >&2
  exit 1
}
for n in $(seq 150 199); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  XPID=$!
  trap 'kill $XPID 2>/dev/null' EXIT
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  DISPLAY=":$n" SDL_AUDIODRIVER=dummy "$BUILD/tools/docshots/zorbilo_docshots" "$BUILD/bin" "$ROOT/docs"
  exit $?
done
echo "docshots: no free X display" >&2
exit 1
