#!/usr/bin/env bash
# The Windows download, checked as a player meets it, under Wine on a private Xvfb: the zip
# holds exactly what the README lists; the installer installs silently into a fresh prefix,
# its Start-menu shortcuts point at the programs, it is in the list of installed programs,
# the installed game starts; the silent uninstaller removes all that and keeps the player's
# settings and high-score files.
#
#   windows_download_test.sh BINDIR LNK_TARGET.exe [SHEET.bmp SCREEN_CHECK]
#
# BINDIR is the Windows program folder (build-windows/bin). Where its Zorbilo.exe is not built
# yet, a stand-in is packaged (and the game's own checks are skipped, saying so). SCREEN_CHECK,
# the checker of the real-window tests (tests/e2e/screen_check.cpp, built here from its source
# when given as a .cpp), checks the title screen's pixels against the sheet; without it the
# window's size and a drawn picture are checked.
set -uo pipefail

BIN=${1:?usage: windows_download_test.sh BINDIR LNK_TARGET.exe [SHEET.bmp SCREEN_CHECK]}
LNK=${2:?usage: windows_download_test.sh BINDIR LNK_TARGET.exe [SHEET.bmp SCREEN_CHECK]}
SHEET=${3:-}
CHECK=${4:-}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

passed=0
failed=0
pass() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
finish() {
  echo "windows_download: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

WINE=${ZORBILO_WINE:-}
if [ -z "$WINE" ]; then
  for w in wine wine64 /usr/lib/wine/wine64; do
    if command -v "$w" >/dev/null 2>&1; then WINE=$w; break; fi
  done
fi
[ -n "$WINE" ] || { fail "Wine is not installed (apt-get install wine64)"; finish; exit 1; }
SERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
for tool in Xvfb xdotool unzip zip makensis perl; do
  command -v $tool >/dev/null 2>&1 || { fail "$tool is not installed"; finish; exit 1; }
done

WORK=$(mktemp -d)
XPID=
GPID=
cleanup() {
  [ -n "$GPID" ] && kill "$GPID" 2>/dev/null
  WINEPREFIX=$WINEPREFIX "$SERVER" -k 2>/dev/null
  [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
if [[ "$CHECK" == *.cpp ]]; then  # the checker's source: a host program, built once here
  g++ -O2 -std=c++17 "$CHECK" -o "$WORK/screen_check" || { fail "cannot build the screen checker"; finish; exit 1; }
  CHECK=$WORK/screen_check
fi

# The program folder to package.
real_game=yes
if [ -f "$BIN/Zorbilo.exe" ]; then
  PROG=$BIN
else
  real_game=
  echo "note: $BIN/Zorbilo.exe is not built: a stand-in is packaged, the game's checks are skipped"
  [ -f "$BIN/設定.exe" ] || { fail "no 設定.exe in $BIN"; finish; exit 1; }
  PROG=$WORK/standin
  mkdir -p "$PROG"
  cp "$BIN/設定.exe" "$PROG/設定.exe"
  cp "$BIN/設定.exe" "$PROG/Zorbilo.exe"
  cp "$ROOT"/game/media/*.wav "$ROOT"/game/media/*.mid "$PROG/"
fi

OUT=$WORK/out
if "$ROOT/packaging/windows/package.sh" "$PROG" "$OUT" >"$WORK/package.log" 2>&1; then
  pass "package.sh made the downloads"
else
  fail "package.sh: $(cat "$WORK/package.log")"
  finish
  exit 1
fi
VERSION=$(sed -n 's/^project(Zorbilo VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
ZIP=$OUT/zorbilo-$VERSION-win64.zip
SETUP=$OUT/zorbilo-$VERSION-setup.exe

# --- the zip: exactly the README's list, names marked UTF-8, the program folder's own bytes
awk '/^The zip holds exactly this folder:/ { found = 1; next }
     found && /^```/ { if (inside) exit; inside = 1; next }
     inside { print }' "$ROOT/README.md" >"$WORK/listed"
unzip -Z1 "$ZIP" >"$WORK/zipped"
if [ -s "$WORK/listed" ] && diff "$WORK/listed" "$WORK/zipped" >"$WORK/diff"; then
  pass "the zip holds exactly what the README lists"
else
  fail "the zip and the README's list differ: $(cat "$WORK/diff")"
fi
unmarked=0
while read -r name; do
  off=$(zipinfo -v "$ZIP" "$name" | sed -n 's/.*offset of local header from start of archive: *\([0-9]*\).*/\1/p')
  flags=$(od -An -tu2 -j $((off + 6)) -N2 "$ZIP" | tr -d ' ')
  [ $((flags & 2048)) -ne 0 ] || unmarked=$((unmarked + 1))
done <"$WORK/zipped"
[ "$unmarked" -eq 0 ] && pass "every name in the zip is marked UTF-8" || fail "$unmarked names lack the UTF-8 mark"
mkdir "$WORK/unzipped"
(cd "$WORK/unzipped" && unzip -q "$ZIP")
same=yes
for f in Zorbilo.exe 設定.exe START.wav SWAT.wav MISS.wav CLEAR.wav TIMEUP.wav BGM.mid FINAL.mid; do
  cmp -s "$PROG/$f" "$WORK/unzipped/Zorbilo/$f" || { same=; fail "the zip's $f differs from the program folder's"; }
done
[ -n "$same" ] && pass "the zip's programs and media are the program folder's"
head -c 3 "$WORK/unzipped/Zorbilo/README.txt" | od -An -tx1 | grep -q 'ef bb bf' &&
  grep -q $'\r$' "$WORK/unzipped/Zorbilo/README.txt" &&
  pass "the read-me is UTF-8 with CRLF, as Notepad reads it" || fail "the read-me's form"

# --- the installer, silently, into a fresh prefix
grep -aq 'requestedExecutionLevel level="asInvoker"' "$SETUP" &&
  pass "the installer asks for no administrator rights" || fail "the installer's manifest asks for more than the user's rights"
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all
# No Mono or Gecko prompts; no desktop entries for the host from the Start-menu shortcuts.
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
for n in $(seq 162 199); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XPID=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  kill -0 "$XPID" 2>/dev/null && { export DISPLAY=":$n"; break; }
  XPID=
done
[ -n "$XPID" ] || { fail "no free X display"; finish; exit 1; }
"$WINE" wineboot -i >/dev/null 2>&1
"$SERVER" -w

winpath() { "$WINE" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
LOCALAPPDATA_U=$(winpath "$("$WINE" cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')")
APPDATA_W=$("$WINE" cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
INSTDIR_W="$("$WINE" cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')\\Programs\\Zorbilo"
INSTDIR=$LOCALAPPDATA_U/Programs/Zorbilo
MENU_W="$APPDATA_W\\Microsoft\\Windows\\Start Menu\\Programs\\Zorbilo"
MENU=$(winpath "$MENU_W")
KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zorbilo'

"$WINE" "$SETUP" /S
rc=$?
"$SERVER" -w
[ "$rc" -eq 0 ] && pass "the installer ran silently" || fail "the installer ended with $rc"
installed=yes
for f in Zorbilo.exe 設定.exe START.wav SWAT.wav MISS.wav CLEAR.wav TIMEUP.wav BGM.mid FINAL.mid; do
  cmp -s "$PROG/$f" "$INSTDIR/$f" || { installed=; fail "$f is not installed as built"; }
done
[ -f "$INSTDIR/README.txt" ] && [ -f "$INSTDIR/Uninstall.exe" ] || { installed=; fail "README.txt or Uninstall.exe missing"; }
[ -n "$installed" ] && pass "the program folder is installed in %LOCALAPPDATA%\\Programs\\Zorbilo"

# Shortcuts, read the way the shell reads them.
"$WINE" "$LNK" "$MENU_W\\Zorbilo.lnk" "$MENU_W\\Zorbilo 設定.lnk" 2>/dev/null | tr -d '\r' >"$WORK/links"
printf '%s\n' "$INSTDIR_W\\Zorbilo.exe||$INSTDIR_W\\Zorbilo.exe,0" \
  "$INSTDIR_W\\設定.exe||$INSTDIR_W\\設定.exe,0" >"$WORK/want-links"
if diff -i "$WORK/want-links" "$WORK/links" >"$WORK/diff"; then
  pass "the Start-menu shortcuts point at both programs, with their icons"
else
  fail "the shortcuts: $(cat "$WORK/diff")"
fi

# The entry in the list of installed programs.
"$WINE" reg query "$KEY" 2>/dev/null | tr -d '\r' >"$WORK/reg"
entry=yes
for want in "DisplayName    REG_SZ    Zorbilo" "DisplayVersion    REG_SZ    $VERSION" \
            "Publisher    REG_SZ    Zorbilo" "DisplayIcon    REG_SZ    $INSTDIR_W\\Zorbilo.exe,0" \
            "UninstallString    REG_SZ    \"$INSTDIR_W\\Uninstall.exe\"" \
            "QuietUninstallString    REG_SZ    \"$INSTDIR_W\\Uninstall.exe\" /S"; do
  grep -qiF -- "    $want" "$WORK/reg" || { entry=; fail "the uninstall entry lacks: $want"; }
done
[ -n "$entry" ] && pass "the list of installed programs has its entry"

# The installed game starts and shows its title screen.
if [ -n "$real_game" ]; then
  "$WINE" "$INSTDIR_W\\Zorbilo.exe" >/dev/null 2>&1 &
  GPID=$!
  WID=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zorbilo$' 2>/dev/null | head -n 1)
  if [ -z "$WID" ]; then
    fail "the installed game's window did not appear"
  else
    sleep 2
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    import -window root -depth 8 "$WORK/shot.ppm" 2>/dev/null
    if [ -n "$CHECK" ] && [ -n "$SHEET" ]; then
      # The client area lies in the window's lower right, under Wine's frame.
      "$CHECK" "$SHEET" "$WORK/shot.ppm" $((X + WIDTH - 640)) $((Y + HEIGHT - 480)) 1 title &&
        pass "the installed game shows the title screen" || fail "the installed game's title screen"
    else
      colours=$(convert "$WORK/shot.ppm" -crop "${WIDTH}x${HEIGHT}+$X+$Y" -unique-colors -format '%w' info: 2>/dev/null)
      [ "$WIDTH" -ge 640 ] && [ "$HEIGHT" -ge 480 ] && [ "${colours:-0}" -gt 16 ] &&
        pass "the installed game opens its window and draws (no screen checker given: pixels not compared)" ||
        fail "the installed game's window is ${WIDTH}x${HEIGHT} with ${colours:-0} colours"
    fi
    xdotool key --window "$WID" Escape 2>/dev/null
    for _ in $(seq 50); do kill -0 "$GPID" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$GPID" 2>/dev/null && fail "the installed game did not close on Esc"
  fi
  GPID=
  "$SERVER" -w
else
  echo "skipped: the installed Zorbilo.exe starts and shows the title screen (no Zorbilo.exe built)"
fi

# --- the silent uninstaller: removes what it installed, keeps what the player made
printf '[Setting]\r\nFullScreen=1\r\n' >"$INSTDIR/Zorbilo.ini"
printf '[Score]\r\nBest=12340\r\n' >"$INSTDIR/ハイスコア.txt"
cp "$INSTDIR/Zorbilo.ini" "$INSTDIR/ハイスコア.txt" "$WORK/"
# Installing again (an update) replaces the programs and leaves the player's files alone.
"$WINE" "$SETUP" /S
"$SERVER" -w
cmp -s "$WORK/Zorbilo.ini" "$INSTDIR/Zorbilo.ini" && cmp -s "$WORK/ハイスコア.txt" "$INSTDIR/ハイスコア.txt" &&
  cmp -s "$PROG/設定.exe" "$INSTDIR/設定.exe" &&
  pass "installing over an installation keeps the player's files" || fail "installing again changed the player's files"
"$WINE" "$INSTDIR_W\\Uninstall.exe" /S
"$SERVER" -w  # the uninstaller finishes from a copy of itself: wait for every process
left=$(cd "$INSTDIR" 2>/dev/null && ls -A | sort | tr '\n' ' ')
[ "$left" = "Zorbilo.ini ハイスコア.txt " ] && pass "the uninstaller removed the programs and left only the player's files" ||
  fail "the program folder holds after uninstalling: $left"
cmp -s "$WORK/Zorbilo.ini" "$INSTDIR/Zorbilo.ini" && cmp -s "$WORK/ハイスコア.txt" "$INSTDIR/ハイスコア.txt" &&
  pass "Zorbilo.ini and ハイスコア.txt are kept unchanged" || fail "the player's files changed"
[ ! -e "$MENU" ] && pass "the Start-menu folder is gone" || fail "left in the Start menu: $(ls -A "$MENU")"
"$WINE" reg query "$KEY" >/dev/null 2>&1 && fail "the uninstall entry is still there" ||
  pass "the list of installed programs no longer has it"

finish
