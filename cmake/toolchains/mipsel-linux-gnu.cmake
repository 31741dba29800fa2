# 32-bit little-endian MIPS Linux (Debian mipsel: MIPS32r2, the MIPS handhelds with 320x240 screens) with
# Debian's g++-mipsel-linux-gnu. tools/scripts/cross-check.sh mipsel fills the sysroot, builds into
# build-mipsel/ and compares the output with the x86-64 build's, or by hand:
#   cmake -S . -B build-mipsel --toolchain cmake/toolchains/mipsel-linux-gnu.cmake -DSHORELINE_SYSROOT=DIR
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(SHORELINE_TRIPLET mipsel-linux-gnu)
set(SHORELINE_QEMU qemu-mipsel-static)
set(SHORELINE_DEB_ARCH mipsel) # the Debian architecture, for packages
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake")
