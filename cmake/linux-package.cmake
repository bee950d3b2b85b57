# Linux: what `cmake --install` puts in place (the programs, the picture module,
# the desktop entry, icons, AppStream metainfo, manual pages and the copyright
# notice), and the Debian package CPack makes of it (the deb workflow preset).
include(GNUInstallDirs)

set(QUORLIN_APP_ID io.github.quorlin.Quorlin)
set(QUORLIN_DEB_MAINTAINER "Quorlin maintainers <maintainers@users.noreply.c-seed-55bba662.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(linux_files ${PROJECT_SOURCE_DIR}/packaging/linux)

# The picture module is no program: it goes into a folder of its own under the
# library folder, and quorlin-cli, which looks beside itself first (the build
# tree), finds it there relative to its own folder (ModulePath()).
set(QUORLIN_MODULE_DIR ${CMAKE_INSTALL_LIBDIR}/quorlin)
file(RELATIVE_PATH module_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/quorlin)
target_compile_definitions(quorlin-cli PRIVATE QUORLIN_INSTALLED_MODULE_DIR="${module_from_bin}")

install(TARGETS quorlin-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quorlin-picture LIBRARY DESTINATION ${QUORLIN_MODULE_DIR})

# Manual pages with the version filled in, compressed as Debian wants them
# (gzip -n: no name or time stamp, so the package is reproducible).
find_program(QUORLIN_GZIP gzip REQUIRED)
set(man_pages quorlin-cli.1)
if(TARGET quorlin)
  list(APPEND man_pages quorlin.1)
endif()
set(man_gz)
foreach(page IN LISTS man_pages)
  configure_file(${linux_files}/${page}.in ${PROJECT_BINARY_DIR}/man/${page} @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.gz
    COMMAND ${QUORLIN_GZIP} -9 -n -c ${PROJECT_BINARY_DIR}/man/${page} > ${PROJECT_BINARY_DIR}/man/${page}.gz
    DEPENDS ${PROJECT_BINARY_DIR}/man/${page}
    VERBATIM)
  list(APPEND man_gz ${PROJECT_BINARY_DIR}/man/${page}.gz)
endforeach()
# The package's change log, compressed the same way.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND ${QUORLIN_GZIP} -9 -n -c ${linux_files}/changelog > ${PROJECT_BINARY_DIR}/changelog.gz
  DEPENDS ${linux_files}/changelog
  VERBATIM)
add_custom_target(quorlin-linux-docs ALL DEPENDS ${man_gz} ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${linux_files}/copyright ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(TARGET quorlin)
  install(TARGETS quorlin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${linux_files}/${QUORLIN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${linux_files}/${QUORLIN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The icon in the hicolor theme, named after the desktop entry's Icon=.
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/quorlin-${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME ${QUORLIN_APP_ID}.png)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/quorlin.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${QUORLIN_APP_ID}.svg)
endif()

# The Debian package: build/deb/quorlin_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorlin)
set(CPACK_PACKAGE_VENDOR "The Quorlin maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "puts your own picture into a Mechwarrior Vengeance skin slot")
set(CPACK_PACKAGE_DESCRIPTION
  "Quorlin writes a 512x512 bitmap, JPEG, PNG or Targa picture into one of the
skin slots (9 to 37) of Mechwarrior Vengeance running under Wine, once the
Zandel patch has prepared the game's archives. It finds the game in the Wine
prefixes of the usual launchers, keeps a one-time backup of each archive,
restores the originals on request and journals every change.
This package holds the window (quorlin) and the command line (quorlin-cli).")
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/quorlin/quorlin)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORLIN_DEB_MAINTAINER}")
# A tool for a game rather than a game: Debian keeps the games section for
# packages with programs in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps reads every ELF file in the package, the dlopen'ed picture
# module among them, so Qt's libraries come in through it. Qt loads its window
# system plugin at run time, which no linked library names: the window needs
# qt6-qpa-plugins for its xcb (X11) and Wayland plugins.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET quorlin)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
