#!/usr/bin/env bash
# Makes what the demo ships as, in dist/:
#   shoreline_VERSION_ARCH.deb      a Debian package per ARCH (CPack over cmake/Install.cmake)
#   shoreline-handheld-VERSION.zip  the handheld port: Shoreline.sh beside shoreline/ (packaging/handheld),
#                                   made when both arm64 and armhf are built
#
#   tools/scripts/package.sh [ARCH...]    ARCH: amd64 arm64 armhf (default: all three)
#
# amd64 is built natively, for Debian 12. arm64 and armhf are built by cross-check.sh --suite=bullseye
# against Debian 11's C library (glibc 2.31) with the C++ runtime linked statically, which also checks
# there, under qemu, that their capture prints the regression table byte for byte; the native capture is
# compared the same way. Icons and the handheld screenshot are the demo's own frames, from capture.
# Every package must pass lintian without an error, and every ARM program and bundled library must need
# nothing newer than GLIBC_2.31 and nothing of libstdc++ or libgcc_s (objdump -T; the summary is printed).
# The handheld libSDL-1.2.so.0 is Debian 12's sdl12-compat, whose only newer needs are dlopen, dlsym and
# dlclose (moved into libc at 2.34): patchelf unversions them and adds libdl, where glibc 2.31 has them
# (2.34 on finds them in libc), elf-drop-version.py drops the then unused GLIBC_2.34 requirement, and
# each library is tried under qemu over Debian 11's SDL2. (Debian's source package, to build it against
# Debian 11 instead, is not served by the mirror here.)
# Installs what it needs (install-deps.sh package); builds in build-pkg/ and build-ARCH-bullseye/. The
# files appear in dist/ only once everything has passed.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(amd64 arm64 armhf)
for arch in "${archs[@]}"; do
  case "$arch" in
    amd64 | arm64 | armhf) ;;
    *) echo "usage: package.sh [amd64|arm64|armhf]..." >&2; exit 2 ;;
  esac
done
started=$SECONDS
step() { printf 'package: %s (%ds)\n' "$*" $((SECONDS - started)); }
fail() { echo "package: FAIL: $*" >&2; exit 1; }

