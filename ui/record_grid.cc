#include "ui/record_grid.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPaintEvent>
#include <QPainter>
#include <QToolButton>

#include <algorithm>
#include <iterator>
#include <optional>

#include "platform/gbk.h"
#include "ui/dialogs.h"
#include "ui/gbk_text.h"
#include "ui/grid_zoom.h"

namespace tarvok::ui {
namespace {

constexpr int kMaxColumnPixels = 32767;

// The unit of kind T named `gbk_name` on the window of `from`.
template <class T>
T* FindUnit(const QWidget* from, const std::string& gbk_name) {
  if (gbk_name.empty()) return nullptr;
  QWidget* window = from->window();
  const QString name = FromGbk(gbk_name);
  if (auto* self = qobject_cast<T*>(window); self != nullptr && window->objectName() == name) return self;
  return window->findChild<T*>(name);
}

void ShowFailure(const char* utf8_text) {
  static const std::string kTitle = "塔沃克林-Tarvokline"_gbk;
  Dialogs().ShowMessage({BoxKind::kError, kTitle, Utf8ToGbk(utf8_text)});
}

}  // namespace

// Holds the grid's cursor moves as the program's, not the user's.
class RecordGrid::Quiet {
 public:
  explicit Quiet(RecordGrid* grid) : grid_(grid) { ++grid_->quiet_; }
  ~Quiet() { --grid_->quiet_; }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;

 private:
  RecordGrid* grid_;
};

// The grid's model over a data source. The source reports a change after
// making it, while Qt's model protocol announces it first: the model keeps
// copies of the row and column counts that change only between the begin
// and end calls, and while it announces a removal it shows the rows as they
// were, those behind the removed ones read from where they are now.
class RecordGridModel final : public QAbstractTableModel, public store::DataSourceObserver {
 public:
  explicit RecordGridModel(RecordGrid* grid) : QAbstractTableModel(grid), grid_(grid) {}
  ~RecordGridModel() override {
    if (source_ != nullptr) source_->RemoveObserver(this);
  }

  store::DataSource* source() const { return source_; }

