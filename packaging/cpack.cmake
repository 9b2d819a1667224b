# A Debian package of what `cmake --install` puts in place: `cpack -G DEB` in
# a build folder makes morvane-control_<version>_<arch>.deb. The libraries it
# needs are worked out from the programs themselves (dpkg-shlibdeps, from
# dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvane-control)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Morvane Control developers")
set(CPACK_PACKAGE_CONTACT "Morvane Control developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "control panel for a computerised equatorial telescope mount")
set(CPACK_PACKAGE_DESCRIPTION
    "One window to drive a computerised equatorial telescope mount over a serial line\n\
(9600 baud, 8N1): open the port, watch the telescope's right ascension and\n\
declination live, send it to typed coordinates, align it on a star, look up\n\
eclipsing binaries in the bundled catalogue, park it east, switch tracking and\n\
set its clock. Includes morvane-mount-sim, a simulated mount on a\n\
pseudo-terminal to try the program without hardware.")
# Debug information stays in the build tree, not in the package.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Morvane Control developers")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

include(CPack)
