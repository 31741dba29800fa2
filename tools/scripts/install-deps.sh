#!/usr/bin/env bash
# Installs the Debian packages that are missing for `demo` (build and run), `test` (everything), or the
# deeper checks: `fuzz` (clang's libFuzzer) and `memcheck` (valgrind); further packages may be named after
# the set: install-deps.sh demo valgrind
set -euo pipefail
demo=(cmake g++ make pkg-config libsdl1.2-dev)
test=("${demo[@]}" libgtest-dev libbenchmark-dev libxmp-dev lib3ds-dev libpng-dev xvfb xauth xdotool ffmpeg)
case "${1:-test}" in
  demo) want=("${demo[@]}") ;;
  test) want=("${test[@]}") ;;
  fuzz) want=("${test[@]}" clang-14 libclang-rt-14-dev) ;;
  memcheck) want=("${test[@]}" valgrind) ;;
  *) echo "usage: install-deps.sh demo|test|fuzz|memcheck [PACKAGE...]" >&2; exit 2 ;;
esac
want+=("${@:2}")
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
