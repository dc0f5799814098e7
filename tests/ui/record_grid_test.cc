// Record files in grids on a real window: linking by name, what a grid
// shows and lets the user change, the buttons of a data source, the boxes
// of its failures, and Qt's model contract.
#include "ui/record_grid.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "store/check.h"
#include "tests/store/store_util.h"
#include "tests/support/fault_fs.h"
#include "ui/gbk_text.h"
#include "ui/grid_zoom.h"
#include "ui/scripted_dialogs.h"

namespace tarvok::ui {
namespace {

using test::FaultFileSystem;
using test::FsOp;
using test::ScopedFileSystem;
using store::FieldType;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

const std::string& Title() {
  static const std::string t = "塔沃克林-Tarvokline"_gbk;
  return t;
}

// A window with a provider, a data source and two grids linked by name, over
// a diary of five days.
class RecordGridTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.GbkPath("rz.edb");
    test::MakeTable(path_, {{"日期"_gbk, FieldType::kDateTime, 0, 0},
                            {"内容"_gbk, FieldType::kText, 0, 20},
                            {"n", FieldType::kInt32, 0, 0}});
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    for (int32_t d = 1; d <= 5; ++d)
      ASSERT_TRUE(s.AddRecord({MakeDate(2013, 5, d), Utf8ToGbk("第" + std::to_string(d) + "天"), d}));

    window_ = std::make_unique<QWidget>();
    window_->resize(520, 420);
    provider_ = new ProviderUnit(U("数据库提供者_测试"), window_.get());
    source_ = new DataSourceUnit(U("数据源_测试"), window_.get());
    source_->setGeometry(0, 0, 132, 22);
    grid_ = MakeGrid("表格_测试", 30);
    other_ = MakeGrid("表格_另一个", 230);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  RecordGrid* MakeGrid(const char* name, int y) {
    auto* grid = new RecordGrid(window_.get());
    grid->setObjectName(U(name));
    grid->setGeometry(0, y, 500, 180);
    return grid;
  }

  // Provider on the diary, source on the provider, both grids on the source.
  void Link() {
    ASSERT_TRUE(provider_->SetFile(path_));
    ASSERT_TRUE(source_->SetProviderName("数据库提供者_测试"_gbk));
    ASSERT_TRUE(grid_->SetDataSourceName("数据源_测试"_gbk));
    ASSERT_TRUE(other_->SetDataSourceName("数据源_测试"_gbk));
  }

  QToolButton* Button(const char* suffix) {
    return source_->findChild<QToolButton*>(U("数据源_测试") + U(suffix));
  }

  QString Cell(QTableView* grid, int row, int column) {
    return grid->model()->index(row, column).data().toString();
  }

  std::vector<std::string> Numbers() {
    store::RecordStore s;
    EXPECT_TRUE(s.OpenTable(path_));
    std::vector<std::string> out;
    for (int32_t k = 1; k <= s.RecordCount(); ++k) {
      s.GoToRecord(k);
      out.push_back(std::to_string(std::get<int32_t>(s.ReadField("n"))));
    }
    return out;
  }

  // A file system that counts and fails calls, in place from now on until
  // the window is gone: files opened through it report to it.
  FaultFileSystem& Faults() {
    if (!faults_) {
      faults_ = std::make_unique<FaultFileSystem>();
      use_faults_ = std::make_unique<ScopedFileSystem>(faults_.get());
    }
    return *faults_;
  }

  test::TempDir dir_;
  std::string path_;
  std::unique_ptr<FaultFileSystem> faults_;
  std::unique_ptr<ScopedFileSystem> use_faults_;
  std::unique_ptr<QWidget> window_;
  ProviderUnit* provider_ = nullptr;
  DataSourceUnit* source_ = nullptr;
  RecordGrid* grid_ = nullptr;
  RecordGrid* other_ = nullptr;
};

// The rectangle of what differs from the background inside the frame.
QRect Ink(const QImage& image, int frame) {
  const QRect inside = image.rect().adjusted(frame, frame, -frame, -frame);
  const QRgb background = image.pixel(inside.bottomRight() - QPoint(1, 1));
  QRect ink;
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x)
      if (image.pixel(x, y) != background) ink |= QRect(x, y, 1, 1);
  return ink;
}

