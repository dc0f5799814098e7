#include "ui/units.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "datetime/date_time.h"
#include "platform/gbk.h"
#include "store/record_store.h"
#include "ui/gbk_text.h"

namespace tarvok::ui {
namespace {

[[noreturn]] void MissingUnit(const char* utf8_what, std::string_view gbk_name) {
  store::FatalRunError(Utf8ToGbk(utf8_what) + std::string(gbk_name));
}

// The part of an edit box the wrappers share: its byte limit and its
// change handlers. A child object of the widget, so it lives as long as the
// widget and every wrapper of that widget finds the same one.
class EditState : public QObject {
 public:
  static constexpr const char* kName = "tarvok-edit-state";

  explicit EditState(QWidget* widget) : QObject(widget) {
    setObjectName(QString::fromLatin1(kName));
    line_ = qobject_cast<QLineEdit*>(widget);
    text_ = qobject_cast<QTextEdit*>(widget);
    plain_ = qobject_cast<QPlainTextEdit*>(widget);
    last_ = Current();
    auto changed = [this] { Changed(); };
    if (line_) connect(line_, &QLineEdit::textChanged, this, changed);
    if (text_) connect(text_, &QTextEdit::textChanged, this, changed);
    if (plain_) connect(plain_, &QPlainTextEdit::textChanged, this, changed);
  }

  static EditState* Of(QWidget* widget) {
    if (auto* s = widget->findChild<EditState*>(QString::fromLatin1(kName), Qt::FindDirectChildrenOnly))
      return s;
    return new EditState(widget);
  }

  bool multi_line() const { return line_ == nullptr; }
  LineBreaks breaks() const { return multi_line() ? LineBreaks::kCrLf : LineBreaks::kAsIs; }

  QString Current() const {
    if (line_) return line_->text();
    if (text_) return text_->toPlainText();
    return plain_->toPlainText();
  }

  void Set(const QString& text) {
    whole_text_set_ = true;
    if (line_) line_->setText(text);
    if (text_) text_->setPlainText(text);
    if (plain_) plain_->setPlainText(text);
    whole_text_set_ = false;
  }

  std::size_t limit() const { return limit_; }
  void SetLimit(std::size_t limit) {
    limit_ = limit;
    // A lower limit applies to what the box holds now.
    if (limit_ && GbkByteLength(Current(), breaks()) > limit_) {
      whole_text_set_ = true;
      Changed();
      whole_text_set_ = false;
    }
  }

  void AddHandler(std::function<void()> handler) { handlers_.push_back(std::move(handler)); }

 private:
  void Changed() {
    if (cutting_) return;
    QString now = Current();
    if (limit_ && GbkByteLength(now, breaks()) > limit_) {
      Cut(now);
      now = Current();
    }
    last_ = now;
    for (const auto& h : handlers_) h();
  }

  // Removes what is over the limit. After a user's edit that is the tail of
  // the inserted part (found against the text before the edit: what is
  // equal at both ends was there before); a text set as a whole keeps its
  // head.
  void Cut(const QString& now) {
    qsizetype from = 0;
    qsizetype to = now.size();
    if (!whole_text_set_) {
      const qsizetype common = std::min(now.size(), last_.size());
      qsizetype p = 0;
      while (p < common && now[p] == last_[p]) ++p;
      if (p > 0 && p < now.size() && now[p].isLowSurrogate()) --p;
      qsizetype s = 0;
      while (s < common - p && now[now.size() - 1 - s] == last_[last_.size() - 1 - s]) ++s;
      if (s > 0 && now[now.size() - s].isLowSurrogate()) --s;
      const QString kept = now.left(p) + now.right(s);
      const std::size_t kept_bytes = GbkByteLength(kept, breaks());
      if (kept_bytes <= limit_) {
        const QStringView inserted = QStringView(now).mid(p, now.size() - s - p);
        from = p + GbkPrefixWithin(inserted, limit_ - kept_bytes, breaks());
        to = now.size() - s;
      } else {
        from = GbkPrefixWithin(now, limit_, breaks());
      }
    } else {
      from = GbkPrefixWithin(now, limit_, breaks());
    }
    cutting_ = true;
    if (line_) {
      QString t = now;
      t.remove(from, to - from);
      line_->setText(t);
      line_->setCursorPosition(static_cast<int>(from));
    } else {
      QTextDocument* doc = text_ ? text_->document() : plain_->document();
      QTextCursor c(doc);
      c.setPosition(static_cast<int>(from));
      c.setPosition(static_cast<int>(to), QTextCursor::KeepAnchor);
      c.removeSelectedText();
      if (text_) text_->setTextCursor(c);
      if (plain_) plain_->setTextCursor(c);
    }
    cutting_ = false;
  }

