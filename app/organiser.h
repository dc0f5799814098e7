// The whole organiser as the program runs it: the toolkit, the store's
// hooks, the main window with its handlers, the start-up, the message loop
// and the destroy step.
#pragma once

#include <functional>

namespace tarvok::app {

// Runs the organiser to its end and returns the process's exit code.
// `on_shown`, when given, runs once when the main window is first painted
// (the start-up benchmark uses it).
int RunOrganiser(int argc, char** argv, std::function<void()> on_shown = {});

}  // namespace tarvok::app
