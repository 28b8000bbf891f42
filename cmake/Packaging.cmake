# The Debian package: `cpack -G DEB` in the build folder makes
# kestova-downloader_<version>_<arch>.deb from what `cmake --install` installs, with its
# dependencies (Qt 6, libcurl, ...) found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestova-downloader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestova")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware downloader for the Kestova kx410 radio-control unit")
set(CPACK_PACKAGE_DESCRIPTION
  "Updates the firmware of a kx410 unit through the Tetherix programming cable, driven\n"
  "through FTDI's D2XX library or as a serial port. The image comes from a local .fwr file\n"
  "or from the firmware service. Includes the window program kestova-downloader, the\n"
  "command line kestova-flash and a udev rule for the cable.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kestova Firmware Downloader developers <downloader@kestova.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
