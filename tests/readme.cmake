# The README's Layout section names every folder and file at the top of the
# tree, and only paths that exist.
add_test(NAME readme_layout COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/cmake/check_readme_layout.py
  ${PROJECT_SOURCE_DIR})
set_tests_properties(readme_layout PROPERTIES LABELS "unit")