  void SetSource(store::DataSource* source) {
    beginResetModel();
    if (source_ != nullptr) source_->RemoveObserver(this);
    source_ = source;
    if (source_ != nullptr) source_->AddObserver(this);
    Mirror();
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows_; }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : columns_; }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!Exists(index)) return {};
    const int32_t row = SourceRow(index.row());
    if (row < 0) return {};
    switch (role) {
      case Qt::DisplayRole:
      case Qt::EditRole:
        return FromGbk(source_->CellText(row, index.column()));
      case Qt::BackgroundRole:
        if (const std::optional<uint32_t> rgb = source_->CellColour(row, index.column())) {
          return QColor(int(*rgb & 0xFF), int(*rgb >> 8 & 0xFF), int(*rgb >> 16 & 0xFF));
        }
        return {};
      default:
        return {};
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section >= 0 && section < rows_ ? QVariant(section + 1) : QVariant();
    if (section < 0 || section >= columns_ || source_ == nullptr) return {};
    const store::GridColumn* column = source_->column(section);
    return column != nullptr ? QVariant(FromGbk(column->desc.name)) : QVariant();
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    if (!Exists(index)) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (source_->CellEditable(index.column())) f |= Qt::ItemIsEditable;
    return f;
  }

  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (role != Qt::EditRole || !Exists(index) || SourceRow(index.row()) != index.row()) return false;
    return source_->SetCellText(index.row(), index.column(), ToGbk(value.toString()));
  }

  // ---- what the source reports ----

  void SourceReset() override {
    RecordGrid::Quiet quiet(grid_);
    beginResetModel();
    Mirror();
    endResetModel();
    grid_->SourceReset();
  }

  void RowsInserted(int32_t first, int32_t count) override {
    RecordGrid::Quiet quiet(grid_);
    if (count < 1 || first < 0 || first > rows_ || source_ == nullptr || source_->row_count() != rows_ + count)
      return SourceReset();
    beginInsertRows({}, first, first + count - 1);
    rows_ += count;
    endInsertRows();
  }

  void RowsRemoved(int32_t first, int32_t count) override {
    RecordGrid::Quiet quiet(grid_);
    if (count < 1 || first < 0 || first + int64_t{count} > rows_ || source_ == nullptr ||
        source_->row_count() != rows_ - count)
      return SourceReset();
    removing_first_ = first;
    removing_count_ = count;
    beginRemoveRows({}, first, first + count - 1);
    removing_count_ = 0;
    rows_ -= count;
    endRemoveRows();
  }

  void CellChanged(int32_t row, int column) override {
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at);
  }

  void CurrentRowChanged(int32_t row) override { grid_->Follow(row); }
  void ColumnWidthsChanged() override { grid_->ApplyWidths(); }

  void SourceDestroyed() override {
    RecordGrid::Quiet quiet(grid_);
    beginResetModel();
    source_ = nullptr;
    Mirror();
    endResetModel();
    grid_->SourceGone();
  }

 private:
  bool Exists(const QModelIndex& index) const {
    return source_ != nullptr && index.isValid() && index.model() == this && index.row() < rows_ &&
           index.column() < columns_;
  }
  // The source's row for a row of the model; -1 for a row being removed.
  int32_t SourceRow(int row) const {
    if (removing_count_ == 0 || row < removing_first_) return row;
    return row < removing_first_ + removing_count_ ? -1 : row - removing_count_;
  }
  void Mirror() {
    rows_ = source_ != nullptr ? source_->row_count() : 0;
    columns_ = source_ != nullptr ? source_->column_count() : 0;
  }

  RecordGrid* grid_;
  store::DataSource* source_ = nullptr;
  int rows_ = 0;
  int columns_ = 0;
  int32_t removing_first_ = 0;
  int32_t removing_count_ = 0;  // > 0 while a removal is announced
};

// ---- ProviderUnit -------------------------------------------------------------

ProviderUnit::ProviderUnit(const QString& name, QObject* parent) : QObject(parent) { setObjectName(name); }

bool ProviderUnit::SetFile(const std::string& gbk_path) { return provider_.SetFile(gbk_path); }
bool ProviderUnit::SetPassword(const std::string& gbk_password) { return provider_.SetPassword(gbk_password); }
void ProviderUnit::SetBytesMode(int mode) { provider_.SetBytesMode(mode); }

// ---- DataSourceUnit -----------------------------------------------------------

DataSourceUnit::DataSourceUnit(const QString& name, QWidget* parent) : QFrame(parent) {
  setObjectName(name);
  struct Button {
    const char* suffix;
    const char* glyph;
    const char* tip;
    void (DataSourceUnit::*action)();
  };
  static constexpr Button kButtons[] = {
      {"_首", "|◀", "第一条", &DataSourceUnit::First},
      {"_上", "◀", "上一条", &DataSourceUnit::Previous},
      {"_下", "▶", "下一条", &DataSourceUnit::Next},
      {"_末", "▶|", "最后一条", &DataSourceUnit::Last},
      {"_增", "+", "插入", nullptr},
      {"_删", "−", "删除", nullptr},
  };
  QToolButton* buttons[std::size(kButtons)] = {};
  for (size_t i = 0; i < std::size(kButtons); ++i) {
    const Button& b = kButtons[i];
    auto* button = new QToolButton(this);
    button->setObjectName(name + QString::fromUtf8(b.suffix));
    button->setText(QString::fromUtf8(b.glyph));
    button->setToolTip(QString::fromUtf8(b.tip));
    button->setAutoRaise(false);
    button->setGeometry(22 * int(i), 0, 22, 22);
    if (b.action != nullptr) {
      connect(button, &QToolButton::clicked, this, [this, action = b.action] { (this->*action)(); });
    }
    buttons[i] = button;
  }
  insert_ = buttons[4];
  delete_ = buttons[5];
  connect(insert_, &QToolButton::clicked, this, [this] { Insert(); });
  connect(delete_, &QToolButton::clicked, this, [this] { Delete(); });
  UpdateButtons();
}

