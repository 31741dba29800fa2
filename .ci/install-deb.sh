#!/usr/bin/env bash
# The amd64 package on a fresh Debian 12, installed as a user would (fresh-debian.sh clones a repository,
# so the package travels in one):
#   install-deb.sh prepare DIR   on the CI machine: a git repository in DIR with dist/'s amd64 package and
#                                this script
#   install-deb.sh play          in the fresh root: apt installs the package (it brings classic SDL 1.2),
#                                plays the installed demo headless for 20 s, SIGINT must end it with
#                                status 0; purges it and what it brought, and checks that none of its
#                                files is left; then installs it over sdl12-compat's shim, which apt must
#                                accept as SDL 1.2, and plays it once more
set -euo pipefail
say() { echo "install-deb: $*"; }
fail() { echo "install-deb: FAIL: $*"; exit 1; }

# Plays /usr/games/shoreline headless for SECS seconds, then SIGINT; status 0 wanted.
play() {
  local secs=$1 pid rc=0
  set -m # a background job of a script would start with SIGINT ignored
  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy /usr/games/shoreline &
  pid=$!
  set +m
  sleep "$secs"
  kill -0 "$pid" 2>/dev/null || { wait "$pid" || rc=$?; fail "the demo ended by itself (status $rc) before $secs s"; }
  kill -INT "$pid"
  for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null && sleep 0.5; done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    fail "the demo did not end within 10 s of SIGINT"
  fi
  wait "$pid" || rc=$?
  [ "$rc" -eq 0 ] || fail "SIGINT ended the demo with status $rc"
  say "played $secs s, SIGINT ended it with status 0"
}

install_deb() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ./shoreline_*_amd64.deb \
    >/dev/null || fail "apt-get install refused the package"
  say "installed $(dpkg-query -W -f='${Package} ${Version} ${Architecture}' shoreline), with SDL 1.2 from" \
    "$(dpkg-query -S /usr/lib/x86_64-linux-gnu/libSDL-1.2.so.0 | cut -d: -f1)"
}

case "${1:-}" in
  prepare)
    dir=${2:?usage: install-deb.sh prepare DIR}
    debs=(dist/shoreline_*_amd64.deb)
    [ -f "${debs[0]}" ] || fail "no amd64 package in dist/ (tools/scripts/package.sh makes it)"
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "${debs[0]}" .ci/install-deb.sh "$dir/"
    git -C "$dir" init -q
    git -C "$dir" add .
    git -C "$dir" -c user.name=CI -c user.email=ci@localhost commit -q -m "the package to install"
    say "$dir holds $(basename "${debs[0]}")"
    ;;
  play)
    apt-get update -qq || { sleep 30 && apt-get update -qq; } || echo "apt-get update failed, going on" >&2
    ! dpkg -s libsdl1.2debian >/dev/null 2>&1 || fail "SDL 1.2 is there before the package"
    install_deb
    dpkg -s libsdl1.2debian >/dev/null 2>&1 || fail "the package did not bring libsdl1.2debian"
    for f in /usr/games/shoreline /usr/share/man/man6/shoreline.6.gz /usr/share/applications/shoreline.desktop \
      /usr/share/metainfo/shoreline.metainfo.xml /usr/share/icons/hicolor/256x256/apps/shoreline.png \
      /usr/share/icons/hicolor/48x48/apps/shoreline.png /usr/share/doc/shoreline/copyright \
      /usr/share/doc/shoreline/changelog.gz; do
      [ -f "$f" ] || fail "$f is missing"
    done
    mapfile -t files < <(dpkg -L shoreline)
    play 20
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq --autoremove shoreline >/dev/null
    ! dpkg -s shoreline >/dev/null 2>&1 || fail "shoreline is still installed"
    ! dpkg -s libsdl1.2debian >/dev/null 2>&1 || fail "libsdl1.2debian, which the package brought, is still there"
    left=()
    for f in "${files[@]}"; do
      # A folder may stay while other packages use it (/usr/games, /usr/share/...), not empty and unowned.
      if [ -d "$f" ]; then
        if [ -z "$(ls -A "$f")" ] && ! dpkg -S "$f" >/dev/null 2>&1; then left+=("$f"); fi
      elif [ -e "$f" ]; then
        left+=("$f")
      fi
    done
    [ ${#left[@]} -eq 0 ] || fail "left after purging: ${left[*]}"
    say "purged: none of its ${#files[@]} files and folders is left, nor the SDL 1.2 it brought"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends libsdl1.2-compat-shim >/dev/null
    install_deb
    play 5
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq --autoremove shoreline libsdl1.2-compat-shim >/dev/null
    say "done"
    ;;
  *)
    echo "usage: install-deb.sh prepare DIR | play" >&2
    exit 2
    ;;
esac
