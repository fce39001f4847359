# Every program says so when its standard output can't be written (here
# /dev/full, a device that is always full) and exits with trouble instead of
# 0. Run with -DPROGRAMS=path;path... -DDATA=the bundled data folder.
function(expect_write_error name)
  execute_process(COMMAND ${ARGN} OUTPUT_FILE /dev/full ERROR_VARIABLE err
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 2 OR NOT err MATCHES "${name}: .*No space left on device")
    message(SEND_ERROR "${ARGN} > /dev/full: exit ${rc}, said '${err}'")
  endif()
endfunction()

foreach(program ${PROGRAMS})
  get_filename_component(name ${program} NAME)
  expect_write_error(${name} ${program} --help)
  expect_write_error(${name} ${program} --version)
  if(name STREQUAL "velmora-gif")
    expect_write_error(${name} ${program} info ${DATA}/t1.gif)
  elseif(name STREQUAL "velmora-lookup")
    expect_write_error(${name} ${program} -C ${DATA} --plain "中国")
    expect_write_error(${name} ${program} -C ${DATA} --json "中国")
  endif()
endforeach()
