// Connects the record store's two calls to the user to the dialog service.
#pragma once

namespace tarvok::ui {

// FatalRunError shows its text in an error box titled "错误" (the store then
// ends the process with -1); OpenTable's "?" mode shows the password prompt
// for each attempt. Both go through Dialogs(), so a test's scripted service
// answers them. Call once at start-up, after the QApplication exists.
void InstallStoreHooks();

}  // namespace tarvok::ui
