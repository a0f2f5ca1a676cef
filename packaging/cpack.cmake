# The Debian package: `cpack -G DEB` in a build folder, or `scripts/run
# package`, which builds the `package` preset (updates left to the package
# manager, TALLYBIRD_SELF_UPDATE=OFF) first. Everything it holds comes from
# the install rules; packaging/README.md says what lintian says of it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallybird)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tallybird developers")
set(CPACK_PACKAGE_CONTACT "Tallybird developers <packages@tallybird.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program for the Kivo animal-microchip scanner")
set(CPACK_PACKAGE_DESCRIPTION
    "Tallybird sits in the tray and, whenever a Kivo Scanner is plugged in, uploads
the chips scanned since last time to the Tallybird online service, loads the
latest list of chips of missing animals into the scanner and shows the chips
read, marking any missing animal.
.
The package sets the machine up for it: a udev rule gives the user at the
seat access to the scanner's serial port and keeps ModemManager away from it,
the program starts in the tray at login, and a systemd user service runs
tallybird-cli watch where no desktop program runs.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# Installed as into /usr, with DESTDIR, so the install rules see the prefix
# the package has (the login entry goes to /etc/xdg/autostart).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tallybird_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tallybird.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/conffiles
    ${PROJECT_SOURCE_DIR}/packaging/postinst
    ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
