# The report pages opened in headless Chromium (Debian chromium): they render
# with no console message or script error and every picture loads.
if(TARGET towngrow_cli)
  add_test(NAME browser_report
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/cli/browser_report.py
      $<TARGET_FILE:towngrow_cli> ${CMAKE_CURRENT_BINARY_DIR}/browser-work)
  set_tests_properties(browser_report PROPERTIES LABELS "browser" TIMEOUT 300)
endif()
