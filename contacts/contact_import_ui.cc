#include "contacts/contact_import_ui.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVariant>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contacts/contact_book_ui.h"
#include "contacts/contact_import.h"
#include "platform/gbk.h"
#include "platform/xls_reader.h"
#include "tables/tables.h"
#include "ui/dialogs.h"
#include "ui/gbk_text.h"
#include "ui/main_window.h"

namespace tarvok::contacts {
namespace {

constexpr int kDialogWidth = 520;
constexpr int kDialogHeight = 342;
// While an import runs the dialog carries this property; it cannot be
// closed or started again meanwhile.
constexpr char kImportingProperty[] = "tarvok-importing";

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

const QString& DialogName() {
  static const QString name = QStringLiteral("ImportContactsDialog");
  return name;
}

enum class Kind { kGroup, kEdit, kButton, kCheckList, kList, kLabel, kTransparentLabel, kProgress };

struct Unit {
  Kind kind;
  const char* name;
  const char* parent;  // a group of the table, or nullptr for the dialog
  int x, y, w, h;
  const char* text;
};

// clang-format off
const Unit kUnits[] = {
  {Kind::kGroup, "分组框1", nullptr, 10, 8, 500, 58, "选择execl文件："},
  {Kind::kEdit, "编辑框1", "分组框1", 10, 24, 400, 24, nullptr},
  {Kind::kButton, "按钮_选择excel文件", "分组框1", 418, 23, 72, 26, "选择"},
  {Kind::kCheckList, "选择列表框1", nullptr, 10, 76, 190, 170, nullptr},
  {Kind::kTransparentLabel, "透明标签1", nullptr, 208, 150, 76, 20, ">>>>>>>>"},
  {Kind::kGroup, "分组框5", nullptr, 290, 70, 220, 176, "联系人数据库："},
  {Kind::kEdit, "编辑框2", "分组框5", 10, 24, 200, 24, "\\data\\lxr35.edb"},
  {Kind::kList, "列表框1", "分组框5", 10, 54, 200, 112, nullptr},
  {Kind::kLabel, "标签1", nullptr, 10, 250, 500, 34,
   "请在左侧点选要导入数据库的excel文件字段。注意，字段名必须与右侧完全相同，并且排列顺序也必须相同！"},
  {Kind::kGroup, "分组框3", nullptr, 10, 286, 330, 48, "导入进度："},
  {Kind::kProgress, "进度条1", "分组框3", 10, 22, 310, 18, nullptr},
  {Kind::kButton, "按钮_开始导入联系人", nullptr, 352, 298, 74, 30, "开始"},
  {Kind::kButton, "按钮_退出", nullptr, 436, 298, 74, 30, "退出"},
};
// clang-format on

const std::string& PathBox() {
  static const std::string name = "编辑框1"_gbk;
  return name;
}
const std::string& ColumnList() {
  static const std::string name = "选择列表框1"_gbk;
  return name;
}
const std::string& StartButton() {
  static const std::string name = "按钮_开始导入联系人"_gbk;
  return name;
}
const std::string& QuitButton() {
  static const std::string name = "按钮_退出"_gbk;
  return name;
}
const std::string& ProgressGroup() {
  static const std::string name = "分组框3"_gbk;
  return name;
}

QWidget* MakeUnit(const Unit& u, QWidget* parent) {
  switch (u.kind) {
    case Kind::kGroup:
      return new QGroupBox(U(u.text), parent);
    case Kind::kEdit: {
      auto* edit = new QLineEdit(parent);
      if (u.text != nullptr) {
        edit->setText(U(u.text));
        edit->setReadOnly(true);
      }
      return edit;
    }
    case Kind::kButton:
      return new QPushButton(U(u.text), parent);
    case Kind::kCheckList:
    case Kind::kList:
      return new QListWidget(parent);
    case Kind::kLabel: {
      auto* label = new QLabel(U(u.text), parent);
      label->setWordWrap(true);
      return label;
    }
    case Kind::kTransparentLabel: {
      auto* label = new QLabel(U(u.text), parent);
      label->setAlignment(Qt::AlignCenter);
      label->setAttribute(Qt::WA_TranslucentBackground);
      label->setAutoFillBackground(false);
      return label;
    }
    case Kind::kProgress: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->hide();
      return bar;
    }
  }
  return nullptr;
}

QDialog* Opened(const ui::Context& ctx) {
  return ctx.window.findChild<QDialog*>(DialogName(), Qt::FindDirectChildrenOnly);
}

bool Importing(const QDialog* dialog) { return dialog->property(kImportingProperty).toBool(); }

// Keeps the dialog from closing while an import runs (the window manager's
// close button still reaches it between rows).
class HoldWhileImporting : public QObject {
 public:
  explicit HoldWhileImporting(QDialog* dialog) : QObject(dialog) { dialog->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close && Importing(static_cast<QDialog*>(watched))) {
      event->ignore();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }
};

// Closes the dialog; it then goes away.
void CloseDialog(QDialog* dialog) { dialog->reject(); }

// lxr35's field names into 列表框1, in field order.
void ListFields(ui::Context& ctx, QDialog* dialog) {
  ui::ListBox fields = ui::Units(dialog).List("列表框1"_gbk);
  fields.Clear();
  if (!ctx.store.SelectTable(tables::kContactTable)) return;
  for (int f = 1; f <= ctx.store.FieldCount(); ++f) fields.Add({ctx.store.FieldName(f), 0});
}

// The text telling why the workbook cannot be read.
std::string ReadFailure(platform::XlsError error) {
  switch (error) {
    case platform::XlsError::kTooLarge:
      return "所选excel文件过大，无法读取。"_gbk;
    case platform::XlsError::kNotWorkbook:
      return "所选文件不是.xls格式的excel工作簿，或者文件已经损坏。"_gbk;
    case platform::XlsError::kCannotOpen:
    case platform::XlsError::kNone:
      break;
  }
  return "无法打开所选文件，请确认文件存在并且可以读取。"_gbk;
}

// The contacts page shows lxr35 anew, or the letter group on show built
// again, with what was appended.
void ShowContactsAgain(ui::Context& ctx) {
  if (ctx.state.contact_group >= 0) ShowContactGroup(ctx, ctx.state.contact_group);
  ui::PageControl pages = ctx.units().Pages("选择夹右侧"_gbk);
  pages.SetCurrentPage(0);
  pages.SetCurrentPage(3);
}

// The progress of an import on 进度条1, redrawn as the percentage changes.
class Progress {
 public:
  explicit Progress(QProgressBar* bar) : bar_(bar) {}
  void operator()(uint32_t done, uint32_t total) {
    const int percent = total == 0 ? 100 : int(uint64_t(done) * 100 / total);
    if (percent == bar_->value()) return;
    bar_->setValue(percent);
    // Paint it, and let timers run; the user's input waits for the end.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  QProgressBar* bar_;
};

}  // namespace

QWidget* OpenedImportContactsDialog(const ui::Context& ctx) { return Opened(ctx); }

void OpenImportContactsDialog(ui::Context& ctx) {
  if (QDialog* old = Opened(ctx)) {
    if (Importing(old)) return;
    CloseDialog(old);
  }
  auto* dialog = new QDialog(&ctx.window);
  dialog->setObjectName(DialogName());
  dialog->setWindowTitle(U("导入联系人"));
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  dialog->setFixedSize(kDialogWidth, kDialogHeight);
  for (const Unit& u : kUnits) {
    QWidget* parent = dialog;
    if (u.parent != nullptr) parent = dialog->findChild<QGroupBox*>(U(u.parent));
    QWidget* w = MakeUnit(u, parent);
    w->setObjectName(U(u.name));
    w->setGeometry(u.x, u.y, u.w, u.h);
  }
  new HoldWhileImporting(dialog);
  // Gone with the close: nameless at once, so that no handler finds it
  // while it waits for its deletion.
  QObject::connect(dialog, &QDialog::finished, dialog, [dialog](int) {
    dialog->setObjectName(QString());
    dialog->deleteLater();
  });
  const ui::Units units(dialog);
  ui::Context* c = &ctx;
  units.Push("按钮_选择excel文件"_gbk).OnClick([c] { ListSpreadsheetColumns(*c); });
  units.Push(StartButton()).OnClick([c] { RunContactImport(*c); });
  units.Push(QuitButton()).OnClick([dialog] {
    if (!Importing(dialog)) CloseDialog(dialog);
  });
  ListFields(ctx, dialog);
  dialog->open();

  ui::PageControl pages = ctx.units().Pages("选择夹右侧"_gbk);
  pages.SetCurrentPage(0);
  pages.SetCurrentPage(3);
}

void ListSpreadsheetColumns(ui::Context& ctx) {
  QDialog* dialog = Opened(ctx);
  if (dialog == nullptr || Importing(dialog)) return;
  const ui::Units units(dialog);
  ui::EditBox path_box = units.Edit(PathBox());
  if (const std::optional<std::string> chosen = ui::Dialogs().OpenFile({std::string(), "*.xls (*.xls)"})) {
    path_box.SetText(*chosen);
  }
  // The dialog may have gone while the file dialog was open.
  if (Opened(ctx) != dialog) return;

  ui::ListBox columns = units.List(ColumnList());
  columns.Clear();
  const std::string path = path_box.Text();
  if (path.empty()) return;
  platform::XlsError error = platform::XlsError::kNone;
  const std::unique_ptr<platform::XlsWorkbook> book = platform::XlsWorkbook::Open(path, &error);
  if (!book) {
    ui::ShowError(ReadFailure(error));
    return;
  }
  for (const platform::XlsHeaderCell& cell : platform::ReadXlsHeaderRow(*book)) {
    columns.Add({cell.text, cell.column});
    QListWidgetItem* item = columns.widget()->item(columns.Count() - 1);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setToolTip(QString::fromLatin1(HeaderCellName(cell.column)));
  }
}

void RunContactImport(ui::Context& ctx) {
  QDialog* dialog = Opened(ctx);
  if (dialog == nullptr || Importing(dialog)) return;
  const ui::Units units(dialog);
  const ui::ListBox columns = units.List(ColumnList());
  std::vector<ImportColumn> ticked;
  for (int i = 0; i < columns.Count(); ++i) {
    if (columns.widget()->item(i)->checkState() != Qt::Checked) continue;
    const ui::ResultLine line = columns.Line(i);
    ticked.push_back({line.value, line.text});
  }
  if (ticked.empty()) {
    ui::Dialogs().ShowMessage({ui::BoxKind::kInformation, ui::TitleNone(), "尚未选择任何一个字段！"_gbk});
    return;
  }

  ui::Button start = units.Push(StartButton());
  ui::Button quit = units.Push(QuitButton());
  auto* bar = qobject_cast<QProgressBar*>(units.Find("进度条1"_gbk));
  start.SetEnabled(false);
  quit.SetEnabled(false);
  units.Group(ProgressGroup()).SetCaption("正在导入数据，请稍等……"_gbk);
  bar->setValue(0);
  bar->show();
  dialog->setProperty(kImportingProperty, true);

  const ImportReport report =
      ImportContacts(ctx.store, units.Edit(PathBox()).Text(), ticked, Progress(bar));

  dialog->setProperty(kImportingProperty, false);
  start.SetEnabled(true);
  quit.SetEnabled(true);
  if (report.appended > 0) ShowContactsAgain(ctx);
  switch (report.outcome) {
    case ImportOutcome::kImported:
      // OK and Cancel, as the box always had; either closes the dialog.
      ui::Dialogs().ShowMessage({ui::BoxKind::kPlainOkCancel, std::string(), "导入成功！"_gbk});
      CloseDialog(dialog);
      return;
    case ImportOutcome::kCannotRead:
      ui::ShowPlain("连接失败"_gbk);
      CloseDialog(dialog);
      return;
    case ImportOutcome::kNoTable:
    case ImportOutcome::kWriteFailed:
      break;
  }
  bar->hide();
  units.Group(ProgressGroup()).SetCaption("导入进度："_gbk);
  std::string text = "导入中断：联系人数据库写入失败"_gbk;
  if (report.outcome == ImportOutcome::kWriteFailed) {
    text += "（excel文件第"_gbk + std::to_string(report.failed_row) + "行）。"_gbk;
    text += "此前已导入"_gbk + std::to_string(report.appended) + "个联系人。"_gbk;
  } else {
    text += "。"_gbk;
  }
  ui::ShowError(text);
}

void ConnectContactImport(ui::Context& ctx) {
  ui::Context* c = &ctx;
  ctx.units().Push("按钮_导入联系人"_gbk).OnClick([c] { OpenImportContactsDialog(*c); });
}

}  // namespace tarvok::contacts
