#!/usr/bin/env bash
# Installs what is missing, builds the demo and runs it.
# Without a display or sound card: SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ./demo.sh
set -euo pipefail
cd "$(dirname "$0")"
bash tools/scripts/install-deps.sh demo
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target shoreline
exec ./build/src/main/shoreline
