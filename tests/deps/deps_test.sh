#!/usr/bin/env bash
# Catches drift between what the project runs and what scripts/deps installs, on the machine at
# hand (a developer's machine has far more installed than a fresh one, so a missing entry passes
# everything else there):
#  1. every command that the scripts, tests and build files run is either part of every Debian
#     system (priority required, or essential) or comes from a package in scripts/deps, or from
#     one that a listed package depends on;
#  2. every package in scripts/deps is used: it provides one of those commands, a pkg-config or
#     CMake module the build asks for, or something named in the table USED_BY below.
#   deps_test.sh SOURCE_DIR        (exit 77: no dpkg here, nothing to check)
set -uo pipefail
ROOT=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/../..}" && pwd)
command -v dpkg-query >/dev/null || { echo "skipped: not a Debian system"; exit 77; }

# Run only where present, never required: (command, why).
OPTIONAL="sudo"  # the scripts use it to install packages when not root, and say so when it is missing

# Listed packages that provide no command or module the build names: each with what in the
# project uses it (an extended regular expression found in the sources), so a package outlives
# its use no longer than this table does.
USED_BY=(
  "g++|CMAKE_CXX_STANDARD 20"                    # the compiler cmake picks
  "make|cmake --build"                          # cmake's default generator
  "pkg-config|pkg_check_modules"                # how cmake finds SDL and fontconfig
  "fonts-ipafont-gothic|IPAGothic"              # the game's and the tool's font
  "timgm6mb-soundfont|sf2"                      # the music's General MIDI sound font
  "libfluidsynth3|libfluidsynth\\.so\\.3"        # the synthesiser SDL_mixer loads for the music
  "qt6-qpa-plugins|QT_QPA_PLATFORM"             # Qt's platform plugins (xcb, offscreen)
  "libgmock-dev|GTest::gmock"                   # gmock, found through GTest's CMake module
  "zlib1g-dev|find_package\\(ZLIB"              # the asset test's PNG reader
  "libclang-rt-dev|-fsanitize=[a-z,]*fuzzer"    # libFuzzer's runtime
  "dpkg-dev|CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON"  # dpkg-shlibdeps, run by CPack
  "appstream-compose|appstreamcli compose"     # the compose plugin of appstreamcli
  "googletest|/usr/src/googletest"              # GoogleTest's sources, built for Windows
  "g++-mingw-w64-x86-64|-g\\+\\+-posix"          # the Windows cross-compiler (toolchain file)
  "binutils-mingw-w64-x86-64|-windres"          # its resource compiler and linker
  "wine64|/usr/lib/wine"                        # Wine's 64-bit loader, outside PATH on Debian
  "chromium|/usr/bin/chromium"                  # the browser the web tests drive (from node)
)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# ---- what the project runs: the words in command position of its shell scripts, the COMMAND
# and find_program() of its build files.
mapfile -t scripts < <(cd "$ROOT" && {
  ls scripts/play scripts/test scripts/setup.sh scripts/windows scripts/web .ci/run 2>/dev/null
  find tests tools bench packaging -name '*.sh' -o -name '*.in' -path '*launcher*'
} | sort -u)
mapfile -t cmakes < <(cd "$ROOT" && find . \( -name CMakeLists.txt -o -name '*.cmake' \) \
  -not -path './build*' | sort)

