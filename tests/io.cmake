# Tests of the layer between the commands and GDAL (io/), in process, on
# small layers they make themselves.
if(TARGET towngrow_prepare)
  file(GLOB TOWNGROW_IO_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/io/test_*.cpp)
  foreach(src ${TOWNGROW_IO_TEST_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE towngrow_prepare GTest::gtest GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${TOWNGROW_WARNINGS})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "app")
  endforeach()
endif()
