# A platform is one folder: a build given a platform folder from outside
# src/platform (tests/platform/toy) builds zq-probe and zq-setup on its
# devices, with no line of tools/ changed, and zq-probe shows its joystick.
#   cmake -DSOURCE=DIR -DWORK=DIR [-DLAUNCHER=ccache] -P extra_folder.cmake
file(REMOVE_RECURSE ${WORK})
set(launcher "")
if(LAUNCHER)
  set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -DCMAKE_BUILD_TYPE=Release
          -DZQ_BUILD_LINUX_PANEL=OFF -DZQ_BUILD_TESTS=OFF -DZQ_BUILD_BENCH=OFF
          -DZQ_EXTRA_PLATFORMS=${SOURCE}/tests/platform/toy ${launcher}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring with the extra platform failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK} -j2 --target zq-probe zq-setup
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "building zq-probe and zq-setup on the extra platform failed:\n${out}")
endif()
execute_process(COMMAND ${WORK}/zq-probe --seconds 0.2
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
foreach(expected
    "  id 3: \"toy stick\", 2 axes, 4 buttons, 0 hats (toy identity)"
    "Watching joysticks (Ctrl+C ends)."
    "joystick 3 axis 0 (X): raw 65535")
  string(FIND "${out}" "${expected}" at)
  if(at LESS 0)
    message(FATAL_ERROR "zq-probe on the toy platform: '${expected}' missing from:\n${out}${err}")
  endif()
endforeach()
if(NOT status EQUAL 0 OR NOT err STREQUAL "zq-probe: the toy platform has no keyboard\n")
  message(FATAL_ERROR "zq-probe on the toy platform: status ${status}, stderr '${err}'")
endif()
