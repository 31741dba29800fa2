#!/usr/bin/env bash
# Cross-builds the demo for ARM Linux with Debian's cross compilers and checks, under qemu-user, that the
# ARM build draws and plays exactly what the x86-64 build does: `capture --digest` of the ARM build must
# equal tests/capture/regression_table.inc byte for byte.
#
#   tools/scripts/cross-check.sh aarch64|armhf|armhf-neon|armel|mipsel [--tests] [--suite=SUITE]
#
# armhf-neon is armhf built for the ARMv7 cores that have NEON (cmake/toolchains/arm-linux-gnueabihf-neon.cmake).
#
# Installs the cross compiler and qemu-user-static on the host if they are missing (apt-get; sudo when not
# root). The target's libraries come from Debian's archive for that architecture: downloaded with a private
# apt state in build-ARCH/apt and unpacked into build-ARCH/sysroot, so the host's packages and apt set-up
# are left alone. Builds capture and shoreline (warnings are errors) into build-ARCH/.
# --tests also builds the test suite and runs it under qemu, leaving out the tests that qemu-user cannot
# run (see `unrunnable` below).
# --suite=SUITE takes the target's libraries from another Debian release (bullseye: glibc 2.31, for older
# firmwares) into build-ARCH-SUITE/, C library included: the programs are compiled against that release's
# headers and linked against its C library, with the cross compiler's C++ runtime linked statically
# (SHORELINE_SYSROOT_LIBC in cmake/toolchains/debian-cross.cmake).
# Exit status 0 only when the digest matches and, with --tests, every test that ran passed.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

usage() {
  echo "usage: cross-check.sh aarch64|armhf|armhf-neon|armel|mipsel [--tests] [--suite=SUITE]" >&2
  exit 2
}
[ $# -ge 1 ] || usage
arch=$1
tests=OFF suite=""
for opt in "${@:2}"; do
  case "$opt" in
    --tests) tests=ON ;;
    --suite=?*) suite=${opt#--suite=} ;;
    *) usage ;;
  esac
done
case "$arch" in
  aarch64) triplet=aarch64-linux-gnu deb_arch=arm64 qemu=qemu-aarch64-static ;;
  armhf) triplet=arm-linux-gnueabihf deb_arch=armhf qemu=qemu-arm-static ;;
  armhf-neon) triplet=arm-linux-gnueabihf deb_arch=armhf qemu=qemu-arm-static toolchain=arm-linux-gnueabihf-neon ;;
  armel) triplet=arm-linux-gnueabi deb_arch=armel qemu=qemu-arm-static ;;
  mipsel) triplet=mipsel-linux-gnu deb_arch=mipsel qemu=qemu-mipsel-static ;;
  *) usage ;;
esac
started=$SECONDS
step() { printf 'cross-check %s: %s (%ds)\n' "$arch" "$*" $((SECONDS - started)); }

build=$root/build-$arch${suite:+-$suite}
sysroot=$build/sysroot
bash tools/scripts/install-deps.sh demo "g++-$triplet" qemu-user-static
# shellcheck source=tools/scripts/apt-target.sh
. tools/scripts/apt-target.sh

# The target's packages: the -dev packages themselves (headers, .so links, .pc files) and every runtime
# library they need, found by apt from the target architecture's package lists. The C library and the
# loader come along: qemu runs the programs with them.
dev=(libsdl1.2-dev libpng-dev zlib1g-dev)
runtime=(libc6 libstdc++6 libgcc-s1 libsdl1.2debian libpng16-16 zlib1g)
if [ "$tests" = ON ]; then
  dev+=(libgtest-dev libbenchmark-dev libxmp-dev lib3ds-dev)
  runtime+=(libbenchmark1debian libxmp4 lib3ds-1-3)
fi
if [ -n "$suite" ]; then
  dev+=(libc6-dev linux-libc-dev libcrypt-dev) # that release's C library to build with
  runtime+=(libsdl2-2.0-0) # what the handheld archive's sdl12-compat runs over (package.sh tries it)
