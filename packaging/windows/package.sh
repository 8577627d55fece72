#!/bin/sh
# Makes the Windows download from a built program folder:
#   OUTDIR/zorbilo-VERSION-win64.zip    the folder Zorbilo\ to unzip anywhere writable
#   OUTDIR/zorbilo-VERSION-setup.exe    the per-user installer (NSIS)
#
#   package.sh BINDIR OUTDIR [VERSION]
#
# BINDIR is the program folder of the Windows build (build-windows/bin). VERSION defaults to
# the project's. SOURCE_DATE_EPOCH, when set, fixes the files' times in the zip.
set -eu

die() { printf 'package.sh: %s\n' "$*" >&2; exit 1; }

[ $# -ge 2 ] || die "usage: package.sh BINDIR OUTDIR [VERSION]"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=$1
out=$2
version=${3:-$(sed -n 's/^project(Zorbilo VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")}
[ -n "$version" ] || die "cannot tell the version; give it as the third argument"

# What the program folder holds, in the order the read-me lists it.
files="Zorbilo.exe 設定.exe START.wav SWAT.wav MISS.wav CLEAR.wav TIMEUP.wav BGM.mid FINAL.mid"
for f in $files; do
  [ -f "$bin/$f" ] || die "$bin/$f is missing: build the Windows programs first (scripts/windows)"
done
command -v zip >/dev/null 2>&1 || die "zip is missing: apt-get install zip"
command -v makensis >/dev/null 2>&1 || die "makensis is missing: apt-get install nsis"
mkdir -p "$out" || die "cannot make $out"
out=$(cd "$out" && pwd)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# The read-me in Windows' own form: a byte-order mark (so every Notepad reads it as UTF-8) and
# CRLF line ends.
readme="$tmp/README.txt"
{ printf '\357\273\277'; sed 's/$/\r/' "$here/README.txt"; } >"$readme"

# The zip: one folder, Zorbilo\, that is the program folder. Names are stored as UTF-8 and
# marked so, which Windows' own unzipping needs to show 設定.exe right.
mkdir "$tmp/Zorbilo"
for f in $files; do cp "$bin/$f" "$tmp/Zorbilo/$f"; done
cp "$readme" "$tmp/Zorbilo/README.txt"
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  find "$tmp/Zorbilo" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
fi
zipfile="$out/zorbilo-$version-win64.zip"
rm -f "$zipfile"
(
  cd "$tmp"
  list="Zorbilo/"
  for f in $files README.txt; do list="$list Zorbilo/$f"; done
  # shellcheck disable=SC2086 # the names have no blanks
  LC_ALL=C.UTF-8 zip -q -X -9 "$zipfile" $list
) || die "zip failed"
perl "$here/zip-utf8-flag.pl" "$zipfile" || die "could not mark the names in $zipfile as UTF-8"

# The installer, from the same files; 設定.exe travels under an ASCII name and is installed
# under its own.
stage="$tmp/stage"
mkdir "$stage"
for f in $files; do cp "$bin/$f" "$stage/$f"; done
mv "$stage/設定.exe" "$stage/settings.exe"
cp "$readme" "$stage/README.txt"
size_kb=$(du -sk "$stage" | cut -f1)
setup="$out/zorbilo-$version-setup.exe"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" \
  -DICON="$root/game/assets/swat1.ico" -DSIZE_KB="$size_kb" "$here/installer.nsi" >"$tmp/nsis.log" 2>&1 ||
  { cat "$tmp/nsis.log" >&2; die "makensis failed (its messages are above)"; }

echo "made $zipfile"
echo "made $setup"
