// The periodic events kept from the today page's event list through the real
// widgets: the right-click menu and the double click, the add and the modify
// dialog with their checks, deleting, and the week view's refresh.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "events/event_dialogs_ui.h"
#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/app/app_test_base.h"
#include "tests/support/fault_fs.h"
#include "ui/lunar_calendar.h"

namespace tarvok::test {
namespace {

using tables::PeriodicEvent;
using tables::RecurrenceUnit;
using ui::BoxKind;

const std::string& ZeroPeriod() {
  static const std::string text =
      "您的循环周期填写了‘0’，如果不是一个\r\n周期性事件，请直接填写到'日志'中！"_gbk;
  return text;
}

// Three events; on 15 January 2013 (a Tuesday) all three fall, the last two
// with the same text.
std::vector<PeriodicEvent> FixtureEvents() {
  return {
      {MakeDate(2013, 1, 1), 1, RecurrenceUnit::kWeek, "每周二"_gbk},
      {MakeDate(2013, 1, 10), 1, RecurrenceUnit::kDay, "开会"_gbk},
      {MakeDate(2013, 1, 15), 1, RecurrenceUnit::kWeek, "开会"_gbk},
  };
}

class EventDialogsTest : public AppTest {
 protected:
  void SetUp() override {
    tables::EnsureDataFiles(Utf8ToGb18030(ProgramDir()));
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(GbkFile("data/tx35.edb")));
    for (const PeriodicEvent& e : FixtureEvents()) ASSERT_TRUE(s.AddRecord(tables::RecordValues(e)));
  }

  // The organiser, started, with the event list connected and the week
  // view's refreshes counted.
  Organiser& o() {
    if (!organiser_) {
      ui::Context& ctx = Started().ctx();
      events::ConnectEventList(ctx);
      std::function<void()> week = ctx.refresh_week_view;
      ctx.refresh_week_view = [this, week] {
        ++week_refreshes_;
        if (week) week();
      };
    }
    return *organiser_;
  }
  ui::Context& ctx() { return o().ctx(); }

  // A click on day `day` of January 2013 (cell d is day d of that month).
  void Show(int day) {
    ui::LunarCalendar& cal = ctx().calendar();
    QTest::mouseClick(&cal, Qt::LeftButton, {}, cal.cellRect(day).center());
    ASSERT_EQ(DateOnly(cal.selectedDate()), MakeDate(2013, 1, day));
  }

  QListWidget* List() { return o().units().List("列表框_周期事项"_gbk).widget(); }
  QPoint LinePoint(int line) { return List()->visualItemRect(List()->item(line)).center(); }
  void SelectLine(int line) { QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, LinePoint(line)); }
  // What the system delivers for a double click: a click, then the second
  // press as a double click, then its release.
  void DoubleClickLine(int line) {
    SelectLine(line);
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, LinePoint(line));
    QTest::mouseRelease(List()->viewport(), Qt::LeftButton, {}, LinePoint(line));
  }
  std::vector<ui::ResultLine> Lines() {
    std::vector<ui::ResultLine> lines;
    ui::ListBox list = o().units().List("列表框_周期事项"_gbk);
    for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Line(i));
    return lines;
  }

  // The right button over the list at `at` and the menu's item `item`
  // (0 新增, 2 修改, 4 删除) chosen.
  QMenu* PressRight(QPoint at) {
    QTest::mousePress(List()->viewport(), Qt::RightButton, {}, at);
    return List()->findChild<QMenu*>(QString::fromUtf8("周期性右键菜单"));
  }
  void Choose(int item) {
    QMenu* menu = PressRight(QPoint(5, 5));
    ASSERT_NE(menu, nullptr);
    menu->actions().at(item)->trigger();
    menu->hide();
  }

  QDialog* AddDialog() { return qobject_cast<QDialog*>(events::OpenedAddEventDialog(ctx())); }
  QDialog* EditDialog() { return qobject_cast<QDialog*>(events::OpenedEditEventDialog(ctx())); }
  static QLineEdit* Period(QDialog* d) {
    return qobject_cast<QLineEdit*>(ui::Units(d).Find("编辑框循环周期"_gbk));
  }
  static ui::ComboBox Unit(QDialog* d) { return ui::Units(d).Combo("组合框循环单位"_gbk); }
  static ui::EditBox Content(QDialog* d) { return ui::Units(d).Edit("编辑框提醒内容"_gbk); }
  static void Confirm(QDialog* d) {
    QTest::mouseClick(ui::Units(d).Push("按钮周期事项确定"_gbk).widget(), Qt::LeftButton);
  }
  // Typing: keys for ASCII, an input-method commit for Chinese.
  static void Type(QWidget* box, const QString& text) {
    box->setFocus();
    if (text.toLatin1() == text.toUtf8()) {
      QTest::keyClicks(box, text);
      return;
    }
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(box, &commit);
  }
  static void Clear(QWidget* box) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backspace);
  }

  // tx35 as a store of the test's own reads it, every slot in order.
  std::vector<PeriodicEvent> Stored() {
    store::RecordStore s;
    std::vector<PeriodicEvent> events;
    if (!s.OpenTable(GbkFile("data/tx35.edb"))) {
      ADD_FAILURE() << "tx35 cannot be opened beside the organiser";
      return events;
    }
    for (s.GoFirst(); s.CurrentRecordNumber() <= s.RecordCount(); s.Skip()) {
      events.push_back(tables::ReadPeriodicEvent(s));
    }
    return events;
  }
  // Changes tx35 behind the organiser's back, as another handler might.
  template <typename F>
  void Meanwhile(F change) {
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(GbkFile("data/tx35.edb")));
    change(s);
  }

  int week_refreshes_ = 0;
};

