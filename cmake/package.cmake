# The Debian package: `cpack -G DEB` in a build directory makes
# lunadesk_<version>-<release>_<arch>.deb from what `cmake --install` lays
# out under /usr, with the copyright file (the Apache License 2.0, in
# Debian's machine-readable format) and the Debian changelog in
# /usr/share/doc/lunadesk. The shared libraries the programs link are found
# by dpkg-shlibdeps; the commands that the report services start are
# recommended, since the maintenance programs run without them: s-nail is
# the mail command whose -a attaches a file, and ncurses-term holds the
# terminfo entries of the terminals beyond the few of ncurses-base.
set(LUNADESK_MAINTAINER "lunadesk maintainers <maintainers@lunadesk.org>" CACHE STRING
    "The package's maintainer, as name and mail address")
set(LUNADESK_DEB_RELEASE 1)
set(LUNADESK_DEB_VERSION ${PROJECT_VERSION}-${LUNADESK_DEB_RELEASE})

set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/lunadesk)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
  COMMAND ${GZIP} -9n -c ${CMAKE_BINARY_DIR}/debian/changelog.Debian > ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian
  COMMENT "Debian changelog")
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
        DESTINATION ${doc_dir})
# The one lintian hint that does not apply, with the reason in the file.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME lunadesk)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lunadesk)
set(CPACK_PACKAGE_VENDOR lunadesk)
set(CPACK_PACKAGE_CONTACT "${LUNADESK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "character-terminal accounting programs on SQLite or PostgreSQL")
set(CPACK_PACKAGE_DESCRIPTION
  "Three 24x80 terminal programs of an accounting suite: repnamedt (salesman
names), tugedit (tax use groups and their tax links) and itemsclr (clears
matched receivable open items), with lunadesk-db, which creates the schema
and a demo data set, and the report commands txt2pdf and prnt. They run on
an embedded SQLite database or a PostgreSQL server.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${LUNADESK_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "less, enscript, ghostscript, cups-client, s-nail, ncurses-term")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "postgresql")
include(CPack)
