# Debian i386: g++-i686-linux-gnu. An x86-64 kernel runs the programs itself, with Debian's
# i386 libraries (libstdc++6:i386); qemu-i386 is not used.
set(HX_GNU_TYPE i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(HX_QEMU "")
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