bash tools/scripts/install-deps.sh package
# shellcheck source=tools/scripts/apt-target.sh
. tools/scripts/apt-target.sh
version=$(sed -n 's/^project(shoreline VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt's project()"
work=$root/build-pkg
out=$work/dist # everything goes here first; dist/ gets it at the end
rm -rf "$out" "$work/artwork" "$work/handheld"
mkdir -p "$out" "$work/artwork/icons"
# Release builds hardened as Debian's own packages are (dpkg-buildflags' hardening options).
export CXXFLAGS="-fstack-protector-strong -D_FORTIFY_SOURCE=2" LDFLAGS="-Wl,-z,relro -Wl,-z,now"
# The files of a package keep the time of the last commit, so that the same sources give the same files.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH

# The native build: the amd64 program and the capture that makes the pictures.
native=$work/amd64
step "building the native demo and capture in $native"
rm -f "$native/CMakeCache.txt" # the flags above apply to a build configured anew
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DSHORELINE_TESTS=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  >/dev/null
cmake --build "$native" -j "$(nproc)" --target shoreline capture packaging_docs
capture=$native/tools/capture/capture
"$capture" --digest | cmp -s - tests/capture/regression_table.inc ||
  fail "the native capture --digest differs from tests/capture/regression_table.inc"
step "the native capture --digest is identical to tests/capture/regression_table.inc"

# Icons: the lighthouse of section 8 (song position 13:16, the README's gallery still), a 128x128 square
# of the frame: 256 doubled and 128 as it is (nearest neighbour, as the demo's pixels are), 64 and 48
# averaged down.
"$capture" --quiet --still=13:16 "$work/artwork/still.png"
"$capture" --quiet --scale=2 --still=13:16 "$work/artwork/screenshot.png" # 640x480, for the handheld
pngtopam "$work/artwork/still.png" | pamcut -left 96 -top 40 -width 128 -height 128 >"$work/artwork/square.pam"
pamscale -xscale 2 -yscale 2 -nomix "$work/artwork/square.pam" | pamtopng >"$work/artwork/icons/256x256.png"
pamtopng <"$work/artwork/square.pam" >"$work/artwork/icons/128x128.png"
for size in 64 48; do
  pamscale -xyfit "$size" "$size" "$work/artwork/square.pam" | pamtopng >"$work/artwork/icons/${size}x${size}.png"
done

# Builds ARCH's package into $out and unpacks it into $work/ARCH-files for the checks below.
build_dir() { case "$1" in amd64) echo "$native" ;; arm64) echo "$root/build-aarch64-bullseye" ;; armhf) echo "$root/build-armhf-bullseye" ;; esac; }
make_deb() {
  local arch=$1 build
  build=$(build_dir "$arch")
  if [ "$arch" != amd64 ]; then
    local cross=aarch64
    [ "$arch" = arm64 ] || cross=$arch
    step "cross-building $arch against Debian 11 (cross-check.sh $cross --suite=bullseye)"
    rm -f "$build/CMakeCache.txt" # a build made without the flags above starts anew (the sysroot stays)
    bash tools/scripts/cross-check.sh "$cross" --suite=bullseye || fail "cross-check.sh $cross --suite=bullseye"
  fi
  cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DSHORELINE_ICONS="$work/artwork/icons" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target shoreline packaging_docs
  step "making the $arch package"
  rm -rf "$build/package"
  (cd "$build" && DEB_HOST_ARCH=$arch cpack -G DEB >/dev/null) || fail "cpack for $arch"
  local deb=$build/package/shoreline_${version}_$arch.deb
  [ -f "$deb" ] || fail "cpack made no $(basename "$deb")"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$(basename "$deb") does not say Architecture: $arch"
  dpkg-deb -f "$deb" Depends | grep -q 'libsdl1.2debian (>= ' || fail "$(basename "$deb") does not depend on SDL 1.2"
  cp "$deb" "$out/"
  rm -rf "$work/$arch-files"
  dpkg-deb -x "$deb" "$work/$arch-files"
}

# objdump -T's symbol versions of FILE on one line; fails on GLIBC_ newer than 2.31, GLIBCXX_, CXXABI_
# or GCC_ (libstdc++ and libgcc_s, which the handhelds do not have).
check_symbols() {
  local versions newest
  versions=$(objdump -T "$1" | grep -oE '\((GLIBC|GLIBCXX|CXXABI|GCC)_[0-9.]+\)' | tr -d '()' | sort -uV | tr '\n' ' ')
  printf 'package: objdump -T %s: %s\n' "${1#"$work/"}" "$versions"
  case "$versions" in *GLIBCXX_* | *CXXABI_* | *GCC_*) fail "$1 needs the C++ runtime or libgcc_s" ;; esac
  newest=$(tr ' ' '\n' <<<"$versions" | sed -n 's/^GLIBC_//p' | sort -V | tail -1)
  [ "$(printf '%s\n2.31\n' "$newest" | sort -V | tail -1)" = 2.31 ] || fail "$1 needs GLIBC_$newest (newer than 2.31)"
}

for arch in "${archs[@]}"; do
  make_deb "$arch"
done

lint=0
for arch in "${archs[@]}"; do
  step "lintian on shoreline_${version}_$arch.deb"
  lintian --fail-on error --display-info "$out/shoreline_${version}_$arch.deb" || lint=1
done
[ "$lint" -eq 0 ] || fail "lintian reports errors (above)"

for arch in "${archs[@]}"; do
  [ "$arch" = amd64 ] || check_symbols "$work/$arch-files/usr/games/shoreline"
done

