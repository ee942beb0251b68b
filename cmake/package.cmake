# The Debian package: `cpack -G DEB` in a build directory makes
# lunadesk_<version>_<arch>.deb from what `cmake --install` lays out under
# /usr. The shared libraries the programs link are found by dpkg-shlibdeps;
# the commands that the report services start are recommended, since the
# maintenance programs run without them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lunadesk)
set(CPACK_PACKAGE_VENDOR lunadesk)
set(CPACK_PACKAGE_CONTACT "lunadesk maintainers <lunadesk@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "character-terminal accounting programs on SQLite or PostgreSQL")
set(CPACK_PACKAGE_DESCRIPTION
  "Three 24x80 terminal programs of an accounting suite: repnamedt (salesman
names), tugedit (tax use groups and their tax links) and itemsclr (clears
matched receivable open items), with lunadesk-db, which creates the schema
and a demo data set, and the report commands txt2pdf and prnt. They run on
an embedded SQLite database or a PostgreSQL server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "less, enscript, ghostscript, cups-client, bsd-mailx | mailutils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "postgresql")
include(CPack)