DataSourceUnit::~DataSourceUnit() = default;

bool DataSourceUnit::SetProviderName(const std::string& gbk_name) {
  provider_name_ = gbk_name;
  provider_unit_ = FindUnit<ProviderUnit>(this, gbk_name);
  source_.SetProvider(provider_unit_ ? &provider_unit_->provider() : nullptr);
  return provider_unit_ != nullptr;
}

void DataSourceUnit::UpdateButtons() {
  insert_->setEnabled(source_.can_insert());
  delete_->setEnabled(source_.can_delete());
}

void DataSourceUnit::SetReadOnly(bool on) {
  source_.SetReadOnly(on);
  UpdateButtons();
}

void DataSourceUnit::SetInsertAllowed(bool on) {
  source_.SetInsertAllowed(on);
  UpdateButtons();
}

void DataSourceUnit::SetDeleteAllowed(bool on) {
  source_.SetDeleteAllowed(on);
  UpdateButtons();
}

void DataSourceUnit::SetColumnWidths(int first_column, int count, int width) {
  source_.SetColumnWidths(first_column, count, width);
}

bool DataSourceUnit::SetCellColour(int32_t row, int column, uint32_t rgb) {
  return source_.SetCellColour(row, column, rgb);
}

bool DataSourceUnit::MoveTo(int32_t row) { return source_.MoveTo(row); }

void DataSourceUnit::First() { source_.First(); }
void DataSourceUnit::Previous() { source_.Previous(); }
void DataSourceUnit::Next() { source_.Next(); }
void DataSourceUnit::Last() { source_.Last(); }

bool DataSourceUnit::Insert() {
  const store::EditOutcome outcome = source_.Insert();
  if (outcome == store::EditOutcome::kFailed) ShowFailure("插入新记录失败!");
  return outcome == store::EditOutcome::kDone;
}

bool DataSourceUnit::Delete() {
  const store::EditOutcome outcome = source_.Delete();
  if (outcome == store::EditOutcome::kFailed) ShowFailure("删除记录失败!");
  return outcome == store::EditOutcome::kDone;
}

// ---- RecordGrid ---------------------------------------------------------------

RecordGrid::RecordGrid(QWidget* parent) : QTableView(parent), model_(new RecordGridModel(this)) { Show(nullptr); }

RecordGrid::~RecordGrid() {
  // The model goes with the grid's children; it must not report to a
  // grid that is half gone.
  model_->SetSource(nullptr);
}

bool RecordGrid::SetDataSourceName(const std::string& gbk_name) {
  source_name_ = gbk_name;
  source_unit_ = FindUnit<DataSourceUnit>(this, gbk_name);
  Show(source_unit_ ? &source_unit_->source() : nullptr);
  return source_unit_ != nullptr;
}

void RecordGrid::Show(store::DataSource* source) {
  Quiet quiet(this);
  model_->SetSource(source);
  QItemSelectionModel* old = selectionModel();
  setModel(source != nullptr ? model_ : nullptr);
  if (old != nullptr && old != selectionModel()) delete old;
  horizontalHeader()->setVisible(source != nullptr);
  verticalHeader()->setVisible(source != nullptr);
  if (source != nullptr) SourceReset();
  viewport()->update();
}

void RecordGrid::SourceReset() {
  ApplyWidths();
  if (store::DataSource* source = model_->source()) Follow(source->current_row());
}

void RecordGrid::SourceGone() {
  source_unit_ = nullptr;
  Show(nullptr);
}

