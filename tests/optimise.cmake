# The optimisers' tests, where their library is built (pagmo2 found).
if(TARGET towngrow_optimise)
  add_executable(test_optimise ${CMAKE_CURRENT_SOURCE_DIR}/optimise/test_optimise.cpp)
  target_link_libraries(test_optimise PRIVATE towngrow_optimise GTest::gtest GTest::gtest_main)
  target_include_directories(test_optimise PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(test_optimise PRIVATE ${TOWNGROW_WARNINGS})
  gtest_discover_tests(test_optimise DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "unit")
endif()