fi
wanted="${dev[*]} ${runtime[*]}"
# A sysroot made before serves when it holds every wanted package (one made with --tests holds more).
have_all() {
  [ -f "$sysroot/.packages" ] || return 1
  local have p
  have=" $(head -1 "$sysroot/.packages") "
  for p in $wanted; do [[ "$have" == *" $p "* ]] || return 1; done
}
if ! have_all; then
  step "fetching the $deb_arch libraries into $sysroot"
  apt_dir=$build/apt
  rm -rf "$apt_dir" "$sysroot"
  mkdir -p "$apt_dir/debs" "$sysroot"
  apt_target "$apt_dir" "$deb_arch" "$suite"
  apt_retry apt-get -qq "${apt_opts[@]}" update
  mapfile -t closure < <(apt-cache "${apt_opts[@]}" depends --recurse --no-recommends --no-suggests \
    --no-conflicts --no-breaks --no-replaces --no-enhances "${runtime[@]}" | grep -v '^[ <]' | sort -u)
  # Downloads as the calling user: apt's sandbox user could not write into the build folder.
  (cd "$apt_dir/debs" && apt_retry apt-get -qq "${apt_opts[@]}" -o APT::Sandbox::User="$(id -un)" download \
    "${dev[@]}" "${closure[@]}")
  # Each package's shared-library information goes to DEBIAN/, where dpkg-shlibdeps finds it for the
  # libraries below (tools/scripts/package.sh works out a package's dependencies from it).
  mkdir -p "$sysroot/DEBIAN"
  for deb in "$apt_dir"/debs/*.deb; do
    dpkg-deb -x "$deb" "$sysroot"
    for info in symbols shlibs; do dpkg-deb -I "$deb" "$info" >>"$sysroot/DEBIAN/$info" 2>/dev/null || true; done
  done
  # Absolute symbolic links (libfoo.so -> /lib/...) would point at the host's files: point them into the
  # sysroot instead.
  while IFS= read -r link; do
    target=$(readlink "$link")
    case "$target" in
      /*) ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$sysroot$target")" "$link" ;;
    esac
  done < <(find "$sysroot" -type l)
  printf '%s\n' "$wanted" >"$sysroot/.packages"
  ls "$apt_dir/debs" >>"$sysroot/.packages"
  rm -rf "$apt_dir"
fi

step "configuring and building into $build"
cmake -S . -B "$build" --toolchain "cmake/toolchains/${toolchain:-$triplet}.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DSHORELINE_SYSROOT="$sysroot" -DSHORELINE_TESTS=$tests -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DSHORELINE_SYSROOT_LIBC="$([ -n "$suite" ] && echo ON || echo OFF)" >/dev/null
if [ "$tests" = ON ]; then
  cmake --build "$build" -j2
else
  cmake --build "$build" -j2 --target capture shoreline
fi
if [ -n "$suite" ]; then
  step "checking the stand-ins for a newer C library under $qemu (tests/compat/glibc_compat_check.cpp)"
  cmake --build "$build" -j2 --target glibc_compat_check
  "$qemu" -L "$sysroot" "$build/glibc_compat_check"
fi

step "running capture --digest under $qemu"
digest=$build/regression_table.inc
"$qemu" -L "$sysroot" "$build/tools/capture/capture" --digest >"$digest"
status=0
if cmp -s "$digest" tests/capture/regression_table.inc; then
  step "PASS: capture --digest on $arch is identical to tests/capture/regression_table.inc"
else
  echo "cross-check $arch: FAIL: capture --digest on $arch differs from tests/capture/regression_table.inc:"
  diff -u tests/capture/regression_table.inc "$digest" | head -80 || true
  echo "(the $arch output is in $digest)"
  status=1
fi

if [ "$tests" = ON ]; then
  # qemu-user runs one program; the tests that start another ARM program (shoreline, capture, the asset
  # generators, modrender and the other tools) would need the kernel to hand ARM binaries to qemu
  # (binfmt_misc), which a build machine or container often lacks.
  unrunnable='^(ShorelineExe|CaptureProgram|PictureGenerator|SongGenerator|ToolOutput)\.'
  step "running the test suite under $qemu (leaving out: $unrunnable)"
  if ! ctest --test-dir "$build" -j2 --output-on-failure -E "$unrunnable"; then
    echo "cross-check $arch: FAIL: tests failed under $qemu"
    status=1
  fi
fi
step "done"
exit $status
