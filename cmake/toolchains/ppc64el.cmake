# Debian ppc64el, little-endian POWER: g++-powerpc64le-linux-gnu, programs run under
# qemu-ppc64le.
set(HX_GNU_TYPE powerpc64le-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(CMAKE_LIBRARY_ARCHITECTURE powerpc64le-linux-gnu)
set(HX_QEMU qemu-ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
