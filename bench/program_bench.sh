#!/usr/bin/env bash
# Runs program_bench in a private Xvfb, from a copy of the program folder.
#   program_bench.sh BIN_DIR PROGRAM_BENCH
set -uo pipefail
BIN=$1
SHEET= CHECK=
. "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/xsession.sh"
start_x 1024x768
P=$(new_folder)
# A still screen (the title) against a minimal SDL program presenting a fixed picture 33 times
# a second; the X server's share is shown beside each, read from its own counters.
xcpu() { awk '{ print $14 + $15 }' "/proc/$XPID/stat"; }
ticks=$(getconf CLK_TCK)
# The package's own General MIDI font, which the limits below were set for: a larger one (FluidR3
# is 141 MB of samples) costs its size in memory and more CPU per voice.
[ -r /usr/share/sounds/sf2/TimGM6mb.sf2 ] && export SDL_SOUNDFONTS=/usr/share/sounds/sf2/TimGM6mb.sf2
x0=$(xcpu)
base=$(SDL_AUDIODRIVER=dummy "$2" baseline 10) || { echo "FAIL: baseline program"; exit 1; }
x1=$(xcpu)
echo "minimal SDL program, fixed picture 33 times a second: CPU $base % (X server $(awk -v a="$x0" -v b="$x1" -v t="$ticks" 'BEGIN { printf "%.2f", 100 * (b - a) / t / 10 }') %)"
floor=$(SDL_AUDIODRIVER=dummy "$2" floor 10) || { echo "FAIL: floor program"; exit 1; }
echo "the game's timers and sound device alone, doing nothing: CPU $floor %"
x1=$(xcpu)
status=0
for screen in title ending; do
  P=$(new_folder)
  ZORBILO_BASELINE_CPU=$base ZORBILO_FLOOR_CPU=$floor SDL_AUDIODRIVER=dummy "$2" $screen 10 "$P" || status=1
  x2=$(xcpu)
  echo "X server meanwhile: $(awk -v a="$x1" -v b="$x2" -v t="$ticks" 'BEGIN { printf "%.2f", 100 * (b - a) / t / 10.5 }') %"
  x1=$x2
done
P=$(new_folder)
# The dummy audio device consumes sound in real time, so the mixer and synthesiser do their
# full work even on a machine without a sound card.
SDL_AUDIODRIVER=dummy "$2" "$(date +%s%N)" "$P" && exit $status
