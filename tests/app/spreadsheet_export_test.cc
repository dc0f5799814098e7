// The two export buttons through the real window: the check before an
// export of results, the workbook written privately and handed to the
// desktop, and the offer to save it elsewhere when no program opens it.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

#include <string>
#include <vector>

#include "store/record_store.h"
#include "tables/tables.h"
#include "tests/app/app_test_base.h"
#include "tests/support/peer_workbook.h"
#include "ui/desktop_open.h"

namespace tarvok::test {
namespace {

using ui::BoxKind;

// Stands for the desktop: records what it is asked to open.
class FakeOpener : public ui::DesktopOpener {
 public:
  bool Open(const std::string& path, const std::string& media_type) override {
    opened.push_back(GbkToUtf8(path));
    types.push_back(media_type);
    return answer;
  }
  bool answer = true;
  std::vector<std::string> opened, types;
};

class SpreadsheetExportTest : public AppTest {
 protected:
  SpreadsheetExportTest() : use_opener_(&opener_) {}
  void SetUp() override {
    setenv("XDG_RUNTIME_DIR", RuntimeDir().c_str(), 1);
    tables::EnsureDataFiles(Utf8ToGb18030(ProgramDir()));
    store::RecordStore s;
    ASSERT_TRUE(s.OpenTable(GbkFile("data/rz35.edb")));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(tables::DiaryEntry{MakeDate(2013, 1, 5), "去公园散步"_gbk})));
    ASSERT_TRUE(s.OpenTable(GbkFile("data/lxr35.edb")));
    ASSERT_TRUE(s.AddRecord(tables::RecordValues(tables::Contact{"曹一"_gbk, "1", "公园"_gbk})));
  }
  void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }

  void Search(const char* keyword) {
    auto* box = qobject_cast<QLineEdit*>(organiser_->units().Find("编辑框关键词"_gbk));
    box->setFocus();
    box->setText(QString::fromUtf8(keyword));  // typed: the box emptied itself on the focus
    QTest::keyClick(box, Qt::Key_Return);
  }
  void Click(const char* button) { organiser_->units().Push(Utf8ToGbk(button)).widget()->click(); }
  // Where the export of the pinned "now" lands.
  std::string ExportFile(const char* suffix = "") const {
    return RuntimeDir() + "/exports/导出数据-20130131-100000" + suffix + ".xlsx";
  }
  static unsigned Mode(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
  }

  FakeOpener opener_;
  ui::ScopedDesktopOpener use_opener_;
};

TEST_F(SpreadsheetExportTest, ResultsNeedASearchWithAHit) {
  Started();
  const std::string none = "没有任何搜索结果，无需导出！"_gbk;
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), none);
  Click("按钮_导出结果");
  dialogs_.Finish();
  Search("不存在的词");
  dialogs_.ExpectMessage(BoxKind::kInformation, ui::TitleInformation(), none);
  Click("按钮_导出结果");
  dialogs_.Finish();
  EXPECT_TRUE(opener_.opened.empty());
}

TEST_F(SpreadsheetExportTest, ResultsAreWrittenPrivatelyAndHandedToTheDesktop) {
  Started();
  Search("公园");
  Click("按钮_导出结果");
  ASSERT_EQ(opener_.opened, std::vector<std::string>{ExportFile()});
  EXPECT_EQ(opener_.types[0], ui::kWorkbookMediaType);
  EXPECT_EQ(Mode(ExportFile()), 0600u);
  EXPECT_EQ(Mode(RuntimeDir() + "/exports"), 0700u);

  Click("按钮_导出全库");  // the same second: a name of its own
  ASSERT_EQ(opener_.opened.size(), 2u);
  EXPECT_EQ(opener_.opened[1], ExportFile("-2"));

  const PeerWorkbook peer = ReadWithPeer(ExportFile());
  if (peer.missing) GTEST_SKIP() << "openpyxl is not installed";
  ASSERT_TRUE(peer.ok) << peer.error;
  ASSERT_EQ(peer.sheets.size(), 4u);
  EXPECT_EQ(peer.title, "Tarvokline导出数据-2013年1月31日10时");
  EXPECT_EQ(peer.sheets[0].cells.at("A2"), "2013年1月5日");
  EXPECT_EQ(peer.sheets[0].cells.at("B2"), "去公园散步");
  EXPECT_EQ(peer.sheets[3].cells.at("C2"), "公园");
}

TEST_F(SpreadsheetExportTest, WithoutAProgramTheUserSavesItElsewhereUntilItWorks) {
  Started();
  opener_.answer = false;
  const std::string question = "没有找到可以打开电子表格的程序。导出的数据已保存在：\r\n"_gbk +
                               Utf8ToGb18030(ExportFile()) + "\r\n要把它另存到您选择的位置吗？"_gbk;
  const std::string filter = "Excel 工作簿 (*.xlsx)"_gbk;
  const std::string nowhere = dir_.Path("no/such/folder/全部");
  const std::string chosen = dir_.Path("我的导出");
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), question, true)
      .ExpectSaveFile(filter, Utf8ToGb18030(nowhere))
      .ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(),
                     "保存到以下位置失败（No such file or directory）：\r\n"_gbk + Utf8ToGb18030(nowhere) +
                         ".xlsx\r\n要另选一个位置吗？"_gbk,
                     true)
      .ExpectSaveFile(filter, Utf8ToGb18030(chosen))
      .ExpectMessage(BoxKind::kInformation, ui::TitleInformation(),
                     "导出的数据已保存到：\r\n"_gbk + Utf8ToGb18030(chosen) + ".xlsx");
  Click("按钮_导出全库");
  dialogs_.Finish();
  EXPECT_EQ(opener_.opened, std::vector<std::string>{ExportFile()});
  EXPECT_EQ(Mode(chosen + ".xlsx"), 0600u);
  EXPECT_EQ(Mode(ExportFile()), 0600u) << "the private copy stays";
  const PeerWorkbook peer = ReadWithPeer(chosen + ".xlsx");
  if (!peer.missing) {
    ASSERT_TRUE(peer.ok) << peer.error;
    EXPECT_EQ(peer.sheets.at(3).cells.at("A2"), "曹一");
  }

  // Declined: nothing more is asked, and the private copy is there.
  const std::string again = "没有找到可以打开电子表格的程序。导出的数据已保存在：\r\n"_gbk +
                            Utf8ToGb18030(ExportFile("-2")) + "\r\n要把它另存到您选择的位置吗？"_gbk;
  dialogs_.ExpectMessage(BoxKind::kQuestion, ui::TitleQuestion(), again, false);
  Click("按钮_导出全库");
  dialogs_.Finish();
  EXPECT_EQ(Mode(ExportFile("-2")), 0600u);
}

}  // namespace
}  // namespace tarvok::test
