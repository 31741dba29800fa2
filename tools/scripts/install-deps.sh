#!/usr/bin/env bash
# Installs the Debian packages that are missing for a set, with sudo when not run as root:
#   demo:     compiler, CMake, make, pkg-config and SDL 1.2's headers
#   test:     those, the test and benchmark frameworks, the reference players (libxmp, lib3ds), libpng,
#             a virtual X display with xdotool, and ffmpeg
#   fuzz:     test, and clang-14 with its libFuzzer runtime
#   memcheck: test, and valgrind
#   package:  demo, libpng (capture) and the packaging tools: dpkg-dev, file (CPack's dependency scan),
#             lintian, netpbm (icons), patchelf and python3 (libraries for older C libraries), zip, shellcheck
# Further packages may be named after the set: install-deps.sh demo valgrind
# SDL 1.2 counts as present when pkg-config finds it, whichever package provides it: a machine that has
# sdl12-compat's libsdl1.2-compat-dev keeps it (asking for libsdl1.2-dev would replace it).
set -euo pipefail
base=(cmake g++ make pkg-config)
test=(libgtest-dev libbenchmark-dev libxmp-dev lib3ds-dev libpng-dev xvfb xauth xdotool ffmpeg)
case "${1:-test}" in
  demo) extra=() ;;
  test) extra=("${test[@]}") ;;
  fuzz) extra=("${test[@]}" clang-14 libclang-rt-14-dev) ;;
  memcheck) extra=("${test[@]}" valgrind) ;;
  package) extra=(libpng-dev dpkg-dev file lintian netpbm patchelf python3 zip shellcheck) ;;
  *) echo "usage: install-deps.sh demo|test|fuzz|memcheck|package [PACKAGE...]" >&2; exit 2 ;;
esac
extra+=("${@:2}")

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
updated=false
install() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${missing[*]}"
  if ! $updated; then
    # A mirror caught mid-sync fails an index: try again, then go on with the lists that did come.
    local try
    for try in 1 2 3; do
      $sudo apt-get update -qq && break
      if [ "$try" -lt 3 ]; then sleep $((try * 20)); else echo "install-deps: apt-get update failed, going on" >&2; fi
    done
    updated=true
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

install "${base[@]}" "${extra[@]}"
pkg-config --exists sdl || install libsdl1.2-dev
