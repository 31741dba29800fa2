# 32-bit ARM Linux, soft float (Debian armel: ARMv5TE, the older ARM9 handhelds) with Debian's
# g++-arm-linux-gnueabi. tools/scripts/cross-check.sh armel fills the sysroot, builds into build-armel/ and
# compares the output with the x86-64 build's, or by hand:
#   cmake -S . -B build-armel --toolchain cmake/toolchains/arm-linux-gnueabi.cmake -DSHORELINE_SYSROOT=DIR
set(CMAKE_SYSTEM_PROCESSOR arm)
set(SHORELINE_TRIPLET arm-linux-gnueabi)
set(SHORELINE_QEMU qemu-arm-static)
set(SHORELINE_DEB_ARCH armel) # the Debian architecture, for packages
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake")
