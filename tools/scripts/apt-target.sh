# shellcheck shell=bash
# Sourced by cross-check.sh and package.sh: a private apt state for another architecture (and release),
# so that packages of that architecture can be downloaded while the host's packages and apt set-up are
# left alone.
#
#   apt_target DIR DEB_ARCH [SUITE]   sets apt_opts for apt-get/apt-cache, state kept in DIR
#   apt_retry COMMAND...              runs an apt command again when the mirror is mid-sync
#
# The sources are the host's Debian mirror, SUITE (default: the host's release) and SUITE-updates, main
# component. The security archive is left out: the programs are only built against these libraries and
# run under qemu, and a security index caught mid-sync would otherwise stop the whole build.

apt_retry() {
  local try
  for try in 1 2 3 4; do
    "$@" && return 0
    [ "$try" -lt 4 ] || break
    echo "apt: '$*' failed (try $try of 4), the mirror may be syncing: again in $((try * 20)) s" >&2
    sleep $((try * 20))
  done
  return 1
}

apt_target() {
  local dir=$1 arch=$2 suite=${3:-} mirror
  if [ -z "$suite" ]; then
    # shellcheck disable=SC1091 # the host's own file
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  fi
  # shellcheck disable=SC2016 # apt's own $(FIELD) placeholders
  mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' |
    grep -v -- '-security$' | head -1)
  mirror=${mirror%% *}
  [ -n "$mirror" ] || mirror=http://deb.debian.org/debian/
  mkdir -p "$dir/state/lists/partial" "$dir/cache/archives/partial" "$dir/sources"
  : >"$dir/status" # nothing installed: apt resolves every dependency
  printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s\n' "$mirror" \
    "$suite" "$suite" /usr/share/keyrings/debian-archive-keyring.gpg >"$dir/sources/debian.sources"
  # shellcheck disable=SC2034 # for the caller
  apt_opts=(-o "APT::Architecture=$arch" -o "APT::Architectures::=$arch" -o "Dir::State=$dir/state"
    -o "Dir::State::status=$dir/status" -o "Dir::Cache=$dir/cache" -o Debug::NoLocking=1
    -o Dir::Etc::sourcelist=/dev/null -o "Dir::Etc::sourceparts=$dir/sources")
}
