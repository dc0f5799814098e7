# The day-by-day comparison of the lunar engine with an independent calendar
# library (tools/lunar/crosscheck.mjs). Skipped when node or the library's
# npm packages are missing (scripts/setup.sh installs them).
if(NOT TARGET tarvok_lunar)
  return()
endif()
add_executable(lunar_crosscheck_dump ${CMAKE_CURRENT_LIST_DIR}/crosscheck_dump.cc)
tarvok_warnings(lunar_crosscheck_dump)
target_link_libraries(lunar_crosscheck_dump PRIVATE tarvok_lunar)

find_program(TARVOK_NODE node)
if(TARVOK_NODE)
  add_test(NAME lunar_crosscheck
    COMMAND ${TARVOK_NODE} ${PROJECT_SOURCE_DIR}/tools/lunar/crosscheck.mjs $<TARGET_FILE:lunar_crosscheck_dump>)
else()
  add_test(NAME lunar_crosscheck COMMAND sh -c "echo 'crosscheck: node not found; skipped'; exit 77")
endif()
set_tests_properties(lunar_crosscheck PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
