# 32-bit ARM Linux, hard float, with NEON (Debian armhf's compiler and libraries; the ARMv7 handhelds whose
# Cortex-A7/A8/A9/A15 cores have NEON). The effects then take their vector paths, as on 64-bit ARM; the
# program needs a core with NEON. tools/scripts/cross-check.sh armhf-neon fills the sysroot, builds into
# build-armhf-neon/ and compares the output with the x86-64 build's, or by hand:
#   cmake -S . -B build-armhf-neon --toolchain cmake/toolchains/arm-linux-gnueabihf-neon.cmake -DSHORELINE_SYSROOT=DIR
set(CMAKE_SYSTEM_PROCESSOR arm)
set(SHORELINE_TRIPLET arm-linux-gnueabihf)
set(SHORELINE_QEMU qemu-arm-static)
set(CMAKE_C_FLAGS_INIT "-mfpu=neon")
set(CMAKE_CXX_FLAGS_INIT "-mfpu=neon")
include("${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake")
