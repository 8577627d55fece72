# Shared by scripts/play and scripts/test: install what is missing, then configure and build.
# Sourced, not run. Expects ROOT (the repository) to be set.

die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# packages_of GROUP...: the packages listed under [GROUP] in scripts/deps, one a line.
packages_of() {
  awk -v groups=" $* " '
    /^[[:space:]]*(#|$)/ { next }
    /^\[.*\]$/ { name = substr($0, 2, length($0) - 2); take = index(groups, " " name " ") > 0; next }
    take { print $1 }' "$ROOT/scripts/deps" | sort -u
}

# install_missing_packages GROUP...
install_missing_packages() {
  local wanted missing=() pkg
  wanted=$(packages_of "$@")
  for pkg in $wanted; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  command -v apt-get >/dev/null 2>&1 ||
    die "these packages are missing and there is no apt-get to install them: ${missing[*]}
       Install them with your system's package manager, then run this again."
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      die "these packages are missing: ${missing[*]}
       You are not root and sudo is not available. As root, run:
         apt-get update && apt-get install -y ${missing[*]}"
    fi
  fi
  echo "Installing missing packages: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
    die "apt-get update failed; check the network or the package sources, then run this again."
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
    die "could not install: ${missing[*]}
       Install them by hand (apt-get install ${missing[*]}), then run this again."
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
  local dir=$1; shift
  local jobs
  jobs=$(nproc 2>/dev/null || echo 2)
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null ||
      die "cmake could not configure the build in $dir (see the messages above)."
  fi
  cmake --build "$dir" -j "$jobs" || die "the build failed (see the compiler's messages above)."
}