TEST_F(RecordGridTest, AGridWithoutASourcePaintsOnlyItsNotice) {
  EXPECT_FALSE(grid_->SetDataSourceName("数据源_无"_gbk));
  EXPECT_EQ(grid_->model(), nullptr);
  EXPECT_EQ(grid_->data_source(), nullptr);
  const QString notice = U("未连接数据源");
  const QFontMetrics metrics = grid_->fontMetrics();
  // Where the notice's line lies, in whichever fonts its characters come.
  const QRect line = metrics.boundingRect(QRect(10, 10, 1000, 1000), Qt::AlignLeft | Qt::AlignTop, notice);
  auto check = [&] {
    const QRect ink = Ink(grid_->grab().toImage(), grid_->frameWidth());
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), 10);
    EXPECT_LE(ink.left(), 13);
    EXPECT_GE(ink.top(), 10);
    // One pixel of antialiasing beyond the line at most.
    EXPECT_TRUE(line.adjusted(0, 0, 1, 1).contains(ink))
        << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height() << " in " << line.width()
        << "x" << line.height();
  };
  check();

  // Linked, then its source goes: unconnected again.
  Link();
  EXPECT_EQ(grid_->model()->rowCount(), 5);
  EXPECT_GT(Ink(grid_->grab().toImage(), grid_->frameWidth()).height(), metrics.height() * 3);
  delete source_;
  source_ = nullptr;
  EXPECT_EQ(grid_->model(), nullptr);
  EXPECT_EQ(grid_->data_source(), nullptr);
  check();
  EXPECT_EQ(grid_->CurrentRowNumber(), 0);
  EXPECT_EQ(grid_->CursorRow(), 0);
}

TEST_F(RecordGridTest, NamesAreLookedUpOnTheWindow) {
  EXPECT_FALSE(source_->SetProviderName("数据库提供者_无"_gbk));
  EXPECT_TRUE(grid_->SetDataSourceName("数据源_测试"_gbk));
  EXPECT_EQ(grid_->model()->rowCount(), 0);
  EXPECT_EQ(grid_->model()->columnCount(), 0);

  // A unit of the same name on another window is not this window's.
  QWidget elsewhere;
  DataSourceUnit foreign(U("数据源_别处"), &elsewhere);
  EXPECT_FALSE(grid_->SetDataSourceName("数据源_别处"_gbk));
  EXPECT_FALSE(grid_->SetDataSourceName(""));

  Link();
  EXPECT_EQ(source_->provider_unit(), provider_);
  EXPECT_EQ(grid_->data_source(), source_);
  EXPECT_EQ(grid_->model()->rowCount(), 5);
  // Without its provider the source shows nothing, and the grid stays on it.
  delete provider_;
  provider_ = nullptr;
  EXPECT_EQ(source_->provider_unit(), nullptr);
  ASSERT_NE(grid_->model(), nullptr);
  EXPECT_EQ(grid_->model()->rowCount(), 0);
}

TEST_F(RecordGridTest, HeadersAndCellsComeFromTheTable) {
  Link();
  QAbstractItemModel* m = grid_->model();
  ASSERT_EQ(m->columnCount(), 3);
  EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), U("日期"));
  EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), U("内容"));
  EXPECT_EQ(m->headerData(2, Qt::Horizontal).toString(), U("n"));
  EXPECT_EQ(m->headerData(4, Qt::Vertical).toInt(), 5);
  EXPECT_EQ(Cell(grid_, 1, 0), U("2013年5月2日"));
  EXPECT_EQ(Cell(grid_, 1, 1), U("第2天"));
  EXPECT_EQ(Cell(grid_, 4, 2), U("5"));
  EXPECT_EQ(grid_->horizontalHeader()->isVisible(), true);
}

