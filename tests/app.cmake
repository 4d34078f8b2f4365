# Tests of the command-line host: unit tests of its pieces and end-to-end runs
# of the executable (its path arrives as TOWNGROW_EXE).
if(TARGET towngrow_app)
  file(GLOB TOWNGROW_APP_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/app/test_*.cpp)
  foreach(src ${TOWNGROW_APP_TEST_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE towngrow_app GTest::gtest GTest::gtest_main)
    target_compile_options(${name} PRIVATE ${TOWNGROW_WARNINGS})
    target_compile_definitions(${name} PRIVATE TOWNGROW_EXE="$<TARGET_FILE:towngrow_cli>")
    add_dependencies(${name} towngrow_cli)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "app")
  endforeach()
endif()
