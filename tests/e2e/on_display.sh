#!/usr/bin/env bash
# Runs a command in a private X server (Xvfb), stopped whatever happens.
#   on_display.sh COMMAND [ARGUMENT...]
set -uo pipefail
SHEET= CHECK=
. "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
start_x 1024x768 || { echo "FAIL: no X server could be started"; exit 1; }
"$@"
