// A full scroll of the contacts grid over 10,000 contacts, beside the same
// scroll of a plain Qt table holding the same texts in memory.
//
// The grid is the organiser's RecordGrid bound through a data source to a
// provider over lxr35 (cells read from the file on demand); the baseline is
// a QTableView over a QStandardItemModel filled beforehand with the same
// 10,000 x 3 texts. Both are 385 x 375 pixels, shown on the offscreen
// platform; a scroll moves the vertical scroll bar one page at a time from
// the top to the bottom and repaints the viewport at every step.
//
//   contacts_scroll_bench [--runs=N] [--dir=DIR]   (defaults 9, $TMPDIR or /tmp)
#include <sys/stat.h>

#include <QApplication>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "platform/gbk.h"
#include "store/record_store.h"
#include "tables/tables.h"
#include "ui/gbk_text.h"
#include "ui/record_grid.h"

namespace {

using namespace tarvok;
using bench::Median;
using bench::TimeMs;
constexpr int kContacts = 10000;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "contacts_scroll_bench: %s\n", what);
  std::exit(1);
}

// Pages down from the top to the bottom, repainting at each step; returns
// the steps taken.
int Scroll(QTableView* view) {
  QScrollBar* bar = view->verticalScrollBar();
  bar->setValue(0);
  int steps = 0;
  while (true) {
    view->viewport()->repaint();
    ++steps;
    if (bar->value() >= bar->maximum()) break;
    bar->setValue(bar->value() + bar->pageStep());
  }
  return steps;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Flags flags = bench::ParseFlags(argc, argv, 9);
  const int runs = flags.runs;
  const std::string& base = flags.dir;
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);

  const std::string dir = bench::FreshFolder(base, "scroll-bench"), gbk_dir = Utf8ToGb18030(dir);
  tables::EnsureDataFiles(gbk_dir);
  QStandardItemModel memory(kContacts, 3);
  {
    store::RecordStore s;
    if (!s.OpenTable(gbk_dir + "/data/lxr35.edb")) Fail("open lxr35");
    for (int i = 0; i < kContacts; ++i) {
      const tables::Contact c{"张"_gbk + std::to_string(i % 1000), "1390000" + std::to_string(i),
                              "老同学，住在北京"_gbk};
      if (!s.AddRecord(tables::RecordValues(c))) Fail("write lxr35");
      memory.setItem(i, 0, new QStandardItem(ui::FromGbk(c.name)));
      memory.setItem(i, 1, new QStandardItem(ui::FromGbk(c.phone)));
      memory.setItem(i, 2, new QStandardItem(ui::FromGbk(c.remark)));
    }
  }

  QWidget window;
  window.resize(900, 420);
  auto* provider = new ui::ProviderUnit(QStringLiteral("数据库提供者_联系人"), &window);
  auto* source = new ui::DataSourceUnit(QStringLiteral("数据源_联系人"), &window);
  auto* grid = new ui::RecordGrid(&window);
  grid->setGeometry(5, 5, 385, 375);
  auto* plain = new QTableView(&window);
  plain->setGeometry(400, 5, 385, 375);
  plain->setModel(&memory);
  window.show();
  QApplication::processEvents();
  if (!provider->SetFile(gbk_dir + "/data/lxr35.edb")) Fail("provider");
  source->SetProviderName("数据库提供者_联系人"_gbk);
  grid->SetDataSourceName("数据源_联系人"_gbk);
  source->SetColumnWidth(1, 200);
  source->SetColumnWidth(2, 300);
  source->SetColumnWidth(3, 350);
  for (int c = 0; c < 3; ++c) plain->setColumnWidth(c, grid->columnWidth(c));
  QApplication::processEvents();
  if (grid->model() == nullptr || grid->model()->rowCount() != kContacts) Fail("grid rows");

  int steps = Scroll(grid);
  Scroll(plain);
  std::vector<double> ours, theirs;
  for (int i = 0; i < runs; ++i) {
    ours.push_back(TimeMs([&] { steps = Scroll(grid); }));
    theirs.push_back(TimeMs([&] { Scroll(plain); }));
  }
  std::filesystem::remove_all(dir);
  const double o = Median(ours), t = Median(theirs);
  std::printf("full scroll of %d contacts, %d pages, median of %d runs\n", kContacts, steps, runs);
  std::printf("  record grid   %8.1f ms  (%.3f ms a page)\n", o, o / steps);
  std::printf("  in-memory Qt  %8.1f ms  (%.3f ms a page)\n", t, t / steps);
  std::printf("  ratio record grid / in-memory: %.2f\n", o / t);
  return 0;
}