TEST_F(RecordGridTest, OnlyASourceThatIsNotReadOnlyTakesEdits) {
  Link();
  QAbstractItemModel* m = grid_->model();
  const QModelIndex text = m->index(2, 1);
  EXPECT_FALSE(m->flags(text) & Qt::ItemIsEditable);
  EXPECT_FALSE(m->setData(text, U("改了")));
  QTest::mouseDClick(grid_->viewport(), Qt::LeftButton, Qt::NoModifier, grid_->visualRect(text).center());
  QTest::keyClick(grid_, Qt::Key_F2);
  EXPECT_TRUE(grid_->viewport()->findChildren<QLineEdit*>().isEmpty()) << "no editor opens";
  EXPECT_EQ(Cell(grid_, 2, 1), U("第3天"));

  source_->SetReadOnly(false);
  EXPECT_TRUE(m->flags(text) & Qt::ItemIsEditable);
  QSignalSpy changed(other_->model(), &QAbstractItemModel::dataChanged);
  EXPECT_TRUE(m->setData(text, U("改了😀")));
  EXPECT_EQ(changed.count(), 1) << "the other grid repaints the cell";
  EXPECT_EQ(Cell(other_, 2, 1), U("改了😀"));
  store::RecordStore s;
  ASSERT_TRUE(s.OpenTable(path_));
  s.GoToRecord(3);
  EXPECT_EQ(test::Text(s.ReadField("内容"_gbk)), ToGbk(U("改了😀")));
  // A date that does not read stores the smallest date: an empty cell.
  EXPECT_TRUE(m->setData(m->index(0, 0), U("五月")));
  EXPECT_EQ(Cell(grid_, 0, 0), QString());
  s.GoToRecord(1);
  EXPECT_EQ(std::get<DateTime>(s.ReadField("日期"_gbk)).value, kMinDateTime);

  // Typed into the grid's own editor.
  grid_->setFocus();
  grid_->edit(m->index(3, 2));
  auto* editor = grid_->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), U("4"));
  editor->setText(U("４２x"));
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the delegate commits from the event loop
  s.GoToRecord(4);
  EXPECT_EQ(std::get<int32_t>(s.ReadField("n")), 42);
  EXPECT_EQ(Cell(other_, 3, 2), U("42"));
}

TEST_F(RecordGridTest, TheModelKeepsQtsContractThroughReloadsDeletesAndInserts) {
  Link();
  QAbstractItemModelTester tester(grid_->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  QAbstractItemModelTester other(other_->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  source_->SetReadOnly(false);
  source_->SetInsertAllowed(true);
  source_->SetDeleteAllowed(true);
  source_->MoveTo(2);
  EXPECT_TRUE(source_->Delete());
  EXPECT_EQ(grid_->model()->rowCount(), 4);
  EXPECT_TRUE(source_->Insert());
  EXPECT_EQ(grid_->model()->rowCount(), 5);
  EXPECT_TRUE(grid_->model()->setData(grid_->model()->index(4, 2), U("9")));
  {
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    ASSERT_TRUE(s.AddRecord({MakeDate(2013, 6, 1)}));
  }
  EXPECT_TRUE(provider_->SetFile(path_));
  EXPECT_EQ(grid_->model()->rowCount(), 6);
  source_->MoveTo(5);
  EXPECT_TRUE(source_->Delete());
  EXPECT_EQ(grid_->model()->rowCount(), 5);
  EXPECT_FALSE(provider_->SetFile(dir_.GbkPath("none.edb")));
  EXPECT_EQ(grid_->model()->rowCount(), 0);
  EXPECT_EQ(grid_->model()->columnCount(), 0);
  EXPECT_TRUE(provider_->SetFile(path_));
  provider_->SetBytesMode(1);
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"1", "2", "4", "5", "9"}));
}

TEST_F(RecordGridTest, TheButtonsMoveTheCurrentRowAndTheGridsFollow) {
  Link();
  QSignalSpy main_event(grid_, &RecordGrid::cursorRowChangedByUser);
  QSignalSpy other_event(other_, &RecordGrid::cursorRowChangedByUser);
  EXPECT_EQ(grid_->CursorRow(), 1) << "a reload puts the cursor on the first row";
  struct Step {
    const char* button;
    int row;  // 1-based
  } steps[] = {{"_上", 1}, {"_末", 5}, {"_下", 5}, {"_上", 4}, {"_首", 1}, {"_下", 2}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.button);
    Button(s.button)->click();
    EXPECT_EQ(source_->source().current_row(), s.row - 1);
    for (RecordGrid* g : {grid_, other_}) {
      EXPECT_EQ(g->CursorRow(), s.row);
      EXPECT_EQ(g->CurrentRowNumber(), s.row);
    }
  }
  EXPECT_EQ(main_event.count(), 0) << "moves of the program raise no main event";

  // The user clicks row 4 of the first grid: the source and the other
  // grid follow, and only the first grid raises its main event.
  const QRect cell = grid_->visualRect(grid_->model()->index(3, 1));
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  EXPECT_EQ(source_->source().current_row(), 3);
  EXPECT_EQ(other_->CursorRow(), 4);
  EXPECT_EQ(other_->CursorColumn(), 1);
  ASSERT_EQ(main_event.count(), 1);
  EXPECT_EQ(main_event.at(0).at(0).toInt(), 4);
  // Another column of the same row is no new row.
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, Qt::NoModifier,
                    grid_->visualRect(grid_->model()->index(3, 2)).center());
  EXPECT_EQ(main_event.count(), 1);
  EXPECT_EQ(other_event.count(), 0);

  // The program's cursor and selection.
  EXPECT_TRUE(grid_->SetCursor(2, 3));
  EXPECT_EQ(grid_->CursorRow(), 2);
  EXPECT_EQ(grid_->CursorColumn(), 3);
  EXPECT_EQ(source_->source().current_row(), 1);
  EXPECT_EQ(other_->CursorRow(), 2);
  EXPECT_FALSE(grid_->SetCursor(6, 1));
  EXPECT_FALSE(grid_->SetCursor(1, 4));
  EXPECT_EQ(main_event.count(), 1);
  grid_->SelectBlock(4, 2, 9, 9);
  EXPECT_EQ(grid_->CurrentRowNumber(), 4);
  EXPECT_EQ(grid_->selectionModel()->selectedIndexes().size(), 2 * 2);
  EXPECT_EQ(grid_->CursorRow(), 2) << "the cursor stays";
  grid_->SelectBlock(1, 1, 0, 3);
  EXPECT_EQ(grid_->CurrentRowNumber(), 0);
}

