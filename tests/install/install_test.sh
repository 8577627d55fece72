#!/usr/bin/env bash
# Installs into a temporary prefix, checks what a desktop needs, and starts the installed game
# through its launcher in a real X server.
#   install_test.sh BUILD_DIR SHEET.bmp SCREEN_CHECK
set -uo pipefail
BUILD=$1
SHEET=$2
CHECK=$3
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/xsession.sh"

# Into a root of its own, as a package would lay it out (appstreamcli compose reads such a root).
PREFIX=$WORK/root/usr
DESTDIR=$WORK/root cmake --install "$BUILD" --prefix /usr >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
# Debian's layout for games: commands in games/, the program folder's executables in
# lib/games/zorbilo, the sounds and music in share/games/zorbilo.
installed=(games/zorbilo games/zorbilo-settings lib/games/zorbilo/Zorbilo lib/games/zorbilo/zorbilo-settings
  share/applications/zorbilo.desktop share/applications/zorbilo-settings.desktop
  share/metainfo/io.github.zorbilo.Zorbilo.metainfo.xml share/man/man6/zorbilo.6.gz
  share/man/man6/zorbilo-settings.6.gz share/doc/zorbilo/copyright share/doc/zorbilo/changelog.gz)
for f in START.wav SWAT.wav MISS.wav CLEAR.wav TIMEUP.wav BGM.mid FINAL.mid; do
  installed+=("share/games/zorbilo/$f")
done
for size in 16 24 32 48 64 128 256; do
  installed+=("share/icons/hicolor/${size}x$size/apps/zorbilo.png"
    "share/icons/hicolor/${size}x$size/apps/zorbilo-settings.png")
done
for f in "${installed[@]}"; do
  [ -e "$PREFIX/$f" ] || fail "missing $f"
done
pass "${#installed[@]} files installed where Debian's games go"
[ -z "$(ls "$PREFIX/bin" 2>/dev/null)" ] || fail "programs in bin/: $(ls "$PREFIX/bin")"
desktop-file-validate "$PREFIX"/share/applications/*.desktop && pass "desktop entries valid" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$PREFIX/share/metainfo/io.github.zorbilo.Zorbilo.metainfo.xml" >/dev/null &&
  pass "metainfo valid" || fail "appstreamcli validate"
for entry in zorbilo:Name zorbilo:Comment zorbilo-settings:Name zorbilo-settings:Comment; do
  grep -q "^${entry#*:}\[ja\]=." "$PREFIX/share/applications/${entry%%:*}.desktop" ||
    fail "${entry%%:*}.desktop has no ${entry#*:}[ja]"
done
grep -q '^Comment\[ja\]=Zorbilo ゲーム$' "$PREFIX/share/applications/zorbilo.desktop" || fail "game comment"
grep -q '^Categories=Settings;' "$PREFIX/share/applications/zorbilo-settings.desktop" ||
  fail "the settings tool is not in the Settings category"
# A software centre builds its catalogue with appstreamcli compose: the game must survive it,
# which takes an icon of at least 64x64 that it can find.
if appstreamcli compose --help >/dev/null 2>&1; then
  if appstreamcli compose --no-color --result-root="$WORK/compose" --origin=zorbilo "$WORK/root" \
    >"$WORK/compose.log" 2>&1 && find "$WORK/compose" -name zorbilo.xml.gz -exec zcat {} + 2>/dev/null |
    grep -q '<id>io.github.zorbilo.Zorbilo</id>'; then
    pass "appstreamcli compose keeps the game"
  else
    fail "appstreamcli compose dropped the game: $(grep -E 'icon|error|E:' "$WORK/compose.log" | head -n 5)"
  fi
else
  fail "appstreamcli compose is missing (package appstream-compose)"
fi

# The launcher makes the user's program folder (repairing a stale link) and starts from there.
export XDG_DATA_HOME=$WORK/data
mkdir -p "$XDG_DATA_HOME/zorbilo"
ln -s /nonexistent/Zorbilo "$XDG_DATA_HOME/zorbilo/Zorbilo"
start_x 1024x768
if start_game "$WORK" "$PREFIX/games/zorbilo"; then
  screen_is title && pass "installed game shows the title screen" || fail "title screen"
  # The window's class names the desktop entry (StartupWMClass), so a desktop matches the two.
  class=$(xprop -id "$WID" WM_CLASS 2>/dev/null)
  grep -q "\"$(sed -n 's/^StartupWMClass=//p' "$PREFIX/share/applications/zorbilo.desktop")\"\$" <<<"$class" &&
    pass "window class matches StartupWMClass" || fail "window class: $class"
  key Escape
  wait_exit 2
  [ "$RC" = 0 ] && pass "Esc closes it with status 0" || fail "exit $RC"
fi
[ "$(readlink "$XDG_DATA_HOME/zorbilo/Zorbilo")" = "$(readlink -f "$PREFIX/lib/games/zorbilo/Zorbilo")" ] &&
  pass "per-user folder links to the installed game" || fail "per-user link: $(ls -l "$XDG_DATA_HOME/zorbilo")"
[ "$(readlink "$XDG_DATA_HOME/zorbilo/BGM.mid")" = "$(readlink -f "$PREFIX/share/games/zorbilo/BGM.mid")" ] ||
  fail "media not linked: $(ls -l "$XDG_DATA_HOME/zorbilo")"

# The Debian package: its fields, its files, and dependencies that name real packages.
if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null; then
  if cpack -G DEB -B "$WORK/deb" --config "$BUILD/CPackConfig.cmake" >"$WORK/cpack.log" 2>&1; then
    DEB=$(ls "$WORK"/deb/zorbilo_*_*.deb 2>/dev/null | head -n 1)
    [ "$(dpkg-deb -f "$DEB" Package)" = zorbilo ] && pass "package zorbilo built" || fail "package name"
    files=$(dpkg-deb -c "$DEB" | awk '{print $6}')
    for f in ./usr/games/zorbilo ./usr/games/zorbilo-settings ./usr/lib/games/zorbilo/Zorbilo \
             ./usr/lib/games/zorbilo/zorbilo-settings ./usr/share/games/zorbilo/BGM.mid \
             ./usr/share/applications/zorbilo.desktop ./usr/share/doc/zorbilo/copyright \
             ./usr/share/doc/zorbilo/changelog.gz ./usr/share/man/man6/zorbilo.6.gz \
             ./usr/share/icons/hicolor/256x256/apps/zorbilo.png; do
      grep -qxF "$f" <<<"$files" || fail "package lacks $f"
    done
    depends=$(dpkg-deb -f "$DEB" Depends)
    for dep in $(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}'); do
      dpkg-query -W "$dep" >/dev/null 2>&1 || apt-cache show "$dep" >/dev/null 2>&1 ||
        fail "package depends on $dep, which is not a known package"
    done
    # Libraries from the programs themselves, and what they open at run time.
    for dep in libc6 libsdl2-2.0-0 libqt6widgets6 fonts-ipafont-gothic timgm6mb-soundfont; do
      grep -qE "(^|[ ,|])$dep( |,|$)" <<<"$depends" || fail "package does not depend on $dep: $depends"
    done
    pass "package contents and dependencies checked"
    # Debian's own checker: no error and no warning.
    if command -v lintian >/dev/null; then
      report=$(lintian --fail-on none "$DEB" 2>&1 | grep -E '^(E|W):')
      [ -z "$report" ] && pass "lintian: no errors, no warnings" || fail "lintian:
$report"
    else
      fail "lintian is missing"
    fi
  else
    fail "cpack -G DEB: $(tail -n 5 "$WORK/cpack.log")"
  fi
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