// ---- adding -----------------------------------------------------------------

TEST_F(EventDialogsTest, AddChecksEachFieldInTurnThenWritesOnTheDayItWasOpenedOn) {
  Show(15);
  week_refreshes_ = 0;
  Choose(0);
  QDialog* d = AddDialog();
  ASSERT_NE(d, nullptr);
  // Open, modal over the main window, and the menu's command went on.
  EXPECT_TRUE(d->isVisible());
  EXPECT_NE(d->windowModality(), Qt::NonModal);
  EXPECT_EQ(QApplication::activeModalWidget(), d);
  EXPECT_EQ(d->windowTitle(), QString::fromUtf8("周期性事项："));
  EXPECT_EQ(d->size(), QSize(260, 306));
  EXPECT_EQ(week_refreshes_, 1);
  EXPECT_EQ(ctx().state.work_day, MakeDate(2013, 1, 15));
  // Fresh boxes; the unit offers the four names and nothing typed.
  EXPECT_EQ(Period(d)->text(), QString());
  EXPECT_EQ(Content(d).Text(), "");
  ui::ComboBox unit = Unit(d);
  EXPECT_FALSE(unit.widget()->isEditable());
  std::vector<std::string> items;
  for (int i = 0; i < unit.Count(); ++i) items.push_back(unit.ItemText(i));
  EXPECT_EQ(items, (std::vector<std::string>{"年"_gbk, "月"_gbk, "周"_gbk, "日"_gbk}));
  EXPECT_EQ(unit.Text(), "年"_gbk);

  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "请填写循环周期"_gbk);
  Confirm(d);
  Type(Period(d), "3");
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "请填写提醒内容！"_gbk);
  Confirm(d);
  ASSERT_EQ(AddDialog(), d) << "a failed check keeps the dialog";
  EXPECT_EQ(Period(d)->text(), QStringLiteral("3"));

  // Another day is shown meanwhile: the event still starts on the 15th, and
  // the list shows the day shown now.
  ctx().calendar().setSelectedDate(MakeDate(2013, 1, 18));
  unit.SetCurrentIndex(3);
  Type(Content(d).widget(), QString::fromUtf8("浇花"));
  Confirm(d);
  EXPECT_EQ(AddDialog(), nullptr);
  const std::vector<PeriodicEvent> stored = Stored();
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[3], (PeriodicEvent{MakeDate(2013, 1, 15), 3, RecurrenceUnit::kDay, "浇花"_gbk}));
  EXPECT_EQ(Lines(), (std::vector<ui::ResultLine>{{"开会"_gbk, 2}, {"浇花"_gbk, 4}}));
  EXPECT_EQ(week_refreshes_, 1) << "a successful add leaves the week view alone";
}

