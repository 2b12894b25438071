# make package: a Debian package of the two programs, the desktop entry, the icons and the
# manual pages, built by CPack into the build folder as snyltdyr_VERSION_ARCH.deb.
# Depends comes from the programs' shared libraries (dpkg-shlibdeps) plus the fonts the
# window is laid out in.
include(GNUInstallDirs)
set(SNYLTDYR_MAINTAINER "Snyltdyr developers <snyltdyr@example.org>"
    CACHE STRING "The package's maintainer, name and address")

set(_doc "${CMAKE_INSTALL_DOCDIR}")  # share/doc/snyltdyr
# Native packages keep their changelog as changelog.gz, at the project's version.
set(_changelog "${CMAKE_BINARY_DIR}/packaging/changelog")
configure_file("${CMAKE_SOURCE_DIR}/packaging/changelog.in" "${_changelog}" @ONLY)
add_custom_command(
  OUTPUT "${_changelog}.gz"
  COMMAND gzip -9nkf "${_changelog}"
  DEPENDS "${_changelog}"
  COMMENT "Package changelog"
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS "${_changelog}.gz")
install(FILES "${CMAKE_SOURCE_DIR}/packaging/copyright" "${_changelog}.gz" DESTINATION "${_doc}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME snyltdyr)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Snyltdyr developers")
set(CPACK_PACKAGE_CONTACT "${SNYLTDYR_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "register of fish-parasite observations")
# The summary above is the synopsis; this is the text below it, as one string (a list
# would reach the control file with its semicolons).
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "A desktop program in which a fish-farm laboratory keeps its register of\n"
       "fish-parasite observations in a dBASE table (SNYLTDYR.DBF with its memo and\n"
       "index files) shared with other programs: a data grid, a record navigator,\n"
       "one-click selections with their count and severity grade, and a normaliser\n"
       "that cleans every record before it is written. The command-line companion\n"
       "snyltdyr-cli offers the same register to scripts and batch work.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}")
include(CPack)
