// Units found by name and their GBK byte limits, driven through real
// widgets: keys typed, text pasted, text set by the program.
#include "ui/units.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/gbk.h"
#include "store/record_store.h"
#include "ui/gbk_text.h"

namespace tarvok::ui {
namespace {

// Types each character as a key press carrying it; QTest's key clicks take
// only ASCII.
void TypeText(QWidget* w, const QString& text) {
  for (QChar c : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

TEST(GbkTextTest, PrefixWithinKeepsCharactersWhole) {
  struct Row {
    const char* name;
    const char16_t* text;
    std::size_t limit;
    LineBreaks breaks;
    qsizetype chars;
  };
  const Row rows[] = {
      {"ascii", u"abcdef", 4, LineBreaks::kAsIs, 4},
      {"double-byte fits", u"a中b", 3, LineBreaks::kAsIs, 2},
      {"double-byte split avoided", u"a中b", 2, LineBreaks::kAsIs, 1},
      {"four-byte emoji kept whole", u"a\U0001F600b", 4, LineBreaks::kAsIs, 1},
      {"four-byte emoji fits", u"a\U0001F600b", 5, LineBreaks::kAsIs, 3},
      {"break as one byte", u"a\nb", 2, LineBreaks::kAsIs, 2},
      {"break as CR LF", u"a\nb", 2, LineBreaks::kCrLf, 1},
      {"everything fits", u"中文", 100, LineBreaks::kAsIs, 2},
      {"zero", u"中", 0, LineBreaks::kAsIs, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(GbkPrefixWithin(QString::fromUtf16(r.text), r.limit, r.breaks), r.chars);
  }
  EXPECT_EQ(GbkByteLength(u"a中\n\U0001F600", LineBreaks::kCrLf), 1u + 2 + 2 + 4);
  EXPECT_EQ(ToGbk(u"日志"), "日志"_gbk);
  EXPECT_EQ(FromGbk("日志"_gbk), QStringLiteral("日志"));
}

// Typing and pasting into a one-line box with a byte limit; the text before
// the edit, the cursor, what is typed or pasted, and what the box holds.
TEST(EditBoxTest, OneLineLimitCountsGbkBytes) {
  struct Row {
    const char* name;
    std::size_t limit;
    const char* before;
    int cursor;
    const char* paste;  // pasted when set, else `typed`
    const char* typed;
    const char* after;
  };
  const Row rows[] = {
      {"ascii typed up to the limit", 5, "", 0, nullptr, "abcdefg", "abcde"},
      {"chinese typed: 2 bytes each", 5, "", 0, nullptr, "中文字符", "中文"},
      {"chinese does not split at the end", 5, "abcd", 4, nullptr, "中", "abcd"},
      {"mixed paste keeps what fits", 7, "ab", 2, "中文字符", nullptr, "ab中文"},
      {"paste in the middle keeps the tail", 8, "abcd", 2, "中文字符", nullptr, "ab中文cd"},
      {"paste that fits whole", 10, "ab", 1, "中c", nullptr, "a中cb"},
      {"seventy bytes are 35 characters", 70,
       "", 0, "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十", nullptr,
       "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    QLineEdit line;
    EditBox box(&line);
    box.SetText(Utf8ToGbk(r.before));
    box.SetByteLimit(r.limit);
    int changes = 0;
    box.OnChange([&] {
      ++changes;
      EXPECT_LE(box.Text().size(), r.limit) << "a handler saw the text before the cut";
    });
    line.setCursorPosition(r.cursor);
    if (r.paste) {
      QApplication::clipboard()->setText(QString::fromUtf8(r.paste));
      line.paste();
    } else {
      TypeText(&line, QString::fromUtf8(r.typed));
    }
    EXPECT_EQ(box.Text(), Utf8ToGbk(r.after));
    EXPECT_LE(box.Text().size(), r.limit);
    EXPECT_GE(changes, 1);
  }
}

TEST(EditBoxTest, MultiLineLimitCountsLineBreaksAsTwoBytes) {
  QTextEdit text;
  EditBox box(&text);
  box.SetByteLimit(10);
  // "中文" 4 + "\r\n" 2 + "abcd" 4 = 10; the "e" does not fit.
  QApplication::clipboard()->setText(QStringLiteral("中文\nabcde"));
  text.paste();
  EXPECT_EQ(box.Text(), "中文\r\nabcd"_gbk);
  TypeText(&text, QStringLiteral("x"));
  EXPECT_EQ(box.Text(), "中文\r\nabcd"_gbk);
  // A paste in front keeps the text after the cursor.
  QTextCursor c = text.textCursor();
  c.setPosition(0);
  text.setTextCursor(c);
  QTest::keyClick(&text, Qt::Key_Delete);  // "中" gone: 2 bytes free
  QApplication::clipboard()->setText(QStringLiteral("甲乙丙"));
  text.paste();
  EXPECT_EQ(box.Text(), "甲文\r\nabcd"_gbk);
}

TEST(EditBoxTest, SetTextKeepsTheHeadAndRaisesOneChange) {
  struct Row {
    const char* name;
    bool plain;  // QPlainTextEdit, else QLineEdit
    std::string set;
    std::string held;
  };
  const Row rows[] = {
      {"line, cut at a character", false, "ab中文"_gbk, "ab中"_gbk},
      {"plain text, CR LF kept", true, "a\r\n中文"_gbk, "a\r\n中"_gbk},
      {"fits", false, "abcde"_gbk, "abcde"_gbk},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    QLineEdit line;
    QPlainTextEdit plain;
    EditBox box(r.plain ? static_cast<QWidget*>(&plain) : &line);
    box.SetByteLimit(5);
    int changes = 0;
    box.OnChange([&] { ++changes; });
    box.SetText(r.set);
    EXPECT_EQ(box.Text(), r.held);
    EXPECT_EQ(changes, 1);
  }
}

TEST(EditBoxTest, LoweringTheLimitCutsWhatIsHeld) {
  QLineEdit line;
  EditBox box(&line);
  box.SetText("中文字"_gbk);
  EXPECT_EQ(box.ByteLimit(), 0u);
  EditBox(&line).SetByteLimit(3);  // a second wrapper finds the same state
  EXPECT_EQ(box.ByteLimit(), 3u);
  EXPECT_EQ(box.Text(), "中"_gbk);
}

// A window of named units.
class UnitsTest : public testing::Test {
 protected:
  UnitsTest() {
    auto* layout = new QVBoxLayout(&window_);
    auto add = [&](QWidget* w, const char* name) {
      w->setObjectName(QString::fromUtf8(name));
      layout->addWidget(w);
    };
    add(new QLineEdit, "编辑框_关键词");
    add(new QListWidget, "列表框_日志");
    add(new QLabel, "标签1");
    add(new QComboBox, "组合框1");
    auto* tabs = new QTabWidget;
    tabs->addTab(new QWidget, QStringLiteral("今日"));
    tabs->addTab(new QWidget, QStringLiteral("备忘便签"));
    add(tabs, "选择夹右侧");
  }
  QWidget window_;
};

TEST_F(UnitsTest, ListBoxKeepsTextAndValue) {
  Units u(&window_);
  ListBox list = u.List("列表框_日志"_gbk);
  list.Add({"2024-05-01 08:00:00"_gbk, 17});
  list.Add({"未找到"_gbk});
  list.Add({"neg", -5});
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Line(0), (ResultLine{"2024-05-01 08:00:00"_gbk, 17}));
  EXPECT_EQ(list.Line(1), (ResultLine{"未找到"_gbk, 0}));
  EXPECT_EQ(list.Line(2).value, -5);
  EXPECT_EQ(list.SelectedIndex(), -1);
  list.SetSelectedIndex(1);
  EXPECT_EQ(list.SelectedIndex(), 1);
  list.SetSelectedIndex(-1);
  EXPECT_EQ(list.SelectedIndex(), -1);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(UnitsTest, OtherUnitsSpeakGbk) {
  Units u(&window_);
  u.Text("标签1"_gbk).SetText("共 3 条"_gbk);
  EXPECT_EQ(window_.findChild<QLabel*>(QStringLiteral("标签1"))->text(), QStringLiteral("共 3 条"));
  ComboBox combo = u.Combo("组合框1"_gbk);
  combo.Add("天"_gbk);
  combo.Add("月"_gbk);
  combo.SetCurrentIndex(1);
  EXPECT_EQ(combo.Text(), "月"_gbk);
  EXPECT_EQ(combo.ItemText(0), "天"_gbk);
  PageControl pages = u.Pages("选择夹右侧"_gbk);
  EXPECT_EQ(pages.PageCount(), 2);
  pages.SetCurrentPage(1);
  EXPECT_EQ(window_.findChild<QTabWidget*>()->currentIndex(), 1);
}

TEST_F(UnitsTest, AMissingOrMistypedNameEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Units u(&window_);
  // The child ends at once after the message: the store's exit would leave
  // this frame's widgets behind, which the leak checker reports.
  auto in_child = [] {
    store::SetFatalRunErrorHook([](const std::string& text) {
      std::fprintf(stderr, "%s", GbkToUtf8(text).c_str());
      std::_Exit(255);
    });
  };
  EXPECT_EXIT((in_child(), u.Edit("编辑框_没有"_gbk)), testing::ExitedWithCode(255),
              "错误信息：窗口单元不存在：编辑框_没有");
  EXPECT_EXIT((in_child(), u.Edit("标签1"_gbk)), testing::ExitedWithCode(255),
              "错误信息：窗口单元类型不符：标签1");
  EXPECT_EXIT((in_child(), u.List("组合框1"_gbk)), testing::ExitedWithCode(255),
              "错误信息：窗口单元类型不符：组合框1");
  // Found units do not end anything.
  EXPECT_EQ(u.Find("标签1"_gbk)->objectName(), QStringLiteral("标签1"));
}

}  // namespace
}  // namespace tarvok::ui
