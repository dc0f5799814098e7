#include "contacts/contact_book_ui.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>

#include <string>

#include "contacts/contact_groups.h"
#include "platform/file.h"
#include "platform/gbk.h"
#include "tables/tables.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/record_grid.h"

namespace tarvok::contacts {
namespace {

ui::RecordGrid& Grid(const ui::Context& ctx) {
  auto* grid = ctx.window.findChild<ui::RecordGrid*>(QStringLiteral("表格_人脉"));
  if (grid == nullptr) store::FatalRunError("窗口单元不存在：表格_人脉"_gbk);
  return *grid;
}
ui::DataSourceUnit& Source(const ui::Context& ctx) {
  auto* source = ctx.window.findChild<ui::DataSourceUnit*>(QStringLiteral("数据源_联系人"));
  if (source == nullptr) store::FatalRunError("窗口单元不存在：数据源_联系人"_gbk);
  return *source;
}
ui::ProviderUnit& Provider(const ui::Context& ctx) {
  auto* provider = ctx.window.findChild<ui::ProviderUnit*>(QStringLiteral("数据库提供者_联系人"));
  if (provider == nullptr) store::FatalRunError("窗口单元不存在：数据库提供者_联系人"_gbk);
  return *provider;
}

std::string ContactsPath(const ui::Context& ctx) {
  return ctx.Path(std::string(tables::kDataFolder) + "/lxr35.edb");
}

// Page 0, then page 3 again: the contacts page shows the table anew.
void ShowPageAgain(ui::Context& ctx) {
  ui::PageControl pages = ctx.units().Pages("选择夹右侧"_gbk);
  pages.SetCurrentPage(0);
  pages.SetCurrentPage(3);
}

// The lxr35 record behind grid row `row` (1-based): the row itself while
// lxr35 is shown, the row's source in a group; 0 when there is none.
int64_t SourceOfRow(const ui::Context& ctx, int row) {
  if (row <= 0) return 0;
  if (ctx.state.contact_group < 0) return row;
  const auto& sources = ctx.state.group_sources;
  return static_cast<size_t>(row) <= sources.size() ? sources[size_t(row) - 1] : 0;
}

// The contact of group row `row`, read from the group's own table.
std::optional<tables::Contact> GroupRow(ui::Context& ctx, int row) {
  const auto& groups = ContactGroups();
  const auto folder = ContactGroupFolder();
  if (!folder || ctx.state.contact_group < 0) return std::nullopt;
  const std::string path =
      platform::CurrentFileSystem()->FullPath(*folder + "/" + groups[size_t(ctx.state.contact_group)].file);
  if (!ctx.store.SelectTable(path) || !ctx.store.GoToRecord(row)) return std::nullopt;
  return tables::ReadContact(ctx.store);
}

}  // namespace

void ShowContactGroup(ui::Context& ctx, int index) {
  const auto& groups = ContactGroups();
  if (index < 0 || index >= static_cast<int>(groups.size())) return;
  const auto folder = ContactGroupFolder();
  BuiltGroup built;
  const GroupResult result =
      folder ? BuildContactGroup(ctx.store, groups[size_t(index)], *folder, &built) : GroupResult::kCopyFailed;
  if (result == GroupResult::kCopyFailed) {
    ui::ShowPlain("复制结构失败"_gbk);
    return;
  }
  if (result == GroupResult::kFailed) {
    ui::ShowPlain("联系人分组失败"_gbk);
    return;
  }
  ctx.state.contact_group = index;
  ctx.state.group_sources = std::move(built.sources);
  Source(ctx).SetReadOnly(true);
  Provider(ctx).SetFile(built.path);
}

void ShowAllContacts(ui::Context& ctx) {
  ctx.store.SelectTable(tables::kContactTable);
  ctx.state.contact_group = -1;
  ctx.state.group_sources.clear();
  Source(ctx).SetReadOnly(false);
  Provider(ctx).SetFile(ContactsPath(ctx));
}

void AddContact(ui::Context& ctx) {
  if (!ctx.store.SelectTable(tables::kContactTable) || !ctx.store.AddBlankRecord()) {
    ui::ShowError("添加记录失败！"_gbk);
    return;
  }
  // The new contact is typed into lxr35 itself: a group is a copy that takes
  // no typing, and an empty name belongs to no group.
  if (ctx.state.contact_group >= 0) ShowAllContacts(ctx);
  ShowPageAgain(ctx);
  // The cursor goes to the new row, so that what the user types next lands
  // in the new contact, not in the one the cursor was on.
  ui::RecordGrid& grid = Grid(ctx);
  if (grid.model() != nullptr) grid.SetCursor(grid.model()->rowCount(), 1);
}

void DeleteContact(ui::Context& ctx) {
  ctx.store.SelectTable(tables::kContactTable);
  const int row = Grid(ctx).CursorRow();
  const int64_t record = SourceOfRow(ctx, row);
  if (record <= 0) {
    ui::ShowInformation("请先选择要删除的联系人！"_gbk);
    return;
  }
  if (!ui::Ask("确定要删除 [ "_gbk + std::to_string(record) + " ] 号记录么？"_gbk, ui::TitleQuestionMark())) {
    return;
  }
  // The row may have moved while the question was open: read it again.
  const int row_now = Grid(ctx).CursorRow();
  const int64_t target = SourceOfRow(ctx, row_now);
  std::optional<tables::Contact> copy;
  if (ctx.state.contact_group >= 0) copy = GroupRow(ctx, row_now);
  bool ok = target > 0 && ctx.store.SelectTable(tables::kContactTable) && ctx.store.GoToRecord(target) &&
            ctx.store.CurrentRecordNumber() == target && !ctx.store.IsDeleted();
  // In a group, the contact must still be the one the row was copied from.
  if (ok && ctx.state.contact_group >= 0) ok = copy && tables::ReadContact(ctx.store) == *copy;
  ok = ok && ctx.store.DeleteRecord() && ctx.store.Pack();
  if (!ok) ui::ShowError("删除记录失败！"_gbk);
  if (ctx.state.contact_group >= 0) {
    ShowContactGroup(ctx, ctx.state.contact_group);
  }
  ShowPageAgain(ctx);
}

void FollowContactCursor(ui::Context& ctx) {
  const int64_t record = SourceOfRow(ctx, Grid(ctx).CursorRow());
  if (ctx.store.SelectTable(tables::kContactTable) && record > 0) ctx.store.GoToRecord(record);
}

void ConnectContactBook(ui::Context& ctx) {
  ui::Context* c = &ctx;
  const ui::Units units = ctx.units();
  units.Push("按钮_all"_gbk).OnClick([c] { ShowAllContacts(*c); });
  const auto& groups = ContactGroups();
  for (int i = 0; i < static_cast<int>(groups.size()); ++i) {
    units.Push(Utf8ToGbk(groups[size_t(i)].button)).OnClick([c, i] { ShowContactGroup(*c, i); });
  }

  ui::RecordGrid& grid = Grid(ctx);
  auto* menu = new QMenu(&grid);
  menu->setObjectName(QStringLiteral("人脉菜单"));
  QAction* add = menu->addAction(QStringLiteral("新增联系人"));
  add->setObjectName(QStringLiteral("新增联系人"));
  menu->addSeparator();
  QAction* remove = menu->addAction(QStringLiteral("删除联系人"));
  remove->setObjectName(QStringLiteral("删除联系人"));
  QObject::connect(add, &QAction::triggered, &grid, [c] { AddContact(*c); });
  QObject::connect(remove, &QAction::triggered, &grid, [c] { DeleteContact(*c); });
  grid.setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(&grid, &QWidget::customContextMenuRequested, &grid, [&grid, menu](const QPoint& at) {
    menu->popup(grid.viewport()->mapToGlobal(at));
  });
  QObject::connect(&grid, &ui::RecordGrid::cursorRowChangedByUser, &grid, [c](int) { FollowContactCursor(*c); });
}

}  // namespace tarvok::contacts
