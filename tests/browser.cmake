# The report pages opened in headless Chromium (Debian chromium): they render
# with no console message or script error and every picture loads.
find_program(TOWNGROW_CHROMIUM chromium)
if(NOT TOWNGROW_CHROMIUM)
  message(STATUS "towngrow: chromium not found; the browser test of the report pages skipped")
elseif(TARGET towngrow_cli)
  add_test(NAME browser_report
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/cli/browser_report.py
      $<TARGET_FILE:towngrow_cli> ${CMAKE_CURRENT_BINARY_DIR}/browser-work)
  set_tests_properties(browser_report PROPERTIES LABELS "browser" TIMEOUT 300)
endif()
