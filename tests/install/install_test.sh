#!/usr/bin/env bash
# Installs into a temporary prefix, checks what a desktop needs, and starts the installed game
# through its launcher in a real X server.
#   install_test.sh BUILD_DIR SHEET.bmp SCREEN_CHECK
set -uo pipefail
BUILD=$1
SHEET=$2
CHECK=$3
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/xsession.sh"

PREFIX=$WORK/prefix
cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
for f in lib/zorbilo/Zorbilo lib/zorbilo/設定 lib/zorbilo/START.wav lib/zorbilo/SWAT.wav \
         lib/zorbilo/MISS.wav lib/zorbilo/CLEAR.wav lib/zorbilo/TIMEUP.wav lib/zorbilo/BGM.mid \
         lib/zorbilo/FINAL.mid bin/zorbilo bin/zorbilo-settings \
         share/applications/zorbilo.desktop share/applications/zorbilo-settings.desktop \
         share/metainfo/io.github.zorbilo.Zorbilo.metainfo.xml \
         share/icons/hicolor/32x32/apps/zorbilo.png share/icons/hicolor/16x16/apps/zorbilo.png \
         share/icons/hicolor/32x32/apps/zorbilo-settings.png \
         share/icons/hicolor/16x16/apps/zorbilo-settings.png; do
  [ -e "$PREFIX/$f" ] && pass "installed $f" || fail "missing $f"
done
desktop-file-validate "$PREFIX"/share/applications/*.desktop && pass "desktop entries valid" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$PREFIX/share/metainfo/io.github.zorbilo.Zorbilo.metainfo.xml" >/dev/null &&
  pass "metainfo valid" || fail "appstreamcli validate"
grep -q '^Comment=Zorbilo ゲーム$' "$PREFIX/share/applications/zorbilo.desktop" || fail "game comment"

# The launcher makes the user's program folder (repairing a stale link) and starts from there.
export XDG_DATA_HOME=$WORK/data
mkdir -p "$XDG_DATA_HOME/zorbilo"
ln -s /nonexistent/Zorbilo "$XDG_DATA_HOME/zorbilo/Zorbilo"
start_x 1024x768
if start_game "$WORK" "$PREFIX/bin/zorbilo"; then
  screen_is title && pass "installed game shows the title screen" || fail "title screen"
  key Escape
  wait_exit 2
  [ "$RC" = 0 ] && pass "Esc closes it with status 0" || fail "exit $RC"
fi
[ "$(readlink "$XDG_DATA_HOME/zorbilo/Zorbilo")" = "$(readlink -f "$PREFIX/lib/zorbilo/Zorbilo")" ] &&
  pass "per-user folder links to the installed game" || fail "per-user link: $(ls -l "$XDG_DATA_HOME/zorbilo")"
[ -L "$XDG_DATA_HOME/zorbilo/BGM.mid" ] || fail "media not linked"

# The Debian package: its fields, its files, and dependencies that name real packages.
if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null; then
  if cpack -G DEB -B "$WORK/deb" --config "$BUILD/CPackConfig.cmake" >"$WORK/cpack.log" 2>&1; then
    DEB=$(ls "$WORK"/deb/zorbilo_*_*.deb 2>/dev/null | head -n 1)
    [ "$(dpkg-deb -f "$DEB" Package)" = zorbilo ] && pass "package zorbilo built" || fail "package name"
    files=$(dpkg-deb -c "$DEB" | awk '{print $6}')
    for f in ./usr/bin/zorbilo ./usr/bin/zorbilo-settings ./usr/lib/zorbilo/Zorbilo \
             ./usr/lib/zorbilo/設定 ./usr/lib/zorbilo/BGM.mid ./usr/share/applications/zorbilo.desktop \
             ./usr/share/doc/zorbilo/copyright; do
      grep -qxF "$f" <<<"$files" || fail "package lacks $f"
    done
    for dep in $(dpkg-deb -f "$DEB" Depends | tr ',' '\n' | awk '{print $1}'); do
      dpkg-query -W "$dep" >/dev/null 2>&1 || fail "package depends on $dep, which is not a known package"
    done
    pass "package contents and dependencies checked"
  else
    fail "cpack -G DEB: $(tail -n 5 "$WORK/cpack.log")"
  fi
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
