# 32-bit ARM Linux, hard float (Debian armhf: ARMv7, VFPv3-D16) with Debian's g++-arm-linux-gnueabihf.
# tools/scripts/cross-check.sh armhf fills the sysroot, builds into build-armhf/ and compares the output
# with the x86-64 build's, or by hand:
#   cmake -S . -B build-armhf --toolchain cmake/toolchains/arm-linux-gnueabihf.cmake -DSHORELINE_SYSROOT=DIR
set(CMAKE_SYSTEM_PROCESSOR arm)
set(SHORELINE_TRIPLET arm-linux-gnueabihf)
set(SHORELINE_QEMU qemu-arm-static)
set(SHORELINE_DEB_ARCH armhf) # the Debian architecture, for packages
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake")
