# Manual pages and the players' guide of the Debian package. The tools' pages
# are made at build time by help2man from their own --help and --version;
# the panel, which takes no command line, has its page written in
# packaging/man. Included by Packaging.cmake once zq_programs is known.
if(WIN32 OR CMAKE_CROSSCOMPILING)
  return()
endif()

find_program(ZQ_HELP2MAN help2man)
find_program(ZQ_GZIP gzip)
set(zq_man_dir ${CMAKE_BINARY_DIR}/generated/man)
file(MAKE_DIRECTORY ${zq_man_dir})
set(zq_man_pages "")
foreach(entry ${zq_programs})
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 description)
  if(NOT TARGET ${name})
    continue()
  endif()
  set(page ${zq_man_dir}/${name}.1)
  if(EXISTS ${PROJECT_SOURCE_DIR}/packaging/man/${name}.1.in)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/man/${name}.1.in ${page}.src @ONLY)
    set(make_page ${CMAKE_COMMAND} -E copy ${page}.src ${page})
  elseif(ZQ_HELP2MAN)
    # SOURCE_DATE_EPOCH keeps the page's date, and so the package, reproducible
    set(make_page ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1700000000
        ${ZQ_HELP2MAN} --no-info --section=1 --name=${description}
        --version-string=${PROJECT_VERSION} --output=${page} $<TARGET_FILE:${name}>)
  else()
    message(STATUS "help2man not found: no manual page for ${name} "
                   "(bash scripts/deps.sh packaging installs it)")
    continue()
  endif()
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${make_page}
    COMMAND ${ZQ_GZIP} -9nf ${page}
    DEPENDS ${name}
    COMMENT "Manual page of ${name}" VERBATIM)
  list(APPEND zq_man_pages ${page}.gz)
endforeach()
if(zq_man_pages)
  add_custom_target(zq_man_pages ALL DEPENDS ${zq_man_pages})
  install(FILES ${zq_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The players' guide: README.md from installing to the links into docs/
# ("## More"), with the curve picture it shows.
file(READ ${PROJECT_SOURCE_DIR}/README.md zq_readme)
string(FIND "${zq_readme}" "\n## For players" zq_guide_begin)
string(FIND "${zq_readme}" "\n## More" zq_guide_end)
if(zq_guide_begin LESS 0 OR zq_guide_end LESS zq_guide_begin)
  message(FATAL_ERROR "README.md: the players' sections moved; update cmake/ManPages.cmake")
endif()
math(EXPR zq_guide_length "${zq_guide_end} - ${zq_guide_begin}")
string(SUBSTRING "${zq_readme}" ${zq_guide_begin} ${zq_guide_length} zq_guide)
file(WRITE ${zq_generated}/players-guide.md
     "# zq-thrust ${PROJECT_VERSION}: the players' guide\n${zq_guide}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
install(FILES ${zq_generated}/players-guide.md DESTINATION ${zq_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/docs/players-curves.svg DESTINATION ${zq_doc_dir}/docs)