  QLineEdit* line_ = nullptr;
  QTextEdit* text_ = nullptr;
  QPlainTextEdit* plain_ = nullptr;
  QString last_;
  std::size_t limit_ = 0;
  bool cutting_ = false;
  bool whole_text_set_ = false;
  std::vector<std::function<void()>> handlers_;
};

}  // namespace

// ---- EditBox ----

EditBox::EditBox(QWidget* widget) : widget_(widget) {}

std::string EditBox::Text() const {
  if (auto* line = qobject_cast<QLineEdit*>(widget_)) return ToGbk(line->text());
  if (auto* text = qobject_cast<QTextEdit*>(widget_)) return ToGbkCrLf(text->toPlainText());
  return ToGbkCrLf(qobject_cast<QPlainTextEdit*>(widget_)->toPlainText());
}

void EditBox::SelectBytes(std::size_t start, std::size_t length) {
  EditState* state = EditState::Of(widget_);
  const QString text = state->Current();
  const qsizetype from = GbkPrefixWithin(text, start, state->breaks());
  qsizetype to = GbkPrefixWithin(text, start + length, state->breaks());
  // A cut inside a character would leave it out: take it whole.
  if (GbkByteLength(QStringView(text).first(to), state->breaks()) < start + length && to < text.size()) ++to;
  widget_->setFocus();
  if (auto* line = qobject_cast<QLineEdit*>(widget_)) {
    line->setSelection(int(from), int(to - from));
    return;
  }
  auto select = [&](auto* edit) {
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(int(from));
    cursor.setPosition(int(to), QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
  };
  if (auto* plain = qobject_cast<QPlainTextEdit*>(widget_)) select(plain);
  if (auto* rich = qobject_cast<QTextEdit*>(widget_)) select(rich);
}

void EditBox::SetText(const std::string& gbk) {
  EditState* state = EditState::Of(widget_);
  state->Set(state->multi_line() ? FromGbkCrLf(gbk) : FromGbk(gbk));
}

void EditBox::SetByteLimit(std::size_t bytes) { EditState::Of(widget_)->SetLimit(bytes); }
std::size_t EditBox::ByteLimit() const { return EditState::Of(widget_)->limit(); }
void EditBox::OnChange(std::function<void()> handler) {
  EditState::Of(widget_)->AddHandler(std::move(handler));
}

// ---- ListBox ----

void ListBox::Add(const ResultLine& line) {
  auto* item = new QListWidgetItem(FromGbk(line.text));
  item->setData(Qt::UserRole, line.value);
  widget_->addItem(item);
}
void ListBox::Clear() { widget_->clear(); }
int ListBox::Count() const { return widget_->count(); }
ResultLine ListBox::Line(int index) const {
  const QListWidgetItem* item = widget_->item(index);
  return {ToGbk(item->text()), static_cast<int32_t>(item->data(Qt::UserRole).toInt())};
}
void ListBox::SetLine(int index, const ResultLine& line) {
  QListWidgetItem* item = widget_->item(index);
  item->setText(FromGbk(line.text));
  item->setData(Qt::UserRole, line.value);
}
int ListBox::SelectedIndex() const {
  const QList<QListWidgetItem*> selected = widget_->selectedItems();
  return selected.isEmpty() ? -1 : widget_->row(selected.first());
}
void ListBox::SetSelectedIndex(int index) {
  if (index < 0 || index >= widget_->count()) {
    widget_->clearSelection();
    widget_->setCurrentRow(-1);
  } else {
    widget_->setCurrentRow(index);
  }
}

// ---- the small ones ----

std::string Label::Text() const { return ToGbk(widget_->text()); }
void Label::SetText(const std::string& gbk) { widget_->setText(FromGbk(gbk)); }

bool CheckBox::Checked() const { return widget_->isChecked(); }
void CheckBox::SetChecked(bool checked) { widget_->setChecked(checked); }

std::string Button::Text() const { return ToGbk(widget_->text()); }
void Button::SetText(const std::string& gbk) { widget_->setText(FromGbk(gbk)); }
void Button::SetEnabled(bool enabled) { widget_->setEnabled(enabled); }
bool Button::Checked() const { return widget_->isChecked(); }
void Button::SetChecked(bool checked) { widget_->setChecked(checked); }
void Button::OnClick(std::function<void()> handler) {
  QObject::connect(widget_, &QAbstractButton::clicked, widget_,
                   [h = std::move(handler)](bool) { h(); });
}

void ComboBox::Add(const std::string& gbk) { widget_->addItem(FromGbk(gbk)); }
void ComboBox::Clear() { widget_->clear(); }
int ComboBox::Count() const { return widget_->count(); }
std::string ComboBox::ItemText(int index) const { return ToGbk(widget_->itemText(index)); }
int ComboBox::CurrentIndex() const { return widget_->currentIndex(); }
void ComboBox::SetCurrentIndex(int index) { widget_->setCurrentIndex(index); }
std::string ComboBox::Text() const { return ToGbk(widget_->currentText()); }

std::string GroupBox::Caption() const { return ToGbk(widget_->title()); }
void GroupBox::SetCaption(const std::string& gbk) { widget_->setTitle(FromGbk(gbk)); }

int PageControl::CurrentPage() const { return widget_->currentIndex(); }
void PageControl::SetCurrentPage(int index) { widget_->setCurrentIndex(index); }
int PageControl::PageCount() const { return widget_->count(); }
void PageControl::OnPageChanged(std::function<void(int page)> handler) {
  QObject::connect(widget_, &QTabWidget::currentChanged, widget_, std::move(handler));
}

std::string SpinEdit::Text() const { return std::to_string(widget_->value()); }
void SpinEdit::SetText(const std::string& gbk) {
  // The integer part of the leading number, held to the range (NaN: 0).
  const double number = TextToNumber(gbk);
  const double held = std::isnan(number) ? 0.0
                                         : std::clamp(std::trunc(number), double(widget_->minimum()),
                                                      double(widget_->maximum()));
  widget_->setValue(static_cast<int>(held));
}
void SpinEdit::OnChange(std::function<void()> handler) {
  QObject::connect(widget_, &QSpinBox::valueChanged, widget_,
                   [h = std::move(handler)](int) { h(); });
}

// ---- Units ----

QWidget* Units::Find(std::string_view gbk_name) const {
  QWidget* w = window_->findChild<QWidget*>(FromGbk(gbk_name));
  if (!w) MissingUnit("窗口单元不存在：", gbk_name);
  return w;
}

template <typename W>
W* Units::FindAs(std::string_view gbk_name) const {
  W* w = qobject_cast<W*>(Find(gbk_name));
  if (!w) MissingUnit("窗口单元类型不符：", gbk_name);
  return w;
}

EditBox Units::Edit(std::string_view gbk_name) const {
  QWidget* w = Find(gbk_name);
  if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QTextEdit*>(w) && !qobject_cast<QPlainTextEdit*>(w))
    MissingUnit("窗口单元类型不符：", gbk_name);
  return EditBox(w);
}
ListBox Units::List(std::string_view gbk_name) const { return ListBox(FindAs<QListWidget>(gbk_name)); }
Label Units::Text(std::string_view gbk_name) const { return Label(FindAs<QLabel>(gbk_name)); }
CheckBox Units::Check(std::string_view gbk_name) const { return CheckBox(FindAs<QCheckBox>(gbk_name)); }
Button Units::Push(std::string_view gbk_name) const { return Button(FindAs<QAbstractButton>(gbk_name)); }
ComboBox Units::Combo(std::string_view gbk_name) const { return ComboBox(FindAs<QComboBox>(gbk_name)); }
GroupBox Units::Group(std::string_view gbk_name) const { return GroupBox(FindAs<QGroupBox>(gbk_name)); }
PageControl Units::Pages(std::string_view gbk_name) const { return PageControl(FindAs<QTabWidget>(gbk_name)); }
SpinEdit Units::Spin(std::string_view gbk_name) const { return SpinEdit(FindAs<QSpinBox>(gbk_name)); }
PictureBox Units::Picture(std::string_view gbk_name) const { return PictureBox(FindAs<QLabel>(gbk_name)); }

}  // namespace tarvok::ui
