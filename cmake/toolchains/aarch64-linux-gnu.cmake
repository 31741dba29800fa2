# 64-bit ARM Linux (Debian arm64) with Debian's g++-aarch64-linux-gnu. tools/scripts/cross-check.sh aarch64
# fills the sysroot, builds into build-aarch64/ and compares the output with the x86-64 build's, or by hand:
#   cmake -S . -B build-aarch64 --toolchain cmake/toolchains/aarch64-linux-gnu.cmake -DSHORELINE_SYSROOT=DIR
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(SHORELINE_TRIPLET aarch64-linux-gnu)
set(SHORELINE_QEMU qemu-aarch64-static)
set(SHORELINE_DEB_ARCH arm64) # the Debian architecture, for packages
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake")