void RecordGrid::ApplyWidths() {
  store::DataSource* source = model_->source();
  if (source == nullptr || model() != model_) return;
  const int64_t per_char = fontMetrics().horizontalAdvance(QLatin1Char('W')) + 1;
  const int zoom = GridZoom(this);
  const int columns = model_->columnCount();
  for (int k = 0; k < columns; ++k) {
    const store::GridColumn* column = source->column(k);
    if (column == nullptr) break;
    const std::optional<int> set = source->ColumnWidth(k);
    const int64_t width = set ? int64_t{*set} * zoom / 100 : int64_t{column->default_chars} * per_char + 27;
    horizontalHeader()->resizeSection(k, static_cast<int>(std::clamp<int64_t>(width, 0, kMaxColumnPixels)));
  }
}

void RecordGrid::Follow(int32_t row) {
  if (moving_source_ || model() != model_ || row < 0 || row >= model_->rowCount() || model_->columnCount() == 0)
    return;
  const QModelIndex now = currentIndex();
  if (now.isValid() && now.row() == row && selectionModel()->isSelected(now)) return;
  Quiet quiet(this);
  const int column = now.isValid() ? now.column() : 0;
  selectionModel()->setCurrentIndex(model_->index(row, column), QItemSelectionModel::ClearAndSelect);
}

void RecordGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (quiet_ > 0 || !current.isValid() || (previous.isValid() && previous.row() == current.row())) return;
  if (store::DataSource* source = model_->source()) {
    Quiet quiet(this);
    moving_source_ = true;
    source->MoveTo(current.row());
    moving_source_ = false;
  }
  emit cursorRowChangedByUser(current.row() + 1);
}

int RecordGrid::CurrentRowNumber() const {
  if (model() != model_) return 0;
  int first = -1;
  for (const QItemSelectionRange& range : selectionModel()->selection()) {
    if (range.isValid() && (first < 0 || range.top() < first)) first = range.top();
  }
  return first + 1;
}

int RecordGrid::CursorRow() const {
  const QModelIndex at = currentIndex();
  return at.isValid() ? at.row() + 1 : 0;
}

int RecordGrid::CursorColumn() const {
  const QModelIndex at = currentIndex();
  return at.isValid() ? at.column() + 1 : 0;
}

bool RecordGrid::SetCursor(int row, int column) {
  if (model() != model_ || row < 1 || row > model_->rowCount() || column < 1 || column > model_->columnCount())
    return false;
  Quiet quiet(this);
  selectionModel()->setCurrentIndex(model_->index(row - 1, column - 1), QItemSelectionModel::ClearAndSelect);
  if (store::DataSource* source = model_->source()) {
    moving_source_ = true;
    source->MoveTo(row - 1);
    moving_source_ = false;
  }
  return true;
}

void RecordGrid::SelectBlock(int first_row, int first_column, int rows, int columns) {
  if (model() != model_) return;
  const int64_t top = std::max<int64_t>(first_row - 1, 0);
  const int64_t left = std::max<int64_t>(first_column - 1, 0);
  const int64_t bottom = std::min<int64_t>(int64_t{first_row} - 1 + rows - 1, model_->rowCount() - 1);
  const int64_t right = std::min<int64_t>(int64_t{first_column} - 1 + columns - 1, model_->columnCount() - 1);
  if (top > bottom || left > right) {
    selectionModel()->clearSelection();
    return;
  }
  const QItemSelection block(model_->index(int(top), int(left)), model_->index(int(bottom), int(right)));
  selectionModel()->select(block, QItemSelectionModel::ClearAndSelect);
}

void RecordGrid::paintEvent(QPaintEvent* event) {
  if (model() != nullptr) return QTableView::paintEvent(event);
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Text));
  const QPoint at = QPoint(10, 10) - viewport()->geometry().topLeft();
  painter.drawText(QRect(at, size()), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   QStringLiteral("未连接数据源"));
}

void RecordGrid::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() != QEvent::FontChange) return;
  ApplyWidths();
  // SetGridZoom sets the header's default section size after the font,
  // which makes every column that wide: the widths come again once it is
  // done.
  if (widths_posted_) return;
  widths_posted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        widths_posted_ = false;
        ApplyWidths();
      },
      Qt::QueuedConnection);
}

}  // namespace tarvok::ui
