# The one changelog, packaging/CHANGES.md, as each package carries it:
#   ${zq_generated}/changelog.Debian.gz  the Debian changelog (gzip -9n)
#   ${zq_generated}/CHANGES.txt          every version, as plain text
#   ZQ_LATEST_CHANGES                    this version's items, for README.txt
#   ZQ_APPSTREAM_RELEASES                the <release> elements of AppStream
# Included by Packaging.cmake with zq_generated, zq_debian_revision and
# ZQ_PACKAGE_CONTACT set. A version heading reads "## VERSION (YYYY-MM-DD)";
# its items begin with "- " and go on over lines indented by two spaces.

set(zq_changes_source ${PROJECT_SOURCE_DIR}/packaging/CHANGES.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${zq_changes_source})

# Day of the week of a date (Sakamoto's method): "Mon", "Tue"...
function(zq_weekday year month day out)
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET offsets ${index} offset)
  if(month LESS 3)
    math(EXPR year "${year} - 1")
  endif()
  math(EXPR dow "(${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + ${offset} + ${day}) % 7")
  set(names Sun Mon Tue Wed Thu Fri Sat)
  list(GET names ${dow} name)
  set(${out} ${name} PARENT_SCOPE)
endfunction()

set(zq_month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)

file(READ ${zq_changes_source} zq_changes)
# Semicolons and brackets would split CMake lists: carried through as
# placeholders.
string(REPLACE ";" "<zq-semicolon>" zq_changes "${zq_changes}")
string(REPLACE "[" "<zq-open>" zq_changes "${zq_changes}")
string(REPLACE "]" "<zq-close>" zq_changes "${zq_changes}")
string(REPLACE "\r" "" zq_changes "${zq_changes}")
string(REPLACE "\n" ";" zq_change_lines "${zq_changes}")

set(zq_debian "")
set(zq_text "")
set(ZQ_LATEST_CHANGES "")
set(ZQ_APPSTREAM_RELEASES "")
set(zq_entry_version "")
set(zq_entry_count 0)
set(zq_line_number 0)
# Closes the Debian entry of the version read so far.
macro(zq_close_entry)
  if(zq_entry_version)
    string(APPEND zq_debian "\n -- ${ZQ_PACKAGE_CONTACT}  ${zq_entry_date}\n")
  endif()
endmacro()
foreach(line IN LISTS zq_change_lines)
  math(EXPR zq_line_number "${zq_line_number} + 1")
  string(LENGTH "${line}" zq_length)
  if(line MATCHES "^## ([0-9][0-9.]*) \\(([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])\\)$")
    zq_close_entry()
    set(zq_entry_version ${CMAKE_MATCH_1})
    set(year ${CMAKE_MATCH_2})
    set(zq_iso_date "${CMAKE_MATCH_2}-${CMAKE_MATCH_3}-${CMAKE_MATCH_4}")
    set(zq_day_text ${CMAKE_MATCH_4})
    string(REGEX REPLACE "^0" "" month "${CMAKE_MATCH_3}")
    string(REGEX REPLACE "^0" "" day "${zq_day_text}")
    if(month LESS 1 OR month GREATER 12 OR day LESS 1 OR day GREATER 31)
      message(FATAL_ERROR "${zq_changes_source}:${zq_line_number}: no such date: ${line}")
    endif()
    zq_weekday(${year} ${month} ${day} weekday)
    math(EXPR month_index "${month} - 1")
    list(GET zq_month_names ${month_index} month_name)
    set(zq_entry_date "${weekday}, ${zq_day_text} ${month_name} ${year} 00:00:00 +0000")
    math(EXPR zq_entry_count "${zq_entry_count} + 1")
    if(zq_entry_count GREATER 1)
      string(APPEND zq_text "\n")
      string(APPEND ZQ_APPSTREAM_RELEASES "\n")
    endif()
    string(APPEND ZQ_APPSTREAM_RELEASES "    <release version=\"${zq_entry_version}\" "
                                        "date=\"${zq_iso_date}\"/>")
    string(APPEND zq_debian "${PROJECT_NAME} (${zq_entry_version}-${zq_debian_revision}) "
                            "unstable; urgency=medium\n\n")
    string(APPEND zq_text "${PROJECT_NAME} ${zq_entry_version} (${zq_iso_date})\n")
  elseif(line MATCHES "^## ")
    message(FATAL_ERROR "${zq_changes_source}:${zq_line_number}: a version heading reads "
                        "\"## VERSION (YYYY-MM-DD)\", not: ${line}")
  elseif(zq_entry_version AND line MATCHES "^(- |  )(.*)$")
    if(zq_length GREATER 72)
      message(FATAL_ERROR "${zq_changes_source}:${zq_line_number}: longer than 72 characters")
    endif()
    if(CMAKE_MATCH_1 STREQUAL "- ")
      string(APPEND zq_debian "  * ${CMAKE_MATCH_2}\n")
      string(APPEND zq_text "  - ${CMAKE_MATCH_2}\n")
      set(zq_item "  - ${CMAKE_MATCH_2}\n")
    else()
      string(APPEND zq_debian "    ${CMAKE_MATCH_2}\n")
      string(APPEND zq_text "    ${CMAKE_MATCH_2}\n")
      set(zq_item "    ${CMAKE_MATCH_2}\n")
    endif()
    if(zq_entry_count EQUAL 1)
      string(APPEND ZQ_LATEST_CHANGES "${zq_item}")
    endif()
  endif()
