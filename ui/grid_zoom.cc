#include "ui/grid_zoom.h"

#include <QFont>
#include <QHeaderView>
#include <QTableView>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace tarvok::ui {
namespace {

constexpr const char* kZoom = "tarvokZoom";
constexpr const char* kBaseFont = "tarvokBaseFontPt";
constexpr const char* kBaseRow = "tarvokBaseRow";
constexpr const char* kBaseColumn = "tarvokBaseColumn";

int Scaled(int base, int percent) {
  return std::max(1, static_cast<int>(std::lround(base * percent / 100.0)));
}

}  // namespace

int SetGridZoom(QTableView* grid, int percent) {
  percent = std::clamp(percent, kMinGridZoom, kMaxGridZoom);
  // The unzoomed sizes, remembered at the first zoom.
  if (!grid->property(kBaseFont).isValid()) {
    grid->setProperty(kBaseFont, grid->font().pointSizeF());
    grid->setProperty(kBaseRow, grid->verticalHeader()->defaultSectionSize());
    grid->setProperty(kBaseColumn, grid->horizontalHeader()->defaultSectionSize());
  }
  QFont font = grid->font();
  font.setPointSizeF(std::max(1.0, grid->property(kBaseFont).toDouble() * percent / 100.0));
  grid->setFont(font);
  grid->verticalHeader()->setFont(font);
  grid->horizontalHeader()->setFont(font);
  // Row heights follow the font; the minimum section size would hold them up.
  grid->verticalHeader()->setMinimumSectionSize(1);
  grid->verticalHeader()->setDefaultSectionSize(Scaled(grid->property(kBaseRow).toInt(), percent));
  grid->horizontalHeader()->setMinimumSectionSize(1);
  grid->horizontalHeader()->setDefaultSectionSize(
      Scaled(grid->property(kBaseColumn).toInt(), percent));
  grid->setProperty(kZoom, percent);
  return percent;
}

int GridZoom(const QTableView* grid) {
  const QVariant zoom = grid->property(kZoom);
  return zoom.isValid() ? zoom.toInt() : 100;
}

}  // namespace tarvok::ui