# The handheld archive, when both ARM programs are there.
if [[ " ${archs[*]} " == *" arm64 "* && " ${archs[*]} " == *" armhf "* ]]; then
  stage=$work/handheld
  mkdir -p "$stage/shoreline"
  cp packaging/handheld/Shoreline.sh "$stage/"
  shellcheck "$stage/Shoreline.sh" || fail "shellcheck finds fault with Shoreline.sh"
  cp packaging/handheld/shoreline.gptk "$work/artwork/screenshot.png" "$stage/shoreline/"
  cp LICENSE "$stage/shoreline/LICENSE"
  # Debian 12's sdl12-compat for each architecture, with a private apt state as cross-check.sh's.
  apt_dir=$work/apt
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/debs"
  for arch in arm64 armhf; do
    name=aarch64
    [ "$arch" = arm64 ] || name=$arch
    apt_target "$apt_dir" "$arch"
    apt_retry apt-get -qq "${apt_opts[@]}" update
    rm -f "$apt_dir"/debs/*
    (cd "$apt_dir/debs" && apt_retry apt-get -qq "${apt_opts[@]}" -o APT::Sandbox::User="$(id -un)" \
      download libsdl1.2-compat)
    rm -rf "$apt_dir/x"
    dpkg-deb -x "$apt_dir"/debs/libsdl1.2-compat_*.deb "$apt_dir/x"
    compat_version=$(dpkg-deb -f "$apt_dir"/debs/libsdl1.2-compat_*.deb Version)
    mkdir -p "$stage/shoreline/libs.$name"
    lib=$stage/shoreline/libs.$name/libSDL-1.2.so.0
    cp -L "$apt_dir"/x/usr/lib/*/sdl12-compat/libSDL-1.2.so.0 "$lib"
    patchelf --clear-symbol-version dlopen --clear-symbol-version dlsym --clear-symbol-version dlclose \
      --add-needed libdl.so.2 "$lib"
    python3 tools/scripts/elf-drop-version.py "$lib" libc.so.6 GLIBC_2.34
    check_symbols "$lib"
    cp "$work/$arch-files/usr/games/shoreline" "$stage/shoreline/shoreline.$name"
    # Played for a few seconds under qemu with Debian 11's C library and SDL2 (dummy drivers), every
    # symbol bound at start, the bundled library first: it must start, say it is sdl12-compat over SDL2,
    # and end with status 0 on SIGINT.
    sysroot=$(build_dir "$arch")/sysroot
    qemu="qemu-aarch64-static"
    [ "$arch" = arm64 ] || qemu="qemu-arm-static"
    status=0
    LD_LIBRARY_PATH="$stage/shoreline/libs.$name" LD_BIND_NOW=1 SDL12COMPAT_DEBUG_LOGGING=1 \
      SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout --preserve-status -s INT 8 \
      "$qemu" -L "$sysroot" "$stage/shoreline/shoreline.$name" >"$work/handheld-$name.log" 2>&1 || status=$?
    if [ "$status" -ne 0 ] || ! grep -q 'sdl12-compat' "$work/handheld-$name.log"; then
      fail "shoreline.$name over the bundled sdl12-compat (status $status): $(tail -3 "$work/handheld-$name.log")"
    fi
    step "shoreline.$name ran over the bundled sdl12-compat and Debian 11's SDL2: $(grep -m1 -o 'sdl12-compat.*' "$work/handheld-$name.log")"
  done
  cp "$apt_dir"/x/usr/share/doc/libsdl1.2-compat/copyright "$stage/shoreline/LICENSE.sdl12-compat"
  sed -e "s/@VERSION@/$version/" -e "s/@SDL12COMPAT_VERSION@/$compat_version/" packaging/handheld/README.txt \
    >"$stage/shoreline/README.txt"
  rm -rf "$apt_dir"
  zip_name=shoreline-handheld-$version.zip
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$stage" && find Shoreline.sh shoreline | LC_ALL=C sort | zip -q -X -@ "$out/$zip_name")
  step "made $zip_name"
fi

# Everything passed: into dist/, each file under a temporary name first.
mkdir -p dist
for file in "$out"/*; do
  cp "$file" "dist/.tmp-$(basename "$file")"
  mv "dist/.tmp-$(basename "$file")" "dist/$(basename "$file")"
done
step "done: dist/ holds"
ls -l dist/
