# Tests of the reusable layer and the program, in folders that mirror
# theirs: tests/io, tests/params, tests/prepare, tests/report, tests/store,
# tests/optimise and tests/jobs link that folder's library; tests/cli links
# the command line's and runs the executable end to end (its path arrives as
# TOWNGROW_EXE).
if(TARGET towngrow_cli_lib)
  foreach(folder io params prepare report store optimise jobs cli)
    set(library towngrow_${folder})
    if(folder STREQUAL "cli")
      set(library towngrow_cli_lib)
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${folder}/test_*.cpp)
    foreach(src ${sources})
      get_filename_component(name ${src} NAME_WE)
      add_executable(${name} ${src})
      target_link_libraries(${name} PRIVATE ${library} GTest::gtest GTest::gtest_main)
      target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR})
      target_compile_options(${name} PRIVATE ${TOWNGROW_WARNINGS})
      target_compile_definitions(${name} PRIVATE TOWNGROW_EXE="$<TARGET_FILE:towngrow_cli>")
      add_dependencies(${name} towngrow_cli)
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "app")
    endforeach()
  endforeach()
endif()

# The includes follow the direction of the layers (core, io, params/prepare/
# report/store/optimise, jobs, hosts).
add_test(NAME layers COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/cmake/check_layers.py
  ${PROJECT_SOURCE_DIR})
set_tests_properties(layers PROPERTIES LABELS "unit")
