# Install check: installs this build into a scratch prefix, runs the
# installed program (when the program is built), then configures, builds and
# runs a tiny outside project that finds the package with
# find_package(towngrow) and links towngrow::towngrow.
set(TOWNGROW_INSTALLED_PROGRAM "")
if(TARGET towngrow_cli)
  set(TOWNGROW_INSTALLED_PROGRAM ${PROJECT_VERSION})
endif()
add_test(NAME install_consumer
  COMMAND ${CMAKE_COMMAND}
    -DBUILD_DIR=${CMAKE_BINARY_DIR}
    -DCONSUMER_SOURCE=${CMAKE_CURRENT_SOURCE_DIR}/install_consumer
    -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/install_check
    -DCONFIG=$<CONFIG>
    -DVERSION=${TOWNGROW_INSTALLED_PROGRAM}
    -DGENERATOR=${CMAKE_GENERATOR}
    -DCXX=${CMAKE_CXX_COMPILER}
    "-DCXX_FLAGS=${CMAKE_CXX_FLAGS}"
    "-DLINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}"
    -P ${CMAKE_CURRENT_SOURCE_DIR}/install_consumer/run_install_check.cmake)
set_tests_properties(install_consumer PROPERTIES LABELS "install" TIMEOUT 600)
