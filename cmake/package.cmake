# The Debian package: what `cmake --install` puts where, and CPack's DEB.
# Installed as Debian installs games. A demo is one in Debian's sense, a
# program to spend a nice time with, like sl or oneko: the section games,
# manual section 6, the demo and its launcher in games/ and their media in
# share/games/. The capture tool is a utility that writes video files, so it
# goes in bin/ with its manual in section 1, and the package overrides
# lintian's warning about a games package with something in bin/.
include(GNUInstallDirs)
# The folders it makes are the same whatever the builder's umask (022 or 002).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS vaskiloimu RUNTIME DESTINATION games)
install(PROGRAMS dist/vaskiloimu-play DESTINATION games)
install(TARGETS vaskiloimu-capture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The media by the names the demo opens them by.
install(FILES ${media_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/games/vaskiloimu)
install(FILES dist/vaskiloimu.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES media/vaskiloimu.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES README.md dist/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES dist/vaskiloimu.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME vaskiloimu)

# The version is the project's; the changelog must have an entry for it, and
# that entry gives the release date (for the manual pages and the metainfo)
# and the maintainer.
file(STRINGS dist/changelog entry LIMIT_COUNT 1)
file(STRINGS dist/changelog signed REGEX "^ -- " LIMIT_COUNT 1)
if(NOT entry MATCHES "^vaskiloimu \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "dist/changelog: the first entry must be for version ${PROJECT_VERSION}")
endif()
if(NOT signed MATCHES "^ -- (.+>)  (.+)$")
  message(FATAL_ERROR "dist/changelog: the first entry is not signed")
endif()
set(maintainer "${CMAKE_MATCH_1}")
execute_process(COMMAND date -u -d "${CMAKE_MATCH_2}" +%F OUTPUT_VARIABLE release_date
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

# Manual pages, dated and versioned by that entry, and the changelog go in
# gzipped; -n keeps the name and time out, so the same sources give the same
# bytes.
find_program(GZIP gzip REQUIRED)
set(gz ${CMAKE_CURRENT_BINARY_DIR}/gz)
foreach(f vaskiloimu.6 vaskiloimu-play.6 vaskiloimu-capture.1)
  configure_file(dist/${f}.in ${gz}/${f} @ONLY)
endforeach()
configure_file(dist/changelog ${gz}/changelog COPYONLY)
foreach(f vaskiloimu.6 vaskiloimu-play.6 vaskiloimu-capture.1 changelog)
  add_custom_command(OUTPUT ${gz}/${f}.gz COMMAND ${GZIP} -9nkf ${gz}/${f} DEPENDS ${gz}/${f} VERBATIM)
  list(APPEND gz_files ${gz}/${f}.gz)
endforeach()
add_custom_target(gzipped ALL DEPENDS ${gz_files})
install(FILES ${gz}/vaskiloimu.6.gz ${gz}/vaskiloimu-play.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${gz}/vaskiloimu-capture.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${gz}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# No domain of its own yet: see the comment in the template.
set(appstream_id example.vaskiloimu.vaskiloimu)
configure_file(dist/vaskiloimu.metainfo.xml.in ${appstream_id}.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${appstream_id}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vaskiloimu)
set(CPACK_PACKAGE_CONTACT "${maintainer}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# The synopsis is the project's description, which CPack puts first.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A self-running, full-screen demo at 640x480 in 32-bit colour: a dark-blue
interference pattern drifts and races, a picture fades in and is cut away
from its bottom edge, and a fire field rises over it, to its own music.
It ends by itself after 75 seconds, or when Esc is released.

The package holds the demo with its default picture and music, a launcher
that plays it with them or with your own, and a tool that records it,
without a display or sound card, to a video or to PNG stills.")
# Either SDL 1.2 will do: the classic library or sdl12-compat over SDL2.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libsdl1.2debian (>= 1.2.15) | libsdl1.2-compat, libsdl-image1.2, libsdl-mixer1.2, libpng16-16, libc6, libstdc++6")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
include(CPack)
