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
# The licence, and the notices of the libraries krdtool links dynamically
# (LGPL: libfdisk, libblkid, libfuse3; CPL/IPL: The Sleuth Kit), which KIRODA.EXE does not.
set(kiroda_copyright ${CMAKE_BINARY_DIR}/krdtool-copyright)
add_custom_command(OUTPUT ${kiroda_copyright}
  COMMAND ${CMAKE_COMMAND} -E cat ${CMAKE_SOURCE_DIR}/LICENSE
          ${CMAKE_SOURCE_DIR}/res/krdtool-libraries.txt > ${kiroda_copyright}
  DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/res/krdtool-libraries.txt VERBATIM)
add_custom_target(krdtool_copyright ALL DEPENDS ${kiroda_copyright})
install(FILES ${kiroda_copyright} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/krdtool RENAME copyright)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME krdtool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KIRODA developers <kiroda@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up, test and restore whole disks as KIRODA backup sets")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "back up, test and restore whole disks as KIRODA backup sets\n"
    "krdtool copies a whole disk (MBR or GPT, 512- or 4096-byte sectors),\n"
    "sector by sector, into a backup set\n"
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
