# Shared part of the toolchain files: one of Debian's cross compilers (g++-TRIPLET, which brings the
# target's C and C++ runtime) and a sysroot with the target's other libraries (SDL 1.2 and what the tools
# and tests link), unpacked from Debian's packages for that architecture. tools/scripts/cross-check.sh
# fills it; nothing of the host's own libraries is used for the target.
#
# The including file sets CMAKE_SYSTEM_PROCESSOR, SHORELINE_TRIPLET and SHORELINE_QEMU.
# SHORELINE_SYSROOT: where the target's packages are unpacked (default: sysroot/ in the build folder).
# SHORELINE_SYSROOT_LIBC: the sysroot also holds the C library to build with (an older Debian's, from
# cross-check.sh --suite): its headers and link libraries replace the cross compiler's own, and the
# compiler's newer C++ runtime is linked statically, so that the programs need nothing of the target
# but that release's C library (and SDL).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${SHORELINE_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${SHORELINE_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${SHORELINE_TRIPLET})

if(NOT SHORELINE_SYSROOT)
  set(SHORELINE_SYSROOT "${CMAKE_BINARY_DIR}/sysroot")
endif()
set(SHORELINE_SYSROOT "${SHORELINE_SYSROOT}" CACHE PATH "The target's libraries, unpacked from Debian packages")
option(SHORELINE_SYSROOT_LIBC "Build against the sysroot's C library, the C++ runtime linked statically" OFF)
# Test compilations made while configuring read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SHORELINE_SYSROOT SHORELINE_SYSROOT_LIBC)

# Libraries, headers and CMake packages from the sysroot only; programs (pkg-config) from the host.
set(CMAKE_FIND_ROOT_PATH "${SHORELINE_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${SHORELINE_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR}
    "${SHORELINE_SYSROOT}/usr/lib/${SHORELINE_TRIPLET}/pkgconfig:${SHORELINE_SYSROOT}/usr/share/pkgconfig")

# Where the linker finds the libraries that the sysroot's libraries need in turn, private folders
# (such as pulseaudio/, named by a library's run path) included.
set(lib_dirs "${SHORELINE_SYSROOT}/lib/${SHORELINE_TRIPLET}" "${SHORELINE_SYSROOT}/usr/lib/${SHORELINE_TRIPLET}")
file(GLOB private_libs "${SHORELINE_SYSROOT}/usr/lib/${SHORELINE_TRIPLET}/*/lib*.so*")
foreach(lib IN LISTS private_libs)
  get_filename_component(dir "${lib}" DIRECTORY)
  list(APPEND lib_dirs "${dir}")
endforeach()
list(REMOVE_DUPLICATES lib_dirs)
foreach(dir IN LISTS lib_dirs)
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${dir}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,-rpath-link,${dir}")
endforeach()

# ctest runs the target's programs under qemu-user with the sysroot's own loader and C library (never
# -L /usr/TRIPLET: the cross compiler's loader with another C library hangs or crashes threaded programs).
set(CMAKE_CROSSCOMPILING_EMULATOR ${SHORELINE_QEMU} -L "${SHORELINE_SYSROOT}")

# (This file is read more than once while configuring: the flags are set only once.)
if(SHORELINE_SYSROOT_LIBC AND NOT CMAKE_CXX_FLAGS_INIT MATCHES "-nostdinc")
  # The compiler's own header folders, less the cross C library's (TRIPLET/include and /usr/include, which
  # come before any sysroot's): only GCC's and libstdc++'s stay, then the sysroot's, in the same order.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -xc++ -E -v - INPUT_FILE /dev/null OUTPUT_QUIET
                  ERROR_VARIABLE search RESULT_VARIABLE failed)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=include OUTPUT_VARIABLE gcc_include
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed OR NOT IS_DIRECTORY "${gcc_include}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not show its header folders")
  endif()
  string(REGEX REPLACE ".*#include <...> search starts here:\n(.*)\nEnd of search list.*" "\\1" search "${search}")
  string(REGEX REPLACE "[ \t]*\n[ \t]*" ";" search "${search}")
  set(cxx_dirs)
  foreach(dir IN LISTS search)
    string(STRIP "${dir}" dir)
    if(dir MATCHES "/c\\+\\+/")
      string(APPEND cxx_dirs " -isystem ${dir}")
    endif()
  endforeach()
  set(libc_dirs " -isystem ${gcc_include} -isystem ${SHORELINE_SYSROOT}/usr/include/${SHORELINE_TRIPLET}"
                " -isystem ${SHORELINE_SYSROOT}/usr/include")
  string(JOIN "" libc_dirs ${libc_dirs})
  string(APPEND CMAKE_C_FLAGS_INIT " -nostdinc${libc_dirs}")
  string(APPEND CMAKE_CXX_FLAGS_INIT " -nostdinc${cxx_dirs}${libc_dirs}")
  # Start files and the C library from the sysroot (-B and -L come before the compiler's own folders;
  # --sysroot puts the sysroot before the absolute paths in its libc.so script). -pthread: the static C++
  # runtime calls pthread_once, which glibc keeps in libpthread before 2.34.
  foreach(kind EXE SHARED)
    string(APPEND CMAKE_${kind}_LINKER_FLAGS_INIT " --sysroot=${SHORELINE_SYSROOT}"
           " -B${SHORELINE_SYSROOT}/usr/lib/${SHORELINE_TRIPLET}/ -L${SHORELINE_SYSROOT}/lib/${SHORELINE_TRIPLET}"
           " -L${SHORELINE_SYSROOT}/usr/lib/${SHORELINE_TRIPLET} -static-libstdc++ -static-libgcc -pthread")
  endforeach()
endif()