TEST_F(EventDialogsTest, EachOpeningStartsAfreshAndEveryCloseEndsTheDialog) {
  Show(15);
  Choose(0);
  QDialog* first = AddDialog();
  ASSERT_NE(first, nullptr);
  Type(Period(first), "5");
  Type(Content(first).widget(), "x");
  QTest::mouseClick(ui::Units(first).Push("按钮周期事项取消"_gbk).widget(), Qt::LeftButton);
  EXPECT_EQ(AddDialog(), nullptr);
  EXPECT_FALSE(first->isVisible());

  Choose(0);
  QDialog* second = AddDialog();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Period(second)->text(), QString());
  EXPECT_EQ(Content(second).Text(), "");
  second->close();  // the title bar's close button
  EXPECT_EQ(AddDialog(), nullptr);
  EXPECT_EQ(Stored().size(), 3u);
}

// What the period box lets through as typed, and what each period gives.
TEST_F(EventDialogsTest, APeriodMustReadAsAWholeNumberOtherThanZero) {
  struct Case {
    bool edit;               // the modify dialog, else the add dialog
    const char* typed;       // keys
    const char* shown;       // what the box then holds
    int32_t written;         // the period stored; 0 = refused with `message`
    BoxKind kind;
    const char* message;     // nullptr: the zero-period box
  };
  const Case cases[] = {
      {false, "00", "00", 0, BoxKind::kPlain, nullptr},
      {false, "-", "-", 0, BoxKind::kPlain, nullptr},
      {false, "0", "0", 0, BoxKind::kPlain, nullptr},
      {false, "-0", "-0", 0, BoxKind::kPlain, nullptr},
      {false, "-1", "-1", -1, {}, nullptr},
      {false, "12", "12", 12, {}, nullptr},
      {false, "123", "12", 12, {}, nullptr},   // two characters at most
      {false, "a-b7", "-7", -7, {}, nullptr},  // digits and a leading sign only
      {true, "0", "0", 0, BoxKind::kPlain, nullptr},
      {true, "-00", "-00", 0, BoxKind::kPlain, nullptr},
      {true, "5-1", "51", 51, {}, nullptr},
      {true, "123456", "123456", 123456, {}, nullptr},  // no length limit here
      {true, "2147483648", "2147483648", 0, BoxKind::kInformation, "循环周期过大！"},
  };
  Show(15);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.edit ? "modify " : "add ") + c.typed);
    QDialog* d = nullptr;
    if (c.edit) {
      SelectLine(0);
      Choose(2);
      d = EditDialog();
    } else {
      Choose(0);
      d = AddDialog();
    }
    ASSERT_NE(d, nullptr);
    const int32_t record = c.edit ? Lines()[0].value : 0;
    Clear(Period(d));
    Type(Period(d), QString::fromLatin1(c.typed));
    EXPECT_EQ(Period(d)->text(), QString::fromLatin1(c.shown));
    Clear(Content(d).widget());
    Type(Content(d).widget(), "x");
    if (c.written == 0) {
      dialogs_.ExpectMessage(c.kind, c.kind == BoxKind::kPlain ? ui::TitleNone() : ui::TitleInformation(),
                             c.message ? Utf8ToGbk(c.message) : ZeroPeriod());
    }
    const std::vector<PeriodicEvent> before = Stored();
    Confirm(d);
    const std::vector<PeriodicEvent> stored = Stored();
    if (c.written == 0) {
      EXPECT_EQ(stored, before);
      EXPECT_NE(c.edit ? EditDialog() : AddDialog(), nullptr);
      d->reject();
    } else {
      ASSERT_EQ(stored.size(), before.size() + (c.edit ? 0 : 1));
      EXPECT_EQ((c.edit ? stored[size_t(record) - 1] : stored.back()).period, c.written);
      EXPECT_EQ(c.edit ? EditDialog() : AddDialog(), nullptr);
    }
  }
  // Text the box would never take, set around its filter.
  Choose(0);
  QDialog* d = AddDialog();
  ASSERT_NE(d, nullptr);
  Period(d)->setText(QStringLiteral("1-"));
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "循环周期只能填写整数！"_gbk);
  Confirm(d);
  EXPECT_EQ(AddDialog(), d);
}

TEST_F(EventDialogsTest, TheContentHoldsSeventyBytes) {
  Show(15);
  Choose(0);
  QDialog* d = AddDialog();
  ASSERT_NE(d, nullptr);
  Type(Period(d), "1");
  // 36 double-byte characters typed at once: the 36th does not fit.
  Type(Content(d).widget(), QString(36, QChar(0x65E5)));  // 日
  std::string expected;
  for (int i = 0; i < 35; ++i) expected += "日"_gbk;
  EXPECT_EQ(Content(d).Text(), expected);
  Type(Content(d).widget(), "a");
  EXPECT_EQ(Content(d).Text(), expected);
  Confirm(d);
  const std::vector<PeriodicEvent> stored = Stored();
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[3].text, expected);
}

