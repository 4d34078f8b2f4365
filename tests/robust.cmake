# Memcheck over the library's test programs, one CTest test per program with
# the label "valgrind". They belong to the configuration "valgrind" only, so
# a plain ctest run leaves them out; run them with
#   ctest --test-dir build -C valgrind -L valgrind -j2
# (a Debug or RelWithDebInfo build gives readable reports).
find_program(TOWNGROW_VALGRIND valgrind)
if(TOWNGROW_VALGRIND)
  foreach(src ${TOWNGROW_TEST_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_test(NAME valgrind.${name} CONFIGURATIONS valgrind
      COMMAND ${TOWNGROW_VALGRIND} --tool=memcheck --error-exitcode=1 --leak-check=full
        --errors-for-leak-kinds=definite,indirect --track-origins=yes --quiet
        $<TARGET_FILE:${name}>)
    set_tests_properties(valgrind.${name} PROPERTIES LABELS "valgrind" TIMEOUT 3600)
  endforeach()
endif()
