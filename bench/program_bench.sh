#!/usr/bin/env bash
# Runs program_bench in a private Xvfb, from a copy of the program folder.
#   program_bench.sh BIN_DIR PROGRAM_BENCH
set -uo pipefail
BIN=$1
SHEET= CHECK=
. "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/xsession.sh"
start_x 1024x768
P=$(new_folder)
# The dummy audio device consumes sound in real time, so the mixer and synthesiser do their
# full work even on a machine without a sound card.
SDL_AUDIODRIVER=dummy "$2" "$(date +%s%N)" "$P"