// ---- modifying ----------------------------------------------------------------

TEST_F(EventDialogsTest, ModifyWritesPeriodUnitAndContentButNeverTheStartDate) {
  Show(15);
  week_refreshes_ = 0;
  DoubleClickLine(0);
  QDialog* d = EditDialog();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), d);
  EXPECT_EQ(d->windowTitle(), QString::fromUtf8("修改已存在的提醒事件："));
  EXPECT_EQ(d->size(), QSize(260, 306));
  EXPECT_EQ(ui::Units(d).Text("标签说明周期事项"_gbk).Text(), "我在2013年1月1日约定，在今后每"_gbk);
  EXPECT_EQ(Period(d)->text(), QStringLiteral("1"));
  EXPECT_EQ(Unit(d).Text(), "周"_gbk);
  EXPECT_FALSE(Unit(d).widget()->isEditable());
  EXPECT_EQ(Content(d).Text(), "每周二"_gbk);

  Clear(Period(d));
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "请填写循环周期"_gbk);
  Confirm(d);
  Type(Period(d), "2");
  Clear(Content(d).widget());
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "请填写提醒内容！"_gbk);
  Confirm(d);
  ASSERT_EQ(EditDialog(), d);

  Unit(d).SetCurrentIndex(1);  // 月
  Type(Content(d).widget(), QString::fromUtf8("改了"));
  Confirm(d);
  EXPECT_EQ(EditDialog(), nullptr);
  std::vector<PeriodicEvent> expected = FixtureEvents();
  expected[0] = {MakeDate(2013, 1, 1), 2, RecurrenceUnit::kMonth, "改了"_gbk};
  EXPECT_EQ(Stored(), expected);
  // Every two months from 1 January: no longer on the 15th.
  EXPECT_EQ(Lines(), (std::vector<ui::ResultLine>{{"开会"_gbk, 2}, {"开会"_gbk, 3}}));
  EXPECT_EQ(week_refreshes_, 0);
}

TEST_F(EventDialogsTest, ModifyChangesTheSelectedOfTwoEventsWithTheSameText) {
  Show(15);
  SelectLine(2);  // 开会, record 3
  Choose(2);
  QDialog* d = EditDialog();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(ui::Units(d).Text("标签说明周期事项"_gbk).Text(), "我在2013年1月15日约定，在今后每"_gbk);
  Clear(Period(d));
  Type(Period(d), "4");
  Confirm(d);
  std::vector<PeriodicEvent> expected = FixtureEvents();
  expected[2].period = 4;
  EXPECT_EQ(Stored(), expected);
}

TEST_F(EventDialogsTest, ConfirmFindsItsRecordAgainWhereverTx35WasMoved) {
  Show(15);
  SelectLine(2);
  Choose(2);
  QDialog* d = EditDialog();
  ASSERT_NE(d, nullptr);
  // Other handlers moved tx35 to its first record and made rz35 current.
  ctx().store.SelectTable("tx35");
  ctx().store.GoFirst();
  ctx().store.SelectTable("rz35");
  Clear(Content(d).widget());
  Type(Content(d).widget(), QString::fromUtf8("周会"));
  Confirm(d);
  EXPECT_EQ(EditDialog(), nullptr);
  std::vector<PeriodicEvent> expected = FixtureEvents();
  expected[2].text = "周会"_gbk;
  EXPECT_EQ(Stored(), expected);

  // The record replaced behind the open dialog: nothing is written.
  SelectLine(2);
  Choose(2);
  d = EditDialog();
  ASSERT_NE(d, nullptr);
  Meanwhile([](store::RecordStore& s) {
    ASSERT_TRUE(s.GoToRecord(3));
    ASSERT_TRUE(s.WriteField(tables::EventTextField(), std::string("other")));
  });
  Clear(Period(d));
  Type(Period(d), "9");
  dialogs_.ExpectMessage(BoxKind::kError, ui::TitleError(), "修改记录失败"_gbk);
  Confirm(d);
  EXPECT_EQ(EditDialog(), d);
  expected[2].text = "other";
  EXPECT_EQ(Stored(), expected);
}

