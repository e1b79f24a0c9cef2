# What the toolchain files beside this one share: Debian's cross compilers, which bring the
# target's C library and C++ runtime under /usr/<GNU type> (package g++-<GNU type>, for example
# g++-aarch64-linux-gnu), and qemu-user to run what they build.
#
# The including file sets:
#   HX_GNU_TYPE                 the compilers' prefix, e.g. aarch64-linux-gnu
#   CMAKE_SYSTEM_PROCESSOR      the target's processor
#   CMAKE_LIBRARY_ARCHITECTURE  Debian's multiarch name: libraries go to /usr/lib/<it>
#   HX_QEMU                     the qemu-user program that runs the target's programs, or empty
#                               when the build machine's kernel runs them itself
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${HX_GNU_TYPE}-g++)
# GoogleTest's own project enables C as well.
set(CMAKE_C_COMPILER ${HX_GNU_TYPE}-gcc)

# Headers, libraries and CMake packages come from the target's tree only, never from the build
# machine's; programs (the checkers the tests run) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${HX_GNU_TYPE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest and GoogleTest's discovery run the test programs through the emulator. The target's
# libraries come from one place only: the loader and libc.so.6 of two different glibc builds
# do not work together (a forked child loops forever in fork). Where Debian's own libraries for
# the target are installed (dpkg --add-architecture, then libstdc++6:<arch>), qemu finds them as
# the target would; otherwise -L makes the cross compilers' tree the root in which qemu looks.
if(HX_QEMU)
  find_program(HX_QEMU_PROGRAM ${HX_QEMU})
  if(NOT HX_QEMU_PROGRAM)
    message(FATAL_ERROR "${HX_QEMU} not found; on Debian: apt-get install qemu-user")
  endif()
  if(EXISTS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libc.so.6)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${HX_QEMU_PROGRAM})
  else()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${HX_QEMU_PROGRAM} -L /usr/${HX_GNU_TYPE})
  endif()
endif()