endforeach()
zq_close_entry()

if(zq_entry_count EQUAL 0)
  message(FATAL_ERROR "${zq_changes_source}: no version in it")
endif()
# The newest entry is the version being built; its version heading is
# the first one.
string(REGEX MATCH "^[^ ]+ \\(([^)]*)-" zq_newest "${zq_debian}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(WARNING "${zq_changes_source}: the newest version is ${CMAKE_MATCH_1}, but this is "
                  "${PROJECT_VERSION}: add its changes before making a package")
endif()

foreach(var zq_debian zq_text ZQ_LATEST_CHANGES)
  string(REPLACE "<zq-semicolon>" ";" ${var} "${${var}}")
  string(REPLACE "<zq-open>" "[" ${var} "${${var}}")
  string(REPLACE "<zq-close>" "]" ${var} "${${var}}")
endforeach()
string(REGEX REPLACE "\n$" "" ZQ_LATEST_CHANGES "${ZQ_LATEST_CHANGES}")

# Written only when changed, so that nothing is rebuilt for nothing.
function(zq_write_if_changed file text)
  file(WRITE ${file}.tmp "${text}")
  file(COPY_FILE ${file}.tmp ${file} ONLY_IF_DIFFERENT)
  file(REMOVE ${file}.tmp)
endfunction()

if(WIN32)
  # configure_file ends the template's lines as asked, not those of a value.
  string(REPLACE "\n" "\r\n" ZQ_LATEST_CHANGES "${ZQ_LATEST_CHANGES}")
  string(REPLACE "\n" "\r\n" zq_text "${zq_text}")
  zq_write_if_changed(${zq_generated}/CHANGES.txt "${zq_text}")
else()
  zq_write_if_changed(${zq_generated}/changelog.Debian "${zq_debian}")
  # gzip -n: no name nor time stamp in the file, so the package is reproducible
  find_program(ZQ_GZIP gzip REQUIRED)
  if(${zq_generated}/changelog.Debian IS_NEWER_THAN ${zq_generated}/changelog.Debian.gz)
    execute_process(COMMAND ${ZQ_GZIP} -9n -c ${zq_generated}/changelog.Debian
                    OUTPUT_FILE ${zq_generated}/changelog.Debian.gz
                    RESULT_VARIABLE zq_gzip_result)
    if(NOT zq_gzip_result EQUAL 0)
      message(FATAL_ERROR "gzip of ${zq_generated}/changelog.Debian failed: ${zq_gzip_result}")
    endif()
  endif()
endif()
