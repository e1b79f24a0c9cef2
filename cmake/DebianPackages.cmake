# Three Debian packages, split the way Debian ships a library, made by `cpack` in a build
# configured for the prefix /usr (the package preset):
#   libhxconsole1     the shared library                           (install component lib)
#   libhxconsole-dev  headers, the unversioned link, the CMake package, the .pc file and
#                     hxconsole(3); depends on exactly this libhxconsole1      (component dev)
#   hxconsole-tools   the tools and their manual pages                       (component tools)
# Each carries the licence as a machine-readable copyright file, and a changelog.
set(HXCONSOLE_DEB_MAINTAINER
  "The hxconsole developers <maintainers@users.noreply.c-seed-c38cbca3.example>"
  CACHE STRING "Maintainer field of the Debian packages")

set(hx_deb_version ${PROJECT_VERSION}-1)
set(hx_lib_package libhxconsole${PROJECT_VERSION_MAJOR})

# The copyright file quotes LICENSE: its copyright line, then the licence text with each line
# indented by one blank and each empty line written as " .", as the format requires.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE hx_licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" hx_copyright "${hx_licence}")
set(hx_copyright ${CMAKE_MATCH_1})
string(FIND "${hx_licence}" "Permission" hx_start)
string(SUBSTRING "${hx_licence}" ${hx_start} -1 hx_licence_text)
string(STRIP "${hx_licence_text}" hx_licence_text)
string(REPLACE "\n\n" "\n.\n" hx_licence_text "${hx_licence_text}")
string(REPLACE "\n" "\n " hx_licence_text " ${hx_licence_text}")
set(hx_deb_dir ${CMAKE_CURRENT_BINARY_DIR}/debian)
configure_file(cmake/debian/copyright.in ${hx_deb_dir}/copyright @ONLY)
configure_file(cmake/debian/changelog.in ${hx_deb_dir}/changelog.Debian @ONLY)
hx_gzip(${hx_deb_dir}/changelog.Debian hx_changelog)

# Only the packages carry these; a plain `cmake --install` leaves them out.
set(hx_components lib dev tools)
set(hx_packages ${hx_lib_package} libhxconsole-dev hxconsole-tools)
foreach(component package IN ZIP_LISTS hx_components hx_packages)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
  install(FILES ${hx_deb_dir}/copyright ${hx_changelog}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME hxconsole)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${HXCONSOLE_DEB_MAINTAINER})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Staged through DESTDIR, so that the install runs with the build's own prefix (/usr) and the
# .pc file, written at install time, names /usr rather than the staging directory.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The packages are for the architecture the build is for, which in a cross build is not the
# build machine's (CPack's own choice).
include(${CMAKE_CURRENT_LIST_DIR}/DebianArch.cmake)
hx_debian_arch(hx_deb_arch)
if(hx_deb_arch)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${hx_deb_arch})
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE hxconsole)
# dpkg-shlibdeps works out the libc and libstdc++ versions the binaries need; the shlibs
# file lets packages built against the library do the same. For another architecture it reads
# Debian's own packages of that architecture (libstdc++6:<arch>, after dpkg --add-architecture).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The tools need the library from this build, which no installed package provides yet; their
# dependency on it is written out below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})

# Each description: a synopsis line, then lines of the extended description. An empty
# package summary keeps CPack from putting the project's description in front of them.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_DESCRIPTION "operator dialogue on a text terminal, and text scrambling
The hxconsole library asks an operator on a text terminal for text,
numbers, yes/no answers and passwords typed without echo, offers
numbered menus, and scrambles short texts such as stored passwords
so that they are not in plain sight (this is not encryption).")
# The loader's cache learns of the library through dpkg's trigger.
file(WRITE ${hx_deb_dir}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${hx_deb_dir}/triggers)

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${hx_lib_package} (= ${hx_deb_version})")
set(CPACK_DEBIAN_DEV_DESCRIPTION "operator dialogue and text scrambling: development files
The headers, the CMake package HxConsole, the pkg-config file
hxconsole and the manual page hxconsole(3), for building programs
against the hxconsole library.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${hx_lib_package} (= ${hx_deb_version})")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tools of the hxconsole library
hxscramble keeps a secret for a configuration file out of plain
sight and restores it; hxask asks a shell script's questions (numbers,
yes/no, text, passwords without echo, menus) on the terminal; hxdemo
is a guided tour of every prompt and menu of the hxconsole library.")

# Debian installs libraries under /usr/lib/<multiarch> and tools without an rpath; only a
# build configured for /usr has them there.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/debian/CheckPrefix.cmake)
set(CPACK_HX_CONFIGURED_PREFIX ${CMAKE_INSTALL_PREFIX})

include(CPack)
