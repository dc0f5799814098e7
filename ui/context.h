// The handlers' context: the few process-wide objects every handler of the
// organiser works over. The program builds one at start-up and keeps it for
// the run; a test builds its own over a store, a window and a folder of its
// choosing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "datetime/date_time.h"
#include "store/record_store.h"
#include "ui/units.h"

namespace tarvok::ui {

class LunarCalendar;
class MainWindow;

// The shell's values for the whole run. Texts are GBK.
struct AppState {
  // Start-up: the password typed when the tables were protected (empty
  // otherwise), and whether rz35.edb was protected.
  std::string startup_password;
  bool opened_protected = false;
  // Settings read at start-up: the minimize mode ("0" tray icon, anything
  // else the screen-top strip) and the summon hot key (its text, modifier
  // code and key code).
  std::string minimize_mode = "0";
  std::string hot_key_text;
  int hot_key_modifiers = 0;
  int hot_key_code = 0;
  int hot_key_id = 0;  // the registration's identifier; 0 while none
  // The password last typed into the password switch of the settings page,
  // and the one the four tables have now (empty: none).
  std::string encryption_password;
  std::string tables_password;
  // The keyword of the last search (GBK), for the jumps and the export.
  std::string keyword;
  // The day the add-event dialog was opened on (date only); the new event
  // starts on it. 0 until the dialog is first opened.
  DateTime work_day{};
  // The contacts page: the letter group shown (-1: all of lxr35) and, for
  // each row of the group, the lxr35 record it was copied from.
  int contact_group = -1;
  std::vector<int64_t> group_sources;
};

struct Context {
  Context(std::string dir, store::RecordStore& record_store, MainWindow& main_window)
      : program_dir(std::move(dir)), store(record_store), window(main_window) {}

  std::string program_dir;  // GBK, no trailing slash
  store::RecordStore& store;
  MainWindow& window;
  AppState state;

  // Rebuilds the week view (views/week_view_ui.h). Handlers of layers
  // below the views (the diary box losing the focus, the event dialogs)
  // call it through here; unset, it does nothing.
  std::function<void()> refresh_week_view;
  void RefreshWeekView() const {
    if (refresh_week_view) refresh_week_view();
  }

  // Shows the main window when it is hidden (in the tray or behind the
  // screen-top strip) and hides it when it is shown: what the summon hot key
  // does (app/window_modes.h installs it). Unset, it does nothing.
  std::function<void()> toggle_main_window;
  void ToggleMainWindow() const {
    if (toggle_main_window) toggle_main_window();
  }

  // Ends the process with exit code 0 (the shell installs it; see
  // app/shutdown.h). Unset, ending only marks `ended`.
  std::function<void()> end_program;
  bool ended = false;

  // program_dir + "/" + suffix ("data/rz35.edb", "config.ini", "pic").
  std::string Path(std::string_view suffix) const;
  Units units() const;
  LunarCalendar& calendar() const;  // 月历
};

}  // namespace tarvok::ui
