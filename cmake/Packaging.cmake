# What a Debian package needs beside the programs, the manual, the desktop entry and the
# icons (src/app): the system service and its log rotation, the AppStream metainfo, the man
# pages, the copyright and changelog; and CPack's settings for `cpack -G DEB`.
#
# The package is built for the prefix the tree was configured with:
#   cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
#   cmake --build build-package -j2 && (cd build-package && cpack -G DEB)
# scripts/package.sh does this and checks the result.
include(GNUInstallDirs)

set(CORVANE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(CORVANE_GENERATED_DIR ${PROJECT_BINARY_DIR}/packaging)
set(CORVANE_DEFAULTS_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/corvane-server)
set(CORVANE_LOGROTATE_FILE ${CMAKE_INSTALL_FULL_SYSCONFDIR}/logrotate.d/corvane-server)
set(CORVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/corvane-server)

# The system service, installed disabled: nothing enables or starts it.
configure_file(${CORVANE_PACKAGING_DIR}/corvane-server.service.in
               ${CORVANE_GENERATED_DIR}/corvane-server.service @ONLY)
install(FILES ${CORVANE_GENERATED_DIR}/corvane-server.service
        DESTINATION lib/systemd/system)
# Its daily backup, installed disabled too.
configure_file(${CORVANE_PACKAGING_DIR}/corvane-server-backup.service.in
               ${CORVANE_GENERATED_DIR}/corvane-server-backup.service @ONLY)
install(FILES ${CORVANE_GENERATED_DIR}/corvane-server-backup.service
              ${CORVANE_PACKAGING_DIR}/corvane-server-backup.timer
        DESTINATION lib/systemd/system)
install(FILES ${CORVANE_PACKAGING_DIR}/corvane-server.default
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default RENAME corvane-server)
install(FILES ${CORVANE_PACKAGING_DIR}/corvane-server.logrotate
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/logrotate.d RENAME corvane-server)
install(FILES ${CORVANE_PACKAGING_DIR}/corvane-server.sysusers
        DESTINATION lib/sysusers.d RENAME corvane-server.conf)
install(FILES ${CORVANE_PACKAGING_DIR}/corvane-server.tmpfiles
        DESTINATION lib/tmpfiles.d RENAME corvane-server.conf)

configure_file(${CORVANE_PACKAGING_DIR}/example.quillon.CorvaneServer.metainfo.xml
               ${CORVANE_GENERATED_DIR}/example.quillon.CorvaneServer.metainfo.xml @ONLY)
install(FILES ${CORVANE_GENERATED_DIR}/example.quillon.CorvaneServer.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants the changelog and the man pages compressed, reproducibly (no time stamp).
configure_file(${CORVANE_PACKAGING_DIR}/changelog ${CORVANE_GENERATED_DIR}/changelog @ONLY)
set(compressed_docs ${CORVANE_GENERATED_DIR}/changelog.gz)
add_custom_command(OUTPUT ${CORVANE_GENERATED_DIR}/changelog.gz
  COMMAND gzip -9nf -k ${CORVANE_GENERATED_DIR}/changelog
  DEPENDS ${CORVANE_GENERATED_DIR}/changelog VERBATIM)
install(FILES ${CORVANE_GENERATED_DIR}/changelog.gz ${CORVANE_PACKAGING_DIR}/copyright
        DESTINATION ${CORVANE_DOC_DIR})

# The man pages are written for scdoc (Debian: scdoc), which only packaging needs.
find_program(CORVANE_SCDOC scdoc)
set(man_pages)
if(CORVANE_SCDOC)
  foreach(program corvane-server corvane-client)
    set(source ${PROJECT_SOURCE_DIR}/man/${program}.1.scd)
    set(page ${CORVANE_GENERATED_DIR}/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND sh -c "'${CORVANE_SCDOC}' < '${source}' | gzip -9n > '${page}'"
      DEPENDS ${source} VERBATIM)
    list(APPEND man_pages ${page})
  endforeach()
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "scdoc not found: the man pages are not built (the package needs them)")
endif()
add_custom_target(corvane_package_docs ALL DEPENDS ${compressed_docs} ${man_pages})

# The package. Its dependencies are those of the binaries, found by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME corvane-server)
set(CPACK_PACKAGE_VENDOR "Quillon Software")
set(CPACK_PACKAGE_CONTACT "Quillon Software <packages@quillon.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "database server for handheld clients")
# Lines of the long description; CPack keeps the line breaks.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Corvane Database Server publishes SQLite and Microsoft Access database files"
  "to handheld clients, which connect over TCP/IP or from a web browser, log on,"
  "and browse, edit, search, sort and query them."
  "."
  "The desktop program shows the activity and the connected users, and its setup"
  "dialog sets the port, the options, the published databases and the users. The"
  "same server runs without windows as a system service, installed disabled."
  "."
  "The package also holds the reference command-line client, corvane-client.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.quillon.example/")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
file(WRITE ${CORVANE_GENERATED_DIR}/conffiles "${CORVANE_DEFAULTS_FILE}\n${CORVANE_LOGROTATE_FILE}\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CORVANE_GENERATED_DIR}/conffiles ${CORVANE_PACKAGING_DIR}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "A Debian package wants -DCMAKE_INSTALL_PREFIX=/usr")
endif()
include(CPack)
