# Files installed compressed, as Debian wants manual pages and changelogs (gzip -9n: no name
# or time stamp inside, so the same input gives the same bytes).
find_program(HX_GZIP gzip REQUIRED)

# hx_gzip(<file> <result>): builds <file>.gz in the build tree; its path goes into <result>.
function(hx_gzip file result)
  get_filename_component(name ${file} NAME)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/gz/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${file} ${copy}
    COMMAND ${HX_GZIP} -9nf ${copy}
    DEPENDS ${file}
    VERBATIM)
  add_custom_target(hx_gzip_${name} ALL DEPENDS ${copy}.gz)
  set(${result} ${copy}.gz PARENT_SCOPE)
endfunction()

# hx_install_man(<page> <component>): man/<name>.<section>, into share/man/man<section>.
function(hx_install_man page component)
  get_filename_component(section ${page} LAST_EXT)
  string(SUBSTRING ${section} 1 -1 section)
  hx_gzip(${PROJECT_SOURCE_DIR}/${page} compressed)
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
    COMPONENT ${component})
endfunction()
