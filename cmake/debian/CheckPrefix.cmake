# Read by cpack before it builds the packages: they must come from a build for the prefix /usr.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_HX_CONFIGURED_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "The Debian packages come from a build configured for /usr, not for "
                      "${CPACK_HX_CONFIGURED_PREFIX}: cmake --workflow --preset package")
endif()
