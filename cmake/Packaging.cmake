# What a player installs: the programs, the example Setup.ini and a README,
# as a zip on Windows and a Debian package on Linux, all carrying the one
# version of project() at the top of CMakeLists.txt.
#
#   cmake --install BUILD --prefix DIR            the installed tree
#   cpack --config BUILD/CPackConfig.cmake -B OUT the package, in OUT
#
# Included at the end of the top-level CMakeLists.txt, once every program's
# target exists.

include(GNUInstallDirs)

# Each program (target and file name) and what it is (the Windows file
# description). The Linux panel comes with ZQ_BUILD_LINUX_PANEL.
set(zq_programs
  "zq-thrust|ZQ - Thrust flight control panel"
  "zq-check|zq-thrust Setup.ini checker"
  "zq-setup|zq-thrust Setup.ini editor"
  "zq-listen|zq-thrust command message listener"
  "zq-probe|zq-thrust joystick and key probe"
)

set(zq_generated ${CMAKE_BINARY_DIR}/generated/packaging)
set(zq_example_setup ${PROJECT_SOURCE_DIR}/examples/Setup.ini)

if(WIN32)
  set(zq_bin_dir .)
  set(zq_doc_dir .)
  set(zq_example_dir examples)
else()
  set(zq_bin_dir ${CMAKE_INSTALL_BINDIR})
  set(zq_doc_dir ${CMAKE_INSTALL_DOCDIR})
  set(zq_example_dir ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

# ---- Programs, and on Windows their version resources ----
set(zq_rc_tweak 0)
if(PROJECT_VERSION_TWEAK)
  set(zq_rc_tweak ${PROJECT_VERSION_TWEAK})
endif()
set(ZQ_RC_VERSION_NUMBERS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${zq_rc_tweak}")

set(zq_installed_programs "")
foreach(entry ${zq_programs})
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 ZQ_RC_NAME)
  list(GET fields 1 ZQ_RC_DESCRIPTION)
  set(target ${ZQ_RC_NAME})
  if(NOT TARGET ${target})
    continue()
  endif()
  list(APPEND zq_installed_programs ${ZQ_RC_NAME})
  install(TARGETS ${target} RUNTIME DESTINATION ${zq_bin_dir})
  if(NOT WIN32 AND CMAKE_OBJCOPY)
    # Stripped for a package as Debian strips: the compilers' version notes
    # (.comment) go as well.
    install(CODE "
      set(zq_file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${zq_bin_dir}/${ZQ_RC_NAME}\")
      if(CMAKE_INSTALL_DO_STRIP AND EXISTS \"\${zq_file}\")
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"\${zq_file}\"
                        RESULT_VARIABLE zq_result)
        if(NOT zq_result EQUAL 0)
          message(FATAL_ERROR \"objcopy --remove-section=.comment \${zq_file}: \${zq_result}\")
        endif()
      endif()")
  endif()
  if(WIN32)
    set(ZQ_RC_ICON "")
    if(ZQ_RC_NAME STREQUAL "zq-thrust")
      # The first icon of the file is the one Explorer and the task bar show.
      set(ZQ_RC_ICON "1 ICON \"${PROJECT_SOURCE_DIR}/packaging/icons/zq-thrust.ico\"")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/packaging/version.rc.in
                   ${zq_generated}/${ZQ_RC_NAME}.rc @ONLY)
    target_sources(${target} PRIVATE ${zq_generated}/${ZQ_RC_NAME}.rc)
  endif()
endforeach()
if(NOT "zq-thrust" IN_LIST zq_installed_programs)
  message(STATUS "Packaging: no panel in this build (ZQ_BUILD_LINUX_PANEL=OFF?): "
                 "cmake --install and cpack leave it out")
endif()

# ---- Changelog, license and the players' README ----
set(ZQ_PACKAGE_CONTACT "zq-thrust maintainers <zq-thrust@example.org>"
    CACHE STRING "Maintainer named in the Debian package and its changelog")
set(ZQ_HOMEPAGE "https://zq-thrust.example.org"
    CACHE STRING "Home page named in the AppStream metadata; its screenshots are docs/ there")
set(zq_debian_revision 1)
include(${CMAKE_CURRENT_LIST_DIR}/Changelog.cmake)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
if(WIN32)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE zq_text)
  string(REPLACE "\r\n" "\n" zq_text "${zq_text}")
  string(REPLACE "\n" "\r\n" zq_text "${zq_text}")
  file(WRITE ${zq_generated}/LICENSE.txt "${zq_text}")
  file(READ ${PROJECT_SOURCE_DIR}/packaging/THIRD-PARTY-windows.txt zq_text)
  string(REPLACE "\r\n" "\n" zq_text "${zq_text}")
  string(REPLACE "\n" "\r\n" zq_text "${zq_text}")
  file(WRITE ${zq_generated}/THIRD-PARTY.txt "${zq_text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/packaging/THIRD-PARTY-windows.txt)
  install(FILES ${zq_generated}/LICENSE.txt ${zq_generated}/THIRD-PARTY.txt
                ${zq_generated}/CHANGES.txt DESTINATION ${zq_doc_dir})
else()
  # Debian's machine-readable copyright (the project's files and what is
  # compiled into the programs) and the changelog, where Debian keeps them.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${zq_generated}/changelog.Debian.gz
          DESTINATION ${zq_doc_dir})
  # A first release that closes no Debian bug: zq-thrust is published by its
  # developers, not uploaded to Debian, so no ITP bug exists to close. Gone
  # with the second changelog entry, as the tag is.
  if(zq_entry_count EQUAL 1)
    file(WRITE ${zq_generated}/lintian-overrides
         "# Published by its developers, not uploaded to Debian: no ITP bug to close.\n"
         "${PROJECT_NAME}: initial-upload-closes-no-bugs\n")
    install(FILES ${zq_generated}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            RENAME ${PROJECT_NAME})
  endif()
endif()

# ---- Example settings and the players' README ----
if(WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt.in ${zq_generated}/README.txt
                 @ONLY NEWLINE_STYLE WIN32)
else()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-linux.txt.in ${zq_generated}/README.txt
                 @ONLY NEWLINE_STYLE UNIX)
endif()
install(FILES ${zq_generated}/README.txt DESTINATION ${zq_doc_dir})
include(${CMAKE_CURRENT_LIST_DIR}/ManPages.cmake)

if(WIN32)
  # Windows text files end their lines with CR LF; the example's text is
  # otherwise kept as it is.
  file(READ ${zq_example_setup} zq_text)
  string(REPLACE "\r\n" "\n" zq_text "${zq_text}")
  string(REPLACE "\n" "\r\n" zq_text "${zq_text}")
  file(WRITE ${zq_generated}/Setup.ini "${zq_text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${zq_example_setup})
  install(FILES ${zq_generated}/Setup.ini DESTINATION ${zq_example_dir})
else()
  install(FILES ${zq_example_setup} DESTINATION ${zq_example_dir})
  # The menu entry and its icon.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/zq-thrust.desktop
                ${PROJECT_SOURCE_DIR}/packaging/zq-setup.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/zq-thrust.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/zq-thrust.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
  # What software centres show of the panel and the configurator.
  foreach(component org.example.zq_thrust org.example.zq_thrust.setup)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/${component}.metainfo.xml.in
                   ${zq_generated}/${component}.metainfo.xml @ONLY)
    install(FILES ${zq_generated}/${component}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  endforeach()
endif()

# ---- CPack ----
set(CPACK_PACKAGE_NAME zq-thrust)
set(CPACK_PACKAGE_VENDOR zq-thrust)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Joystick and keyboard flight controls for a combat flight simulator")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "ZQ - Thrust is a tiny always-on-top panel that polls joysticks and keys\n"
  "every 50 ms, turns the bindings of Setup.ini into pitch, roll, yaw, trims,\n"
  "throttle and flaps through response curves, and sends every change as one\n"
  "UDP datagram to the simulator on 127.0.0.1:21100. zq-check explains a\n"
  "Setup.ini, zq-listen shows what the panel sends, zq-probe shows the keys\n"
  "and joystick inputs to bind.")
set(CPACK_PACKAGE_CONTACT ${ZQ_PACKAGE_CONTACT})
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/__pycache__/")

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(zq_arch x64)
  else()
    set(zq_arch x86)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "zq-thrust-${PROJECT_VERSION}-windows-${zq_arch}")
  # Unpacks into a folder of its own.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${zq_debian_revision})
  # A utility beside the game, not a game itself.
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the programs link (SDL2, SDL2_ttf, X11, Xi, fontconfig, the
  # C++ runtime) from dpkg-shlibdeps; the font the panel draws with besides.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
endif()

include(CPack)