TEST_F(RecordGridTest, InsertAndDeleteAreEnabledOnlyWhenAllowed) {
  struct Case {
    bool read_only, insert, remove;
    bool insert_enabled, remove_enabled;
  } cases[] = {
      {true, false, false, false, false}, {true, true, true, false, false},
      {false, true, false, true, false},  {false, false, true, false, true},
  };
  for (const Case& c : cases) {
    source_->SetReadOnly(c.read_only);
    source_->SetInsertAllowed(c.insert);
    source_->SetDeleteAllowed(c.remove);
    EXPECT_EQ(Button("_增")->isEnabled(), c.insert_enabled);
    EXPECT_EQ(Button("_删")->isEnabled(), c.remove_enabled);
  }
  for (const char* b : {"_首", "_上", "_下", "_末"}) EXPECT_TRUE(Button(b)->isEnabled()) << b;
}

TEST_F(RecordGridTest, DeletingTheThirdRowRemovesItsRecordAtOnce) {
  Link();
  source_->SetReadOnly(false);
  source_->SetDeleteAllowed(true);
  ASSERT_TRUE(grid_->SetCursor(3, 1));
  Button("_删")->click();
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"1", "2", "4", "5"}));
  std::vector<std::string> problems;
  ASSERT_EQ(store::CheckTable(path_, "", &problems), 0);
  EXPECT_EQ(problems, std::vector<std::string>{});
  for (RecordGrid* g : {grid_, other_}) {
    EXPECT_EQ(g->model()->rowCount(), 4);
    EXPECT_EQ(g->CursorRow(), 3);
    EXPECT_EQ(g->CurrentRowNumber(), 3);
    EXPECT_EQ(Cell(g, 2, 2), U("4"));
  }
}

TEST_F(RecordGridTest, FailuresToInsertAndDeleteAreShownInErrorBoxes) {
  FaultFileSystem& fs = Faults();
  Link();
  source_->SetReadOnly(false);
  source_->SetInsertAllowed(true);
  source_->SetDeleteAllowed(true);
  ScriptedDialogs dialogs;
  ScopedDialogService service(&dialogs);
  dialogs.ExpectMessage(BoxKind::kError, Title(), "插入新记录失败!"_gbk)
      .ExpectMessage(BoxKind::kError, Title(), "删除记录失败!"_gbk);
  fs.FailFrom(FsOp::kWrite, 1, ENOSPC);
  Button("_增")->click();
  Button("_删")->click();
  EXPECT_EQ(dialogs.pending(), 0u);
  EXPECT_EQ(grid_->model()->rowCount(), 5);
  fs.ClearFaults();
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"1", "2", "3", "4", "5"}));

  // Done, nothing is shown.
  Button("_增")->click();
  EXPECT_EQ(grid_->model()->rowCount(), 6);
  EXPECT_EQ(grid_->CursorRow(), 6);
  Button("_删")->click();
  EXPECT_EQ(grid_->model()->rowCount(), 5);
  EXPECT_EQ(dialogs.shown(), 2u);
}