TEST_F(EventDialogsTest, AStoredUnitOutsideTheFourIsKeptUnlessOneIsChosen) {
  Meanwhile([](store::RecordStore& s) {
    ASSERT_TRUE(s.GoToRecord(1));
    ASSERT_TRUE(s.WriteField(tables::EventUnitField(), std::string("x")));
  });
  Show(15);  // the line of record 1 is gone: a foreign unit never occurs
  ctx().units().List("列表框_周期事项"_gbk).Add({"每周二"_gbk, 1});
  SelectLine(2);
  Choose(2);
  QDialog* d = EditDialog();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(Unit(d).CurrentIndex(), -1);
  Clear(Period(d));
  Type(Period(d), "3");
  Confirm(d);
  EXPECT_EQ(Stored()[0].period, 3);
  store::RecordStore s;
  ASSERT_TRUE(s.OpenTable(GbkFile("data/tx35.edb")));
  EXPECT_EQ(std::get<std::string>(s.ReadField(tables::EventUnitField())), "x");
}

// ---- deleting -------------------------------------------------------------------

TEST_F(EventDialogsTest, DeleteRemovesTheSelectedOfTwoEventsWithTheSameText) {
  Show(15);
  SelectLine(2);
  week_refreshes_ = 0;
  Choose(4);  // no question asked
  std::vector<PeriodicEvent> expected = FixtureEvents();
  expected.pop_back();
  EXPECT_EQ(Stored(), expected) << "deleted and packed";
  EXPECT_EQ(Lines(), (std::vector<ui::ResultLine>{{"每周二"_gbk, 1}, {"开会"_gbk, 2}}));
  EXPECT_EQ(week_refreshes_, 0);
}

// The list shows a text with a byte GBK cannot decode in its decoded form;
// the line still finds its record.
TEST_F(EventDialogsTest, ATextWithAnUndecodableByteIsFoundAsShown) {
  Meanwhile([](store::RecordStore& s) {
    ASSERT_TRUE(s.GoToRecord(3));
    ASSERT_TRUE(s.WriteField(tables::EventTextField(), "开会"_gbk + "\x81"));
  });
  Show(15);
  ASSERT_NE(Lines()[2].text, "开会"_gbk + "\x81");
  SelectLine(2);
  Choose(4);
  std::vector<PeriodicEvent> expected = FixtureEvents();
  expected.pop_back();
  EXPECT_EQ(Stored(), expected);
}

// A line that no longer stands for its record finds nothing; modify and
// delete say so, refresh the week view and touch no record.
TEST_F(EventDialogsTest, ALineWhoseRecordChangedFindsNothing) {
  struct Case {
    const char* name;
    void (*change)(store::RecordStore&);  // applied to tx35 behind the list
  };
  const Case cases[] = {
      {"text changed",
       [](store::RecordStore& s) {
         ASSERT_TRUE(s.GoToRecord(3));
         ASSERT_TRUE(s.WriteField(tables::EventTextField(), std::string("x")));
       }},
      {"marked deleted",
       [](store::RecordStore& s) {
         ASSERT_TRUE(s.GoToRecord(3));
         ASSERT_TRUE(s.DeleteRecord());
       }},
      {"gone past the end",
       [](store::RecordStore& s) {
         ASSERT_TRUE(s.GoToRecord(1));
         ASSERT_TRUE(s.DeleteRecord());
         ASSERT_TRUE(s.Pack());
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Show(15);
    SelectLine(2);  // 开会, record 3
    Meanwhile(c.change);
    const std::vector<PeriodicEvent> before = Stored();
    week_refreshes_ = 0;
    dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "请选择一条记录后再进行修改！"_gbk);
    Choose(2);
    EXPECT_EQ(EditDialog(), nullptr);
    EXPECT_EQ(week_refreshes_, 1);
    dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "请选择一条记录后再进行删除！"_gbk);
    Choose(4);
    EXPECT_EQ(week_refreshes_, 2);
    EXPECT_EQ(Stored(), before);
    // Back to the three events for the next case.
    organiser_.reset();
    std::remove(File("data/tx35.edb").c_str());
    SetUp();
  }
}

TEST_F(EventDialogsTest, WithoutASelectedLineNothingIsModifiedOrDeleted) {
  Show(15);
  week_refreshes_ = 0;
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "请选择一条记录后再进行修改！"_gbk);
  Choose(2);
  EXPECT_EQ(EditDialog(), nullptr);
  EXPECT_EQ(week_refreshes_, 0) << "no line selected: the modify command just stops";
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), "请选择一条记录后再进行删除！"_gbk);
  Choose(4);
  EXPECT_EQ(week_refreshes_, 1);
  EXPECT_EQ(Stored(), FixtureEvents());
}

