# `cpack` (from the build directory) makes a Debian package of everything `cmake --install`
# installs, under /usr, with its dependencies taken from the binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_PACKAGE_CONTACT "Quorvel developers <dev@quorvel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "WSQ fingerprint image codec and raster image conversion")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "libquorvel.so encodes and decodes 8-bit gray fingerprint images in the WSQ format and "
    "converts between WSQ and common raster formats. With the quorvel command-line tool, the "
    "C and C++ headers, a pkg-config file and a CMake package.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Python package in it needs numpy; the library and the tool do not.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-numpy")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-dask, python3-distributed, python3-pil")
# A shlibs file, and postinst/postrm scripts that run ldconfig.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
include(CPack)
