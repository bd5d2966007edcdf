# Seeds of the replay_script fuzz target from the golden replays: each
# tests/replay/NAME.script as it is, and, where NAME.ini exists, the two
# joined by a "%%" line as NAME_with_ini.script.
#   cmake -DREPLAY_DIR=... -DOUT=... -P replay_corpus.cmake
file(GLOB scripts ${REPLAY_DIR}/*.script)
file(MAKE_DIRECTORY ${OUT})
foreach(script ${scripts})
  get_filename_component(name ${script} NAME_WE)
  configure_file(${script} ${OUT}/${name}.script COPYONLY)
  if(EXISTS ${REPLAY_DIR}/${name}.ini)
    file(READ ${REPLAY_DIR}/${name}.ini ini)
    file(READ ${script} text)
    file(WRITE ${OUT}/${name}_with_ini.script.new "${ini}%%\n${text}")
    configure_file(${OUT}/${name}_with_ini.script.new ${OUT}/${name}_with_ini.script COPYONLY)
    file(REMOVE ${OUT}/${name}_with_ini.script.new)
  endif()
endforeach()
