#!/usr/bin/env bash
# Installs what the demo needs (compiler, CMake, make, pkg-config, SDL 1.2 headers; sudo when not root),
# builds only the demo in build-demo/ and runs it.
# Without a display or sound card: SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ./demo.sh
set -euo pipefail
cd "$(dirname "$0")"
bash tools/scripts/install-deps.sh demo
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DSHORELINE_TESTS=OFF -DSHORELINE_TOOLS=OFF >/dev/null
cmake --build build-demo -j "$(nproc)" --target shoreline
exec ./build-demo/src/main/shoreline
