# The summon hot key on a real X display (tools/check_hot_key.sh): key
# presses sent with xdotool to the organiser's handlers and to the organiser
# itself, with and without NumLock and CapsLock. Skipped when Xvfb or
# xdotool is missing (scripts/setup.sh installs them).
if(NOT TARGET tarvok_app)
  return()
endif()
add_executable(hot_key_probe ${CMAKE_CURRENT_LIST_DIR}/hot_key_probe.cc)
tarvok_warnings(hot_key_probe)
target_link_libraries(hot_key_probe PRIVATE tarvok_app Qt6::Test)

add_test(NAME hot_key_x11
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/check_hot_key.sh ${CMAKE_BINARY_DIR})
set_tests_properties(hot_key_x11 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 RUN_SERIAL TRUE)
