# Where `cmake --install` puts things: the usual Linux tree under the prefix.
#   bin/                       lumatrace, zeptool
#   lib/<multiarch>/           libzep9100.so, libzep9100fft.so (loaded by the program at run time)
#   share/                     desktop entry, metainfo, icons, file type, manual pages
# Debian keeps libraries in lib/<multiarch>; GNUInstallDirs picks that only for the /usr prefix,
# so it is made the default here for every prefix, and a /usr/local or /opt install looks the same.
if(NOT DEFINED CMAKE_INSTALL_LIBDIR AND CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH
    "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)

# The program dlopens its two libraries by file name: first beside itself, then on the library
# search path. Installed, they sit in the library folder, which the dynamic loader searches for a
# dlopen from the program through the program's RUNPATH; relative to the program, so the tree
# works wherever it is installed or unpacked.
file(RELATIVE_PATH LUMATRACE_BIN_TO_LIB
  "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${CMAKE_INSTALL_LIBDIR}")
set(LUMATRACE_INSTALL_RUNPATH "$ORIGIN/${LUMATRACE_BIN_TO_LIB}")
