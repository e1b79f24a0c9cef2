# Debian s390x, big-endian: g++-s390x-linux-gnu, programs run under qemu-s390x.
set(HX_GNU_TYPE s390x-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_LIBRARY_ARCHITECTURE s390x-linux-gnu)
set(HX_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
