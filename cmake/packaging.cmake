# What `cmake --install` puts on a Linux system, and the Debian package
# CPack makes of it (tools/package): krdtool, its man page, its bash
# completion, the README and the licence.
include(GNUInstallDirs)

# Debian keeps man pages compressed; -n leaves the time out, so the same
# page always gives the same bytes.
find_program(KIRODA_GZIP gzip REQUIRED)
set(kiroda_man_page ${CMAKE_BINARY_DIR}/krdtool.1.gz)
add_custom_command(OUTPUT ${kiroda_man_page}
  COMMAND ${KIRODA_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/docs/krdtool.1 > ${kiroda_man_page}
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/krdtool.1 VERBATIM)
add_custom_target(krdtool_man_page ALL DEPENDS ${kiroda_man_page})

install(TARGETS krdtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${kiroda_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/res/krdtool.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME krdtool)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/krdtool)
# The package's copyright file: our licence, then the libraries krdtool
# links and theirs.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE kiroda_licence)
file(READ ${CMAKE_SOURCE_DIR}/res/krdtool-third-party.txt kiroda_third_party)
file(WRITE ${CMAKE_BINARY_DIR}/copyright "${kiroda_licence}\n${kiroda_third_party}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/res/krdtool-third-party.txt)
install(FILES ${CMAKE_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/krdtool)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME krdtool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KIRODA developers <kiroda@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up, test and restore whole disks as KIRODA backup sets")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "back up, test and restore whole disks as KIRODA backup sets\n"
    "krdtool copies a whole MBR disk, sector by sector, into a backup set\n"
    "folder, tests a set for readability, and restores a set onto an empty\n"
    "disk with the partition table (sector 0) written last. It reads and\n"
    "writes the same sets as the KIRODA.EXE Windows wizard, and goes on\n"
    "past unreadable sectors of a failing disk when asked to.")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # krdtool_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # Depends from the libraries krdtool links
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion, man-db")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
