# What `cmake --install` puts where (GNUInstallDirs, under CMAKE_INSTALL_PREFIX, /usr for a package), and
# the Debian package CPack makes of it (tools/scripts/package.sh runs both):
#   games/shoreline                          the demo (SHORELINE_INSTALL_GAMESDIR)
#   share/man/man6/shoreline.6.gz            its manual page
#   share/applications/shoreline.desktop     a desktop entry, with sdl12-compat's window scaling
#   share/metainfo/shoreline.metainfo.xml    AppStream metadata
#   share/icons/hicolor/NxN/apps/shoreline.png  icons, when SHORELINE_ICONS names a folder of NxN.png
#   share/doc/shoreline/copyright, changelog.gz
# The sources of these are in packaging/. Installing builds nothing first (a cross-build's developer tools
# need not link for the package): build shoreline and packaging_docs, then install.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(GNUInstallDirs)
set(SHORELINE_INSTALL_GAMESDIR games CACHE STRING "Where the demo goes, below the prefix (Debian: games)")
set(SHORELINE_ICONS "" CACHE PATH "A folder of icons named 48x48.png, 256x256.png, ... (package.sh makes them)")
set(SHORELINE_MAINTAINER "The Shoreline developers <shoreline@example.org>" CACHE STRING "The package's maintainer")

set(packaging "${CMAKE_SOURCE_DIR}/packaging")
set(staged "${CMAKE_BINARY_DIR}/packaging")
if(IS_ABSOLUTE "${SHORELINE_INSTALL_GAMESDIR}")
  set(SHORELINE_PROGRAM "${SHORELINE_INSTALL_GAMESDIR}/shoreline")
else()
  set(SHORELINE_PROGRAM "${CMAKE_INSTALL_PREFIX}/${SHORELINE_INSTALL_GAMESDIR}/shoreline")
endif()
configure_file("${packaging}/shoreline.desktop" "${staged}/shoreline.desktop" @ONLY)
configure_file("${packaging}/shoreline.metainfo.xml" "${staged}/shoreline.metainfo.xml" @ONLY)
configure_file("${packaging}/shoreline.6" "${staged}/shoreline.6" @ONLY)
# The licence as Debian's copyright format wants it: the text of LICENSE below its two heading lines,
# indented one space, an empty line as " .".
file(READ "${CMAKE_SOURCE_DIR}/LICENSE" licence)
string(FIND "${licence}" "\n\n" heading_end)
math(EXPR heading_end "${heading_end} + 2")
string(SUBSTRING "${licence}" ${heading_end} -1 licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
set(SHORELINE_LICENSE_TEXT " ${licence}")
configure_file("${packaging}/copyright.in" "${staged}/copyright" @ONLY)

# Debian compresses manual pages and changelogs with gzip -9n (no name or time stamp in the file).
set(compressed)
foreach(pair "shoreline.6|${staged}/shoreline.6" "changelog|${packaging}/changelog")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 source)
  add_custom_command(OUTPUT "${staged}/${name}.gz" COMMAND gzip -9n -c "${source}" > "${staged}/${name}.gz"
                     DEPENDS "${source}" VERBATIM)
  list(APPEND compressed "${staged}/${name}.gz")
endforeach()
add_custom_target(packaging_docs ALL DEPENDS ${compressed})

install(TARGETS shoreline RUNTIME DESTINATION "${SHORELINE_INSTALL_GAMESDIR}")
install(FILES "${staged}/shoreline.6.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man6")
install(FILES "${staged}/shoreline.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${staged}/shoreline.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${staged}/copyright" "${staged}/changelog.gz" DESTINATION "${CMAKE_INSTALL_DOCDIR}")
if(SHORELINE_ICONS)
  file(GLOB icons "${SHORELINE_ICONS}/*x*.png")
  if(NOT icons)
    message(FATAL_ERROR "SHORELINE_ICONS: no NxN.png in ${SHORELINE_ICONS}")
  endif()
  foreach(icon IN LISTS icons)
    get_filename_component(size "${icon}" NAME_WE)
    install(FILES "${icon}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps" RENAME shoreline.png)
  endforeach()
endif()

# The Debian package: shoreline_VERSION_ARCH.deb. Its dependencies are dpkg-shlibdeps' (libc6,
# libsdl1.2debian, which sdl12-compat's libsdl1.2-compat-shim provides too); a cross-build's come from the
# symbols files cross-check.sh keeps in the sysroot (SHORELINE_SYSROOT/DEBIAN), its architecture from the
# toolchain file.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME shoreline)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual demo for a 320x240 screen")
set(CPACK_PACKAGE_DESCRIPTION "Shoreline plays its own four-channel tracker song and, cut to the music,
eleven software-rendered sections: a panorama with captions, a halftone screen,
lens flares, a zoomer under a warped hole mask, a flat-shaded 3D shore scene
with thumbnails and tickers, and a closing caption.

It was made for small Linux handhelds with a 320x240 screen. On a desktop,
sdl12-compat (libsdl1.2-compat-shim) opens its window three times as large,
with sharp pixels.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SHORELINE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS libsdl1.2-compat-shim)
if(CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${SHORELINE_DEB_ARCH}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${SHORELINE_SYSROOT}/lib/${SHORELINE_TRIPLET}"
                                                  "${SHORELINE_SYSROOT}/usr/lib/${SHORELINE_TRIPLET}")
endif()
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/package")
include(CPack)
