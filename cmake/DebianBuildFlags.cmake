# Debian's default compiler and linker flags, which dpkg-buildflags hands every package build:
# -O2, _FORTIFY_SOURCE, the stack protector and format checks, relro and, with hardening=+all,
# bindnow. They are asked for the architecture the build is for, and apply to everything built
# here. A DEB_BUILD_MAINT_OPTIONS or DEB_*FLAGS_APPEND in the environment changes them as it
# would in a package build.
include(${CMAKE_CURRENT_LIST_DIR}/DebianArch.cmake)
find_program(HX_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT HX_DPKG_BUILDFLAGS)
  message(FATAL_ERROR "HXCONSOLE_DEBIAN_BUILDFLAGS needs dpkg-buildflags; on Debian: "
                      "apt-get install dpkg-dev")
endif()

set(hx_buildflags_env)
if(NOT DEFINED ENV{DEB_BUILD_MAINT_OPTIONS})
  list(APPEND hx_buildflags_env DEB_BUILD_MAINT_OPTIONS=hardening=+all)
endif()
hx_debian_arch(hx_deb_host_arch)
if(hx_deb_host_arch)
  list(APPEND hx_buildflags_env DEB_HOST_ARCH=${hx_deb_host_arch})
endif()

# Run from the source tree: dpkg-buildflags maps the directory it runs in to "." in the debug
# information (-ffile-prefix-map), so that the build does not depend on where the tree is.
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${hx_buildflags_env} ${HX_DPKG_BUILDFLAGS} --get ${kind}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE hx_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE hx_failed)
  if(hx_failed)
    message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
  endif()
  separate_arguments(hx_${kind} UNIX_COMMAND "${hx_${kind}}")
endforeach()
message(STATUS "Debian build flags (${hx_deb_host_arch}): ${hx_CPPFLAGS} ${hx_CXXFLAGS}; "
               "linking: ${hx_LDFLAGS}")
add_compile_options(${hx_CPPFLAGS} ${hx_CXXFLAGS})
add_link_options(${hx_LDFLAGS})
