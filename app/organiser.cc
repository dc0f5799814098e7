#include "app/organiser.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QEvent>

#include <optional>
#include <string>
#include <utility>

#include "app/startup.h"
#include "platform/gbk.h"
#include "platform/instance_guard.h"
#include "platform/program_dir.h"
#include "store/record_store.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/store_hooks.h"

namespace tarvok::app {
namespace {

// Runs a function at the first paint of the object it watches.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(std::function<void()> run) : run_(std::move(run)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && run_) std::exchange(run_, nullptr)();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> run_;
};

}  // namespace

int RunOrganiser(int argc, char** argv, std::function<void()> on_shown) {
  QApplication application(argc, argv);
  // The window never closes by itself (the close query ends the program),
  // and it hides to the tray: the loop ends only through EndProgram.
  QApplication::setQuitOnLastWindowClosed(false);
  // Qt's own dialogs (the file choosers, their buttons and questions) speak
  // Chinese like the rest of the organiser, whatever the desktop's language;
  // without the translations installed they stay as Qt has them.
  QTranslator qt_texts;
  if (qt_texts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qt_texts);
  }
  ui::InstallStoreHooks();

  const std::optional<std::string> dir = platform::ProgramDir();
  if (!dir) {
    ui::ShowError("找不到存放数据的文件夹：程序所在的文件夹不可写，用户数据文件夹也无法创建。"_gbk);
    return 1;
  }

  store::RecordStore record_store;
  ui::MainWindow window;
  ui::Context ctx(*dir, record_store, window);
  ctx.end_program = [] { QCoreApplication::exit(0); };
  ConnectMainWindow(ctx);

  platform::InstanceGuard guard;
  if (!RunStartup(ctx, guard)) return 0;
  FirstPaint first_paint(std::move(on_shown));
  window.installEventFilter(&first_paint);
  window.show();
  QApplication::exec();
  RunDestroyStep(ctx);
  return 0;
}

}  // namespace tarvok::app