commands=$(
  cd "$ROOT" &&
  awk '
    { sub(/(^|[ \t])#.*$/, "") }                       # comments
    /^[ \t]*[A-Za-z_][A-Za-z0-9_]*\(\)[ \t]*\{/ { f = $1; sub(/\(.*/, "", f); fn[f] = 1 }  # shell functions: not commands
    {
      line = $0
      gsub(/"[^"]*"/, " \"\" ", line)                  # strings: paths and messages
      gsub(/\x27[^\x27]*\x27/, " \"\" ", line)
      gsub(/\$\(|`|\|\||&&|[|;({}!]/, "\n", line)
      n = split(line, seg, "\n")
      for (i = 1; i <= n; i++) {
        m = split(seg[i], w, /[ \t]+/)
        for (j = 1; j <= m; j++) {
          if (w[j] == "" || w[j] ~ /^[A-Za-z_][A-Za-z0-9_]*=/) continue
          if (w[j] ~ /^(if|then|else|elif|while|until|do|exec|env|time|nohup|sudo)$/) continue
          if (w[j] == "timeout") { j++; continue }
          if (w[j] == "command" && w[j + 1] == "-v") { j++; continue }
          break
        }
        if (j <= m && w[j] ~ /^[A-Za-z][A-Za-z0-9+._-]*$/) print w[j]
      }
    }
    END { for (f in fn) print "-" f }
  ' "${scripts[@]}"
  # Commands of custom rules and tests, programs looked for, compilers of a toolchain file.
  grep -hoE '(COMMAND|find_program\([A-Za-z_]+( NAMES)?|CMAKE_[A-Z_]*COMPILER)[[:space:]]+[A-Za-z][A-Za-z0-9+._-]*' \
    "${cmakes[@]}" | awk '{ print $NF }'
)
functions=$(grep '^-' <<<"$commands" | cut -c2- | sort -u)
commands=$(grep -v '^-' <<<"$commands" | sort -u | comm -23 - <(echo "$functions"))

# ---- what scripts/deps lists, and everything that brings in (installed packages only).
listed=$(awk '/^[[:space:]]*(#|$)/ || /^\[/ { next } { print $1 }' "$ROOT/scripts/deps" | sort -u)
closure=$listed
frontier=$listed
while [ -n "$frontier" ]; do
  # shellcheck disable=SC2086
  next=$(dpkg-query -W -f='${Depends},${Pre-Depends}\n' $frontier 2>/dev/null |
    tr ',|' '\n\n' | sed -E 's/\(.*//; s/:any//; s/[[:space:]]//g' | grep . | sort -u |
    comm -23 - <(echo "$closure"))
  closure=$(printf '%s\n%s\n' "$closure" "$next" | grep . | sort -u)
  frontier=$next
done

# Who provides each command: one dpkg-query for all their paths (it reads the whole file database
# on every call), under the name and with the links resolved (the alternatives system's).
declare -A path_of owner_of
paths=()
for c in $commands; do
  p=$(type -P "$c") || continue   # not a program here: a word, or one of ours
  case $p in "$ROOT"/*) continue ;; esac
  path_of[$c]=$p
  paths+=("$p" "$(readlink -f "$p")")
done
while IFS= read -r line; do
  owner_of[${line#*: }]=${line%%: *}
done < <(dpkg-query -S "${paths[@]}" 2>/dev/null | grep -v '^diversion' | sed -E 's/:[a-z0-9]+: /: /')
package_of() {
  local p=${owner_of[$1]:-${owner_of[$(readlink -f "$1")]:-}}
  echo "${p%%,*}"
}
declare -A basic
while read -r pkg essential priority; do
  [ "$essential" = yes ] || [ "$priority" = required ] && basic[$pkg]=1
done < <(dpkg-query -W -f='${Package} ${Essential:-no} ${Priority}\n' 2>/dev/null | awk '{ print $1, ($2 == "" ? "no" : $2), $NF }')

checked=0
providers=
for c in "${!path_of[@]}"; do
  pkg=$(package_of "${path_of[$c]}")
  [ -n "$pkg" ] || continue            # not from a package (built here, or /usr/local)
  providers+="$pkg"$'\n'
  checked=$((checked + 1))
  [ "$c" = "$OPTIONAL" ] && continue
  [ -n "${basic[$pkg]:-}" ] && continue
  grep -qxF "$pkg" <<<"$closure" ||
    fail "the project runs $c (${path_of[$c]}), from the package $pkg, which scripts/deps does not bring in"
done
echo "ok: $checked commands checked against the package lists"
providers=$(sort -u <<<"$providers")

# ---- every listed package is used.
modules=$(cd "$ROOT" && grep -hoE 'pkg_check_modules\([A-Z0-9_]+ [A-Z ]*IMPORTED_TARGET [A-Za-z0-9_.-]+|find_package\([A-Za-z0-9_]+' "${cmakes[@]}" |
  awk '{ print $NF }' | sed 's/find_package(//' | sort -u)
sources=$(cd "$ROOT" && find . -type f -not -path './build*' -not -path './.git/*' -not -path './tests/deps/*' -not -name '*.png' \
  -not -name '*.wav' -not -name '*.mid' -not -name '*.bmp' -not -name '*.ico')
# The Windows and web groups are installed by scripts/windows and scripts/web, not scripts/test:
# where they are not there, their packages cannot be checked, which is no fault.
own_script_only=$(awk '/^[[:space:]]*(#|$)/ { next } /^\[/ { g = $0; next } { print g, $1 }' "$ROOT/scripts/deps" |
  awk '$1 != "[windows]" && $1 != "[web]" { other[$2] = 1 } { seen[$2] = 1 }
    END { for (p in seen) if (!(p in other)) print p }' | sort)
# A listed name may be stood in for by an installed package that provides it (SDL 2's API over
# SDL 3 provides libsdl2-dev): that package is then judged in its place.
declare -A stand_in
while IFS='|' read -r real provides; do
  for name in ${provides//,/ }; do
    case $name in [a-z0-9]*) stand_in[${name%%:*}]=$real ;; esac
  done
done < <(dpkg-query -W -f='${db:Status-Abbrev}|${Package}|${Provides}\n' 2>/dev/null |
  awk -F'|' '$1 ~ /^ii/ && $3 != "" { gsub(/\([^)]*\)/, "", $3); print $2 "|" $3 }')
for pkg in $listed; do
  if ! dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null | grep -q '^ii' &&
    [ -n "${stand_in[$pkg]:-}" ]; then
    echo "note: $pkg is stood in for by ${stand_in[$pkg]}"
    pkg=${stand_in[$pkg]}
  fi
  if ! dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null | grep -q '^ii'; then
    if grep -qxF "$pkg" <<<"$own_script_only"; then
      echo "skipped: $pkg (for the Windows or the web build) is not installed here"
    else
      fail "$pkg is listed but not installed here: run scripts/test to install it"
    fi
    continue
  fi
  files=$(dpkg-query -L "$pkg")
  # A command the project runs, from this package or one it brings in directly (the basic
  # system's packages excepted: everything depends on those).
  deps=$(dpkg-query -W -f='${Depends}\n' "$pkg" | tr ',|' '\n\n' | sed -E 's/\(.*//; s/:any//; s/[[:space:]]//g' |
    while read -r d; do [ -z "$d" ] || [ -n "${basic[$d]:-}" ] || echo "$d"; done)
  grep -qxF -f <(printf '%s\n%s\n' "$pkg" "$deps") <<<"$providers" && continue
  # A module the build asks for.
  for m in $modules; do
    grep -qE "/pkgconfig/$m\.pc$|/cmake/$m/|/cmake/[^/]*/Find$m\.cmake$" <<<"$files" && continue 2
  done
  # Something else that names it.
  for entry in "${USED_BY[@]}"; do
    [ "${entry%%|*}" = "$pkg" ] || continue
    (cd "$ROOT" && grep -qE -- "${entry#*|}" $sources 2>/dev/null) && continue 2
    fail "$pkg is listed for '${entry#*|}', which the sources no longer contain"
    continue 2
  done
  fail "$pkg is listed in scripts/deps, but nothing the project runs or builds uses it"
done

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
[ "$failures" -eq 0 ]
