// Record files on the screen, as tables. Three kinds of unit, linked by
// unit name within one window:
//
//   ProviderUnit    数据库提供者_*: no place on the screen; opens one table
//                   file (store::DatabaseProvider).
//   DataSourceUnit  数据源_*: the 132 x 22 strip of six 22 x 22 buttons
//                   <source>_首, _上, _下, _末, _增, _删 (first, previous, next,
//                   last, insert, delete) over a store::DataSource; it names
//                   its provider.
//   RecordGrid      表格_*: a QTableView of one row per record slot and one
//                   column per field of its data source's provider; it
//                   names its data source.
//
// A name is looked up among the QObjects of the unit's window (its
// top-level widget) when it is set; one that matches no unit of the kind
// leaves the unit unconnected, and a unit that goes away unconnects those
// linked to it. An unconnected grid shows no model and paints only
// "未连接数据源", 10 pixels right of and below its top left corner.
//
// A grid reads the cells it paints and nothing more: its row count is the
// data source's, as read at the source's last reload. Cell texts are the
// provider's (store/grid_binding.h) through FromGbk; an edit goes through
// ToGbk into the cell, and only a data source that is not read-only lets
// the grid edit. A cell colour is drawn as the cell's background.
//
// Column widths, applied when the source reloads, when widths are set and
// when the grid's font changes (ui/grid_zoom.h): a width set on the data
// source, in pixels at zoom 100 and scaled by the grid's zoom; otherwise
// the provider's character count n as n * (advance of "W" in the grid's font
// + 1) + 27 pixels (the zoom shows in the font). At most 32767 pixels. After
// a change of font they are applied once more from the event loop, since
// SetGridZoom resizes every column to its default section size last.
//
// The grids of a data source follow its current row: their cursor moves to
// that row (same column) and the cell is selected. A user who moves a grid's
// cursor to another row moves the data source's current row, and the grid
// raises cursorRowChangedByUser, its main event; moves made by the program
// (following the source, SetCursor, a reload) raise nothing.
//
// Insert and delete failures show "插入新记录失败!" and "删除记录失败!" in an
// error box titled "塔沃克林-Tarvokline" (ui::Dialogs()).
//
// Texts and names are GBK.
#pragma once

#include <QFrame>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTableView>

#include <cstdint>
#include <string>

#include "store/grid_binding.h"

class QEvent;
class QPaintEvent;
class QToolButton;

namespace tarvok::ui {

class RecordGridModel;

class ProviderUnit : public QObject {
  Q_OBJECT

 public:
  // An empty file: no table until SetFile.
  ProviderUnit(const QString& name, QObject* parent);

  store::DatabaseProvider& provider() { return provider_; }
  // Each reloads (see store::DatabaseProvider) and returns whether a table
  // is open.
  bool SetFile(const std::string& gbk_path);
  bool SetPassword(const std::string& gbk_password);
  void SetBytesMode(int mode);

 private:
  store::DatabaseProvider provider_;
};

class DataSourceUnit : public QFrame {
  Q_OBJECT

 public:
  // Read-only, insert and delete off, no provider.
  DataSourceUnit(const QString& name, QWidget* parent);
  ~DataSourceUnit() override;

  store::DataSource& source() { return source_; }

  // Connects to the provider unit of that name on this window (reloading
  // from it); false and no provider when there is none.
  bool SetProviderName(const std::string& gbk_name);
  const std::string& provider_name() const { return provider_name_; }
  ProviderUnit* provider_unit() const { return provider_unit_; }

  // _增 and _删 are enabled while the source is not read-only and the
  // permission is on.
  void SetReadOnly(bool on);
  void SetInsertAllowed(bool on);
  void SetDeleteAllowed(bool on);

  // Columns first_column (1-based) .. first_column + count - 1, as far as
  // they exist, become `width` pixels wide in every grid of this source.
  void SetColumnWidths(int first_column, int count, int width);
  void SetColumnWidth(int column, int width) { SetColumnWidths(column, 1, width); }
  // The colour of cell (row, column), both 0-based: 24 bits, red in the low
  // byte. False for a cell that does not exist.
  bool SetCellColour(int32_t row, int column, uint32_t rgb);
  // Makes the row (0-based, clamped) current; the grids follow.
  bool MoveTo(int32_t row);

  // What the six buttons do.
  void First();
  void Previous();
  void Next();
  void Last();
  // True when a row was added or removed; a failure is shown to the user.
  bool Insert();
  bool Delete();

 private:
  void UpdateButtons();

  store::DataSource source_;
  QPointer<ProviderUnit> provider_unit_;
  std::string provider_name_;
  QToolButton* insert_ = nullptr;
  QToolButton* delete_ = nullptr;
};

class RecordGrid : public QTableView {
  Q_OBJECT

 public:
  explicit RecordGrid(QWidget* parent = nullptr);
  ~RecordGrid() override;

  // Connects to the data source unit of that name on this window; false
  // and unconnected when there is none.
  bool SetDataSourceName(const std::string& gbk_name);
  const std::string& data_source_name() const { return source_name_; }
  DataSourceUnit* data_source() const { return source_unit_; }

  // The first selected row, 1-based; 0 when nothing is selected.
  int CurrentRowNumber() const;
  // The cursor's row and column, 1-based; 0 when there is no cursor.
  int CursorRow() const;
  int CursorColumn() const;
  // Puts the cursor on the cell (1-based) and selects it, and makes the
  // row the data source's current row. False for a cell that does not
  // exist.
  bool SetCursor(int row, int column);
  // Selects the block of `rows` x `columns` cells from (first_row,
  // first_column), 1-based, cut to the grid; an empty block clears the
  // selection. The cursor stays.
  void SelectBlock(int first_row, int first_column, int rows, int columns);

 signals:
  // The main event: the user moved the cursor to another row (1-based).
  void cursorRowChangedByUser(int row);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  friend class RecordGridModel;
  class Quiet;

  // Shows the source (nullptr: none) and applies its widths and row.
  void Show(store::DataSource* source);
  // From the model, after it has followed the source.
  void SourceReset();
  void ApplyWidths();
  void Follow(int32_t row);
  void SourceGone();

  RecordGridModel* model_;
  QPointer<DataSourceUnit> source_unit_;
  std::string source_name_;
  int quiet_ = 0;  // > 0 while the program moves the cursor
  bool moving_source_ = false;  // the source's current row follows this grid
  bool widths_posted_ = false;
};

}  // namespace tarvok::ui
