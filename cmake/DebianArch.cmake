# hx_debian_arch(<variable>): the Debian architecture the build is for (amd64, arm64, i386, ...),
# or empty when it cannot be told. A cross build's is not the build machine's: it is worked out
# from the multiarch name the toolchain gives (CMAKE_LIBRARY_ARCHITECTURE).
function(hx_debian_arch variable)
  set(arch "")
  find_program(HX_DPKG_ARCHITECTURE dpkg-architecture)
  if(CMAKE_LIBRARY_ARCHITECTURE AND HX_DPKG_ARCHITECTURE)
    execute_process(
      COMMAND ${HX_DPKG_ARCHITECTURE} -t${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
      OUTPUT_VARIABLE arch ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  set(${variable} "${arch}" PARENT_SCOPE)
endfunction()
