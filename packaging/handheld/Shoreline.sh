#!/bin/bash
# Shoreline.sh: starts the demo on a Linux handheld (put it beside the folder shoreline/, in the firmware's
# ports or apps folder). Picks shoreline/shoreline.aarch64 or shoreline/shoreline.armhf for the machine it
# runs on, with the sdl12-compat libSDL-1.2.so.0 beside it (over the firmware's SDL2), and the firmware's
# key-mapper, when it has one, turning the back and start buttons into Escape (shoreline/shoreline.gptk).
# Exits with the demo's status: 0 when it ended or was left.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dir=$here/shoreline
case "$(uname -m)" in
  aarch64 | arm64) arch=aarch64 ;;
  armv7* | armv8l | armhf) arch=armhf ;;
  *)
    echo "Shoreline.sh: no build for this machine ($(uname -m)); there are aarch64 and armhf" >&2
    exit 1
    ;;
esac
program=$dir/shoreline.$arch
[ -x "$program" ] || { echo "Shoreline.sh: $program is missing" >&2; exit 1; }

export LD_LIBRARY_PATH="$dir/libs.$arch${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export SDL12COMPAT_SCALE_METHOD=nearest

# The firmware's key-mapper, when it has one: $GPTOKEYB (set by some firmwares' launch environment) or
# gptokeyb on the PATH. Without one the demo runs all the same (Escape on a keyboard still leaves).
mapper=${GPTOKEYB:-$(command -v gptokeyb || true)}
mapper_pid=""
if [ -n "$mapper" ] && command -v "${mapper%% *}" >/dev/null; then
  $mapper "shoreline.$arch" -c "$dir/shoreline.gptk" &
  mapper_pid=$!
fi

status=0
"$program" || status=$?
if [ -n "$mapper_pid" ]; then
  kill "$mapper_pid" 2>/dev/null || true
  wait "$mapper_pid" 2>/dev/null || true
fi
exit "$status"
