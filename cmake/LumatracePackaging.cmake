# The Debian packages, built by `cmake --build build --target package` (or `cpack -G DEB` in the
# build folder): lumatrace (the program with its libraries and desktop files) and zeptool.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumatrace)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumatrace developers")
set(CPACK_PACKAGE_CONTACT "Lumatrace developers <lumatrace@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL lumatrace zeptool)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Runtime dependencies come from the ELF files themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The icon, desktop, MIME and manual page caches are refreshed by the file triggers of
# hicolor-icon-theme, desktop-file-utils, shared-mime-info and man-db, so the packages need no
# maintainer scripts. The two libraries are found through the program's RUNPATH, not ldconfig.

set(CPACK_DEBIAN_LUMATRACE_PACKAGE_NAME lumatrace)
set(CPACK_DEBIAN_LUMATRACE_PACKAGE_SECTION electronics)
# The program's texts are Japanese; without a Japanese face they show as boxes.
set(CPACK_DEBIAN_LUMATRACE_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-japanese-gothic")
set(CPACK_DEBIAN_LUMATRACE_PACKAGE_SUGGESTS zeptool)
set(CPACK_DEBIAN_LUMATRACE_DESCRIPTION
"software of the ZEP-9100 two-channel USB oscilloscope
Lumatrace captures, shows, measures and saves the traces of the ZEP-9100,
a two-channel USB digital storage oscilloscope with 10-bit codes and records
of up to 1,000,000 samples per channel. Its device library has a virtual
ZEP-9100 behind it, so the program works without the instrument.")

set(CPACK_DEBIAN_ZEPTOOL_PACKAGE_NAME zeptool)
set(CPACK_DEBIAN_ZEPTOOL_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_ZEPTOOL_DESCRIPTION
"ZEP-9100 parameter files and waveform sets on the command line
zeptool prints the parameter file and the waveform sets that Lumatrace
writes as JSON or CSV, and the automatic measurements of a set's record.")

include(CPack)
