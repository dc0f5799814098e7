#include "ui/store_hooks.h"

#include <optional>
#include <string>

#include "platform/gbk.h"
#include "store/record_store.h"
#include "ui/dialogs.h"

namespace tarvok::ui {

void InstallStoreHooks() {
  store::SetFatalRunErrorHook([](const std::string& text) {
    static const std::string title = "错误"_gbk;
    Dialogs().ShowMessage({BoxKind::kError, title, text});
  });
  store::SetPasswordPromptHook([](int /*attempt*/, const std::string& message_line) {
    return Dialogs().PromptPassword(message_line);
  });
}

}  // namespace tarvok::ui