// ---- the list's mouse -----------------------------------------------------------

TEST_F(EventDialogsTest, TheRightButtonPopsTheMenuAndLeavesTheSelection) {
  Show(15);
  SelectLine(0);
  events::ConnectEventList(ctx());  // a second call adds nothing
  QMenu* menu = PressRight(LinePoint(2));
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->isVisible());
  EXPECT_EQ(List()->findChildren<QMenu*>().size(), 1);
  std::vector<QString> items;
  for (QAction* a : menu->actions()) items.push_back(a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(items, (std::vector<QString>{QString::fromUtf8("新增周期性事件"), QStringLiteral("-"),
                                         QString::fromUtf8("修改周期性事件"), QStringLiteral("-"),
                                         QString::fromUtf8("删除周期性事件")}));
  EXPECT_EQ(o().units().List("列表框_周期事项"_gbk).SelectedIndex(), 0);
  menu->hide();

  // A double click on a line opens one modify dialog, for that line.
  DoubleClickLine(1);
  QDialog* d = EditDialog();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(ui::Units(d).Text("标签说明周期事项"_gbk).Text(), "我在2013年1月10日约定，在今后每"_gbk);
  EXPECT_EQ(Unit(d).Text(), "日"_gbk);
}

// ---- failed writes ---------------------------------------------------------------

class EventDialogsFaultTest : public EventDialogsTest {
 protected:
  ~EventDialogsFaultTest() override { organiser_.reset(); }  // its files are the wrapper's

  FaultFileSystem fs_;
  ScopedFileSystem use_fs_{&fs_};
};

TEST_F(EventDialogsFaultTest, FailedWritesAreReportedAndKeepWhatWasTyped) {
  Show(15);
  Choose(0);
  QDialog* d = AddDialog();
  ASSERT_NE(d, nullptr);
  Type(Period(d), "2");
  Type(Content(d).widget(), "new");
  fs_.FailNth(FsOp::kWrite, 1, ENOSPC);
  dialogs_.ExpectMessage(BoxKind::kError, ui::TitleError(), "加记录失败"_gbk);
  Confirm(d);
  ASSERT_EQ(AddDialog(), d);
  EXPECT_EQ(Content(d).Text(), "new");
  d->reject();

  SelectLine(1);
  Choose(2);
  d = EditDialog();
  ASSERT_NE(d, nullptr);
  Clear(Period(d));
  Type(Period(d), "6");
  fs_.FailNth(FsOp::kWrite, 1, ENOSPC);
  dialogs_.ExpectMessage(BoxKind::kError, ui::TitleError(), "修改记录失败"_gbk);
  Confirm(d);
  ASSERT_EQ(EditDialog(), d);
  EXPECT_EQ(Period(d)->text(), QStringLiteral("6"));
  d->reject();
  EXPECT_EQ(Stored(), FixtureEvents());
}

TEST_F(EventDialogsFaultTest, AFailedDeleteOrPackIsReported) {
  Show(15);
  SelectLine(2);
  fs_.FailNth(FsOp::kWrite, 1, ENOSPC);  // the delete mark
  dialogs_.ExpectMessage(BoxKind::kError, ui::TitleError(), "删除记录失败！"_gbk);
  Choose(4);
  EXPECT_EQ(Stored(), FixtureEvents());
  EXPECT_EQ(Lines().size(), 3u);

  SelectLine(2);
  fs_.FailNth(FsOp::kWrite, 2, ENOSPC);  // the mark is written, the pack fails
  dialogs_.ExpectMessage(BoxKind::kError, ui::TitleError(), "删除记录失败！"_gbk);
  Choose(4);
  fs_.ClearFaults();
  EXPECT_EQ(Stored().size(), 3u) << "the pack changed nothing";
  EXPECT_EQ(Lines(), (std::vector<ui::ResultLine>{{"每周二"_gbk, 1}, {"开会"_gbk, 2}}))
      << "the marked record is no longer listed";

  // The next delete packs both away.
  SelectLine(1);
  Choose(4);
  EXPECT_EQ(Stored(), std::vector<PeriodicEvent>{FixtureEvents()[0]});
  EXPECT_EQ(Lines(), (std::vector<ui::ResultLine>{{"每周二"_gbk, 1}}));
}

}  // namespace
}  // namespace tarvok::test
