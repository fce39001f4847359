# Every program prints "NAME VERSION" for --version, from the one version
# number of the project. Run with -DPROGRAMS=path;path... -DVERSION=x.y.z.
foreach(program ${PROGRAMS})
  get_filename_component(name ${program} NAME)
  execute_process(COMMAND ${program} --version OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "${name} ${VERSION}\n")
    message(FATAL_ERROR "${name} --version: exit ${rc}, printed '${out}'")
  endif()
endforeach()
