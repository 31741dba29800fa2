#!/usr/bin/env bash
# CI stage: the real demo built with ThreadSanitizer, run headless on SDL's dummy drivers for SECONDS
# (default 30), then stopped with SIGINT. Passes only if the demo exits with status 0 and ThreadSanitizer
# reported nothing. The demo's whole output stays in build-tsan/tsan-demo.log.
#   tools/scripts/tsan-demo.sh [SECONDS]      build folder: build-tsan/
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-30}
dir=build-tsan
bash tools/scripts/install-deps.sh demo
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSHORELINE_TSAN=ON -DSHORELINE_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target shoreline >/dev/null

log=$dir/tsan-demo.log
# SDL turns SIGINT into a quit request, but only if SIGINT is not ignored, as it is for a background job
# of a script: hence env --default-signal.
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy TSAN_OPTIONS="second_deadlock_stack=1" \
  env --default-signal=INT "$dir/src/main/shoreline" >"$log" 2>&1 &
pid=$!
sleep "$seconds"
if ! kill -INT "$pid" 2>/dev/null; then
  echo "tsan-demo: the demo ended before the SIGINT" >&2
fi
# A demo that ignores the request would play on to the song's end: give it 20 s.
for _ in $(seq 200); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "tsan-demo: the demo did not stop within 20 s of SIGINT" >&2
  kill -KILL "$pid"
fi
status=0
wait "$pid" || status=$?
reports=$(grep -c '^WARNING: ThreadSanitizer' "$log" || true)
grep '^SUMMARY: ThreadSanitizer' "$log" | sort | uniq -c | sort -rn | head -n 20 || true
tail -n 5 "$log"
echo "tsan-demo: ran ${seconds} s, exit status ${status}, ${reports} ThreadSanitizer reports"
[ "$status" -eq 0 ] && [ "$reports" -eq 0 ]
