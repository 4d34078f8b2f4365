# Runs with cmake -P (see tests/install.cmake). Each stage stops the check
# with its output when it fails.
foreach(var BUILD_DIR CONSUMER_SOURCE WORK_DIR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "install check: ${var} is not set")
  endif()
endforeach()
if(NOT CONFIG)
  set(CONFIG Release)
endif()

set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run_stage name)
  execute_process(COMMAND ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install check: ${name} failed (${rc})\n${out}\n${err}")
  endif()
  message(STATUS "install check: ${name} ok")
endfunction()

# What is installed (the library, the program, the module) must be built first.
run_stage("build" ${CMAKE_COMMAND} --build ${BUILD_DIR} --config ${CONFIG})
run_stage("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config ${CONFIG})
if(VERSION)
  execute_process(COMMAND ${prefix}/bin/towngrow --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "towngrow ${VERSION}\n")
    message(FATAL_ERROR "install check: the installed program answers (${rc}) '${out}'")
  endif()
endif()

set(configure_args -S ${CONSUMER_SOURCE} -B ${consumer_build}
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=${CONFIG})
if(GENERATOR)
  list(APPEND configure_args -G ${GENERATOR})
endif()
if(CXX)
  list(APPEND configure_args -DCMAKE_CXX_COMPILER=${CXX})
endif()
if(CXX_FLAGS)
  list(APPEND configure_args "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
endif()
if(LINKER_FLAGS)
  list(APPEND configure_args "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
endif()
run_stage("consumer configure" ${CMAKE_COMMAND} ${configure_args})
run_stage("consumer build" ${CMAKE_COMMAND} --build ${consumer_build} --config ${CONFIG})

# Single-configuration generators put the program in the build folder,
# multi-configuration ones in a folder per configuration.
set(program "")
foreach(candidate ${consumer_build}/towngrow_consumer ${consumer_build}/towngrow_consumer.exe
                  ${consumer_build}/${CONFIG}/towngrow_consumer ${consumer_build}/${CONFIG}/towngrow_consumer.exe)
  if(EXISTS ${candidate} AND NOT program)
    set(program ${candidate})
  endif()
endforeach()
if(NOT program)
  message(FATAL_ERROR "install check: the consumer program was not built")
endif()
execute_process(COMMAND ${program} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install check: the consumer failed (${rc})\n${out}\n${err}")
endif()
message(STATUS "install check: consumer ran: ${out}")
