# The Debian package that scripts/package makes with CPack: what the install
# rules place (the window, the command line, the icon, the menu entry, the
# manual pages, the bash completion, the copyright and the changelog) under
# /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gridshift)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "moves advertising blocks in a radio station's grid")
set(CPACK_PACKAGE_DESCRIPTION "gridshift moves every advertising block that starts at one minute of the
hour to another minute, for the days and hours ticked, in the two Paradox
tables of a station automation program's database (AdvSetBlk.db and
AdvBlock.db). It has a window and a command line, gridshift-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "gridshift maintainers <gridshift@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Libraries the programs link come from dpkg-shlibdeps; Qt's platform
# plugins are loaded at run time, out of its sight.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The window's form font is the nearest in width to the one its layout was made for.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
include(CPack)
