#!/usr/bin/env bash
# On a machine whose SDL 1.2 is sdl12-compat's (libsdl1.2-compat-dev, which conflicts with libsdl1.2-dev):
# the demo command builds and plays headless, SIGINT ends it with status 0, and the package stays.
set -euo pipefail
cd "$(dirname "$0")/.."
apt-get update -qq || { sleep 30 && apt-get update -qq; } || echo "apt-get update failed, going on" >&2
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends libsdl1.2-compat-dev >/dev/null
bash .ci/play-demo.sh stop 20
echo "SDL 1.2 as pkg-config finds it: $(pkg-config --modversion sdl)"
dpkg -s libsdl1.2-compat-dev | grep -x 'Status: install ok installed'
