#include "ui/context.h"

#include "platform/gbk.h"
#include "ui/gbk_text.h"
#include "ui/lunar_calendar.h"
#include "ui/main_window.h"

namespace tarvok::ui {

std::string Context::Path(std::string_view suffix) const {
  std::string path = program_dir;
  if (path.empty() || path.back() != '/') path += '/';
  path += suffix;
  return path;
}

Units Context::units() const { return Units(&window); }

LunarCalendar& Context::calendar() const {
  auto* cal = window.findChild<LunarCalendar*>(FromGbk("月历"_gbk));
  if (cal == nullptr) store::FatalRunError("窗口单元不存在：月历"_gbk);
  return *cal;
}

}  // namespace tarvok::ui