TEST_F(RecordGridTest, ColumnWidthsFollowTheFieldsTheSourceAndTheZoom) {
  Link();
  auto defaults = [&](RecordGrid* g) {
    const int w = g->fontMetrics().horizontalAdvance(QLatin1Char('W')) + 1;
    return std::vector<int>{26 * w + 27, 20 * w + 27, 11 * w + 27};
  };
  auto widths = [](RecordGrid* g) {
    std::vector<int> out;
    for (int k = 0; k < g->model()->columnCount(); ++k) out.push_back(g->columnWidth(k));
    return out;
  };
  EXPECT_EQ(widths(grid_), defaults(grid_));
  source_->SetColumnWidths(2, 5, 60);
  EXPECT_EQ(widths(grid_), (std::vector<int>{defaults(grid_)[0], 60, 60}));
  EXPECT_EQ(widths(other_), widths(grid_));

  SetGridZoom(grid_, 200);
  QCoreApplication::processEvents();  // the zoom sets its section sizes last
  EXPECT_EQ(widths(grid_), (std::vector<int>{defaults(grid_)[0], 120, 120}));
  EXPECT_EQ(widths(other_), (std::vector<int>{defaults(other_)[0], 60, 60}));
  EXPECT_TRUE(provider_->SetFile(path_));
  EXPECT_EQ(widths(grid_), defaults(grid_));
}

TEST_F(RecordGridTest, CellColoursAreBackgroundsUntilTheNextReload) {
  Link();
  EXPECT_TRUE(source_->SetCellColour(1, 2, 0x0000FF));
  EXPECT_TRUE(source_->SetCellColour(4, 0, 0xFF8000));
  EXPECT_FALSE(source_->SetCellColour(5, 0, 0));
  QAbstractItemModel* m = other_->model();
  EXPECT_EQ(m->index(1, 2).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 0, 0));
  EXPECT_EQ(m->index(4, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(0, 0x80, 0xFF));
  EXPECT_FALSE(m->index(1, 1).data(Qt::BackgroundRole).isValid());
  EXPECT_TRUE(provider_->SetFile(path_));
  EXPECT_FALSE(m->index(1, 2).data(Qt::BackgroundRole).isValid());
}

// 36,500 records, written as file bytes.
void MakeLargeTable(const std::string& gbk_path, int32_t records) {
  std::vector<uint8_t> img = store::EmptyTableImage(
      {{"n", FieldType::kInt32, 0, 0}, {"t", FieldType::kText, 0, 8}}, 41365.5, records + 1, "", false);
  const size_t start = img.size();
  img.resize(start + size_t(records) * 16, 0);
  for (int32_t k = 0; k < records; ++k) {
    uint8_t* rec = img.data() + start + size_t(k) * 16;
    store::PutI32(rec, k + 1);
    store::PutI32(rec + 4, k + 1);
    std::memcpy(rec + 8, "row", 3);
  }
  store::PutI32(img.data() + store::kOffRecordCount, records);
  test::WriteFileBytes(GbkToUtf8(gbk_path), std::string(img.begin(), img.end()));
}

TEST_F(RecordGridTest, ALargeTableIsReadOnlyWhereTheGridLooks) {
  constexpr int32_t kRecords = 36500;
  const std::string big = dir_.GbkPath("big.edb");
  MakeLargeTable(big, kRecords);
  FaultFileSystem& fs = Faults();  // counts the reads
  ASSERT_TRUE(provider_->SetFile(big));
  ASSERT_TRUE(source_->SetProviderName("数据库提供者_测试"_gbk));
  ASSERT_TRUE(grid_->SetDataSourceName("数据源_测试"_gbk));
  QCoreApplication::processEvents();

  uint64_t before = fs.Calls(FsOp::kRead);
  for (int k = 0; k < 1000; ++k) ASSERT_EQ(grid_->model()->rowCount(), kRecords);
  EXPECT_EQ(fs.Calls(FsOp::kRead), before) << "the row count is kept, not read";

  before = fs.Calls(FsOp::kRead);
  grid_->scrollToBottom();
  const QImage shot = grid_->grab().toImage();
  const uint64_t reads = fs.Calls(FsOp::kRead) - before;
  EXPECT_GT(reads, 0u);
  EXPECT_LT(reads, 200u) << "only the cells in view are read";
  EXPECT_EQ(Cell(grid_, kRecords - 1, 0), U("36500"));
  EXPECT_EQ(grid_->verticalScrollBar()->value(), grid_->verticalScrollBar()->maximum());
}

}  // namespace
}  // namespace tarvok::ui
