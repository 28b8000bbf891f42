# The Debian package: `cpack -G DEB` in the build folder makes
# kestova-downloader_<version>_<arch>.deb from what `cmake --install` installs, with its
# dependencies (Qt 6, libcurl, ...) found by dpkg-shlibdeps. scripts/package.sh builds the tree
# for it with Debian's hardening flags.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestova-downloader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestova")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware downloader for the Kestova kx410 radio-control unit")
# Lines of the extended description stay under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
  "Updates the firmware of a kx410 unit through the Tetherix programming cable,\n"
  "driven through FTDI's D2XX library or as a serial port. The image comes from\n"
  "a local .fwr file or from a firmware service that the user sets. Includes the\n"
  "window program kestova-downloader, the command line kestova-flash and a udev\n"
  "rule for the cable.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kestova Firmware Downloader developers <downloader@kestova.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Installed binaries are stripped: their debug symbols are left out of the package.
set(CPACK_STRIP_FILES ON)
# postinst applies the cable's udev rule to a cable already plugged in; postrm forgets it.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/data/debian/postinst ${CMAKE_SOURCE_DIR}/data/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
