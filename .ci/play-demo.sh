#!/usr/bin/env bash
# Plays the demo with the README's headless command, SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ./demo.sh,
# and checks how it ends. Times count from the moment demo.sh has built the demo and handed over to it.
#   play-demo.sh end          it plays to its end (song position 2000, about 148 s) and exits 0
#   play-demo.sh stop SECS    SIGINT after SECS seconds of play ends it with status 0
set -uo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}
case "$mode" in
  end) limit=400 ;;
  stop) secs=${2:?usage: play-demo.sh stop SECONDS}; limit=$((secs + 20)) ;;
  *) echo "usage: play-demo.sh end | stop SECONDS" >&2; exit 2 ;;
esac

# Job control, so that the demo does not start with SIGINT ignored as a script's background job would.
set -m
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ./demo.sh &
pid=$!
exe=$PWD/build-demo/src/main/shoreline
until [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$exe" ]; do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    echo "play-demo: demo.sh ended with status $? before the demo started"
    exit 1
  fi
  sleep 0.2
done
start=$SECONDS
echo "play-demo: the demo is playing"
[ "$mode" = stop ] && { sleep "$secs"; kill -INT "$pid"; echo "play-demo: SIGINT after $secs s"; }
while kill -0 "$pid" 2>/dev/null && [ $((SECONDS - start)) -lt "$limit" ]; do sleep 1; done
if kill -0 "$pid" 2>/dev/null; then
  kill -KILL "$pid"
  wait "$pid"
  echo "play-demo: still running after $limit s; killed"
  exit 1
fi
wait "$pid"
rc=$?
played=$((SECONDS - start))
echo "play-demo: the demo exited with status $rc after $played s"
[ "$rc" -eq 0 ] || exit 1
# Only the song's end (or an exit request, which nothing sends here) ends a run with status 0.
if [ "$mode" = end ] && [ "$played" -lt 140 ]; then
  echo "play-demo: too short to have reached the song's end (about 148 s)"
  exit 1
fi
exit 0
