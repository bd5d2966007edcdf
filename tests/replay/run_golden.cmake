# Runs one golden replay case: NAME.script through zq-replay, with NAME.ini as
# the settings file (none: no settings file) and NAME.args as further options;
# standard output must equal NAME.expected, the exit status NAME.status (0 when
# absent) and standard error NAME.stderr (empty when absent). EMULATOR, when
# set, runs the program (wine for the Windows build).
get_filename_component(dir ${SCRIPT} DIRECTORY)
get_filename_component(name ${SCRIPT} NAME_WE)
file(MAKE_DIRECTORY ${WORKDIR})
set(setup ${WORKDIR}/no-such-Setup.ini)
if(EXISTS ${dir}/${name}.ini)
  set(setup ${dir}/${name}.ini)
endif()
set(args "")
if(EXISTS ${dir}/${name}.args)
  file(READ ${dir}/${name}.args args)
  string(STRIP "${args}" args)
  separate_arguments(args UNIX_COMMAND "${args}")
endif()
execute_process(
  COMMAND ${EMULATOR} ${REPLAY} --setup ${setup} ${args} ${name}.script
  WORKING_DIRECTORY ${dir}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
file(WRITE ${WORKDIR}/actual.jsonl "${out}")
file(READ ${dir}/${name}.expected expected)
set(expectedStatus 0)
if(EXISTS ${dir}/${name}.status)
  file(READ ${dir}/${name}.status expectedStatus)
  string(STRIP "${expectedStatus}" expectedStatus)
endif()
set(expectedErr "")
if(EXISTS ${dir}/${name}.stderr)
  file(READ ${dir}/${name}.stderr expectedErr)
endif()
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "${name}: events differ from ${name}.expected; got (also in ${WORKDIR}/actual.jsonl):\n${out}")
endif()
if(NOT status STREQUAL expectedStatus)
  message(FATAL_ERROR "${name}: exit status ${status}, expected ${expectedStatus}; stderr:\n${err}")
endif()
if(NOT err STREQUAL expectedErr)
  message(FATAL_ERROR "${name}: standard error differs:\n${err}")
endif()
