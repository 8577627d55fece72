#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 10) on its corpus.
#   tests/fuzz/run.sh [SECONDS] [BUILD_DIR]   (SECONDS also from ZORBILO_FUZZ_SECONDS)
# To search longer, give more seconds, e.g. tests/fuzz/run.sh 3600. New inputs that reach new
# code are added to tests/fuzz/corpus/; crashes are written to the build folder.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SECONDS_EACH=${1:-}
SECONDS_EACH=${SECONDS_EACH:-${ZORBILO_FUZZ_SECONDS:-10}}
BUILD=${2:-$HERE/../../build-fuzz}
command -v clang++ >/dev/null || { echo "error: clang++ is missing (apt-get install clang libclang-rt-dev)" >&2; exit 1; }
cmake -S "$HERE" -B "$BUILD" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
export SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy
export ASAN_OPTIONS=detect_leaks=0  # libraries keep caches for the life of the process
status=0
# In memory where the system has a tmpfs: every profile write flushes its file to the disk,
# which there costs nothing, so the profile target runs five times as many inputs.
SCRATCH=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && SCRATCH=/dev/shm
for target in profile mci media; do
  work=$(mktemp -d -p "$SCRATCH")
  mkdir "$work/corpus" "$work/tmp"
  cp "$HERE/corpus/$target"/* "$work/corpus"/ 2>/dev/null || true
  # The profile target's inputs are whole files: let them grow from the first run on.
  extra=(-max_len=2048)
  [ "$target" = profile ] && extra=(-max_len=8192 -len_control=0)
  echo "== fuzzing $target for ${SECONDS_EACH}s"
  # TMPDIR inside the work folder: whatever the target leaves there goes with it.
  if (cd "$BUILD" && TMPDIR="$work/tmp" ./"${target}_fuzz" -max_total_time="$SECONDS_EACH" \
        "${extra[@]}" -timeout=10 -print_final_stats=0 "$work/corpus" 2>"$BUILD/$target.log"); then
    echo "ok: $target: $(tail -n 1 "$BUILD/$target.log")"
  else
    echo "FAIL: $target found a problem; see $BUILD/$target.log and the crash-* file in $BUILD"
    tail -n 40 "$BUILD/$target.log"
    status=1
  fi
  rm -rf "$work"
done
exit $status
