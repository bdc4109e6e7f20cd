# What `cmake --install` and the Debian package (scripts/package.sh, CPack's DEB generator)
# install: the three programs, the desktop entry, the profile MIME type, the icon, the
# AppStream metainfo, the man pages, and the package's copyright and changelog.
include(GNUInstallDirs)
set(KELDARA_PACKAGE_MAINTAINER "Keldara developers <keldara@example.org>" CACHE STRING
  "Maintainer named in the Debian package")
set(KELDARA_APPSTREAM_ID io.github.keldara.Keldara)
set(packaging ${CMAKE_SOURCE_DIR}/packaging)
set(generated ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS keldara keldara-cli keldara-dump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A desktop opens profile files (*.pro) with Keldara.
install(FILES ${packaging}/keldara.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/keldara-profile.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${packaging}/keldara.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${packaging}/keldara.metainfo.xml
  ${generated}/${KELDARA_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${generated}/${KELDARA_APPSTREAM_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

string(TIMESTAMP KELDARA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${packaging}/changelog.in ${generated}/changelog @ONLY)
set(package_files ${generated}/changelog.gz)
add_custom_command(OUTPUT ${generated}/changelog.gz
  COMMAND gzip -9nkf ${generated}/changelog
  DEPENDS ${generated}/changelog VERBATIM)
install(FILES ${packaging}/copyright ${generated}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/keldara)

# The man pages come from the programs' own --help, so they cannot drift from it.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  function(keldara_man_page program description)
    set(page ${generated}/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND bash ${packaging}/man-page.sh $<TARGET_FILE:${program}> ${description} ${page} ${ARGN}
      COMMAND gzip -9nf ${page}
      DEPENDS ${program} ${packaging}/man-page.sh VERBATIM)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    set(package_files ${package_files} ${page}.gz PARENT_SCOPE)
  endfunction()
  keldara_man_page(keldara "copy the tables of desktop data files into MySQL or MariaDB")
  keldara_man_page(keldara-cli "run a Keldara profile's transfer without a window" run)
else()
  message(STATUS "help2man not found: no man pages (scripts/install-deps.sh installs it)")
endif()
add_custom_target(keldara_package_files ALL DEPENDS ${package_files})

# `cpack` installs what is built; scripts/package.sh builds only the programs and the files
# above, not the tests and benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keldara)
set(CPACK_PACKAGE_VENDOR "Keldara developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "copy the tables of desktop data files into MySQL or MariaDB")
set(CPACK_PACKAGE_DESCRIPTION
  "Keldara gets the tables of Microsoft Access databases, Excel 97-2003
workbooks, delimited text files and dBase or FoxPro tables into a MySQL or
MariaDB database: pick a source and a target table, pair their fields, then
update matching rows, insert new rows, or generate a script that creates and
fills a table like the source. keldara-cli runs a saved profile's transfer
without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KELDARA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link, as dpkg-shlibdeps finds them, and libsecret, which the
# keyring opens when first used; a MySQL or MariaDB server is reached over the network and is
# no dependency.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
