# The layering the platform folders rest on: no file under src/ includes
# one from tools/, and no tool includes a platform's own header: only the
# contract (platform/platform.h, platform/live_devices.h,
# platform/panel_picture.h) and the scripted backend (platform/script/),
# which builds everywhere.
#   cmake -DSOURCE=DIR -P contract_only.cmake
set(problems "")
file(GLOB_RECURSE product_files ${SOURCE}/src/*.h ${SOURCE}/src/*.cpp)
foreach(f ${product_files})
  file(STRINGS ${f} lines REGEX "^#include \"(tools/|zq_[a-z]+/)")
  if(lines)
    string(APPEND problems "${f}: ${lines}\n")
  endif()
endforeach()
file(GLOB_RECURSE tool_files ${SOURCE}/tools/*.h ${SOURCE}/tools/*.cpp)
foreach(f ${tool_files})
  file(STRINGS ${f} lines REGEX "^#include \"platform/")
  foreach(line ${lines})
    if(NOT line MATCHES "\"platform/(platform\\.h|live_devices\\.h|panel_picture\\.h|script/[a-z_]+\\.h)\"")
      string(APPEND problems "${f}: ${line}\n")
    endif()
  endforeach()
endforeach()
file(STRINGS ${SOURCE}/tools/CMakeLists.txt lines REGEX "zq_linux|zq_win32|ZQ_BUILD_LINUX_PANEL")
if(lines)
  string(APPEND problems "tools/CMakeLists.txt chooses a platform: ${lines}\n")
endif()
if(problems)
  message(FATAL_ERROR "includes across the layers:\n${problems}")
endif()
