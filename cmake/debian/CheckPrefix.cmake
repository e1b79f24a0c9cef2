# Read by cpack before it builds the packages: they must come from a build for the prefix /usr.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_HX_CONFIGURED_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "The Debian packages come from a build configured for /usr, not for "
                      "${CPACK_HX_CONFIGURED_PREFIX}: cmake --workflow --preset package")
endif()

# dpkg-shlibdeps looks for the libraries the binaries need, and the packages that hold them,
# for the architecture the packages are for.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
