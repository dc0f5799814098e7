# The window modes of the real organiser under a virtual X server with a
# window manager and a notification area (tools/check_window_modes.sh).
# Skipped (77) when Xvfb, openbox, trayer, xdotool, xwininfo, xprop, xmessage
# or iconv is missing (scripts/setup.sh installs them).
if(NOT TARGET tarvokline)
  return()
endif()
add_test(NAME window_modes_x11
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/check_window_modes.sh $<TARGET_FILE:tarvokline>
          ${CMAKE_BINARY_DIR}/screenshots/window_modes)
set_tests_properties(window_modes_x11 PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 RUN_SERIAL TRUE)
