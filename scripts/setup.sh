# Shared by scripts/play, scripts/test and scripts/windows: install what is missing, then
# configure and build. Sourced, not run. Expects ROOT (the repository) to be set.
# Every failure ends in one or two lines that say what is wrong and what to do about it.

die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# packages_of GROUP...: the packages listed under [GROUP] in scripts/deps, one a line.
packages_of() {
  awk -v groups=" $* " '
    /^[[:space:]]*(#|$)/ { next }
    /^\[.*\]$/ { name = substr($0, 2, length($0) - 2); take = index(groups, " " name " ") > 0; next }
    take { print $1 }' "$ROOT/scripts/deps" | sort -u
}

# provided_packages: the names that installed packages stand in for, one a line (libsdl2-compat-dev,
# SDL 2's API over SDL 3, provides libsdl2-dev).
provided_packages() {
  dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null | awk -F'|' '
    $1 ~ /^ii/ && $2 != "" { n = split($2, p, /, */); for (i = 1; i <= n; i++) { sub(/[ :].*/, "", p[i]); print p[i] } }'
}

# missing_packages GROUP...: those of the groups' packages that are neither installed nor stood in
# for by an installed one, one a line.
missing_packages() {
  local wanted
  wanted=$(packages_of "$@")
  [ -n "$wanted" ] || return 0
  # One dpkg-query for the lot: it answers for installed packages and complains about the rest.
  # shellcheck disable=SC2086
  comm -23 <(printf '%s\n' $wanted) \
    <({ dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' $wanted 2>/dev/null |
      awk '$1 == "ii" { print $2 }'; provided_packages; } | sort -u)
}

# install_missing_packages GROUP...
install_missing_packages() {
  local missing
  missing=$(missing_packages "$@" | tr '\n' ' ')
  missing=${missing% }
  [ -z "$missing" ] && return 0

  local as_root="apt-get update && apt-get install -y --no-install-recommends $missing"
  command -v apt-get >/dev/null 2>&1 ||
    die "these packages are missing and there is no apt-get to install them: $missing
       Install them with your system's package manager, then run this again."
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 ||
      die "packages are missing, and you are neither root nor have sudo. As root, run:
       $as_root"
    echo "Installing missing packages with sudo: $missing"
    # Ask once, up front: a user whom sudo refuses must hear that, not advice about the network.
    # A command, not sudo -v: -v wants a password unless every rule for the user waives it, so
    # a password-free rule beside the sudo group's would still ask.
    sudo true ||
      die "sudo does not let you install packages (not in the sudoers file?). As root, run:
       $as_root"
    sudo=(sudo)
  else
    echo "Installing missing packages: $missing"
  fi
  local log
  log=$(mktemp) || die "cannot create a temporary file; check that /tmp is writable."
  # apt's own warnings name the source that failed; they are shown only when something does.
  if ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes \
    apt-get update -qq >"$log" 2>&1 ||
    ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes \
      apt-get install -y -qq --no-install-recommends $missing >>"$log" 2>&1; then
    grep -E '^(E|W):' "$log" | tail -n 5 >&2
    if grep -qiE 'Could not resolve|Temporary failure|Failed to fetch|Unable to connect|Network is unreachable' "$log"; then
      rm -f "$log"
      die "cannot reach the package archive; check the network connection and the package sources
       (/etc/apt/sources.list), then run this again."
    fi
    rm -f "$log"
    die "could not install the packages (apt-get's messages are above). As root, run:
       $as_root"
  fi
  rm -f "$log"
}

# display_reachable: whether a program started now can open a window on DISPLAY or
# WAYLAND_DISPLAY. Local displays are checked by their socket; remote ones are trusted.
display_reachable() {
  local runtime=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}
  if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    case $WAYLAND_DISPLAY in
      /*) [ -S "$WAYLAND_DISPLAY" ] && return 0 ;;
      *) [ -S "$runtime/$WAYLAND_DISPLAY" ] && return 0 ;;
    esac
  fi
  [ -n "${DISPLAY:-}" ] || return 1
  case $DISPLAY in
    :[0-9]* | unix:[0-9]*)
      local n=${DISPLAY#*:}
      n=${n%%.*}
      # The abstract socket is seen from a chroot or container too, where /tmp is not shared.
      [ -S "/tmp/.X11-unix/X$n" ] || grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix 2>/dev/null
      ;;
    *) return 0 ;;
  esac
}

# configure DIR [cmake options...]: configures DIR once; later runs leave it to the build, which
# re-runs cmake by itself when a CMakeLists.txt changes.
configure() {
  local dir=$1; shift
  [ -f "$dir/CMakeCache.txt" ] && return 0
  local log=$dir/configure.log
  mkdir -p "$dir" || die "cannot create the build folder $dir; check that it is writable."
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$log" 2>&1 || {
    tail -n 20 "$log" >&2
    rm -f "$dir/CMakeCache.txt"  # so the next run configures again instead of building a half
    die "cmake could not configure the build in $dir (its messages are above and in $log)."
  }
}

# cache_value DIR NAME: a variable's value in DIR's CMake cache (empty when not set).
cache_value() {
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" 2>/dev/null
}

# configure_and_build DIR [cmake options...]: configures (once) and builds everything, with the
# compiler's messages shown as they come.
configure_and_build() {
  local dir=$1; shift
  configure "$dir" "$@"
  cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" ||
    die "the build failed (see the compiler's messages above); fix it, or report it with them."
}
