// The picture box wrapper: a QLabel that shows its picture scaled to the box,
// with double-click and mouse-move events delivered through an event filter
// that lives as a child of the label.
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include <functional>
#include <utility>
#include <vector>

#include "ui/gbk_text.h"
#include "ui/picture.h"
#include "ui/units.h"

namespace tarvok::ui {
namespace {

class PictureEvents : public QObject {
 public:
  static constexpr const char* kName = "tarvok-picture-events";

  explicit PictureEvents(QLabel* label) : QObject(label) {
    setObjectName(QString::fromLatin1(kName));
    label->setMouseTracking(true);
    label->installEventFilter(this);
  }

  static PictureEvents* Of(QLabel* label) {
    if (auto* e = label->findChild<PictureEvents*>(QString::fromLatin1(kName),
                                                   Qt::FindDirectChildrenOnly))
      return e;
    return new PictureEvents(label);
  }

  std::vector<std::function<void()>> double_click, mouse_move;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      Run(double_click);
    } else if (event->type() == QEvent::MouseMove) {
      Run(mouse_move);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static void Run(const std::vector<std::function<void()>>& handlers) {
    // A handler may add handlers (or show a modal dialog): run a copy.
    const auto copy = handlers;
    for (const auto& h : copy) h();
  }
};

}  // namespace

bool PictureBox::SetPicture(std::string_view bytes) {
  const QImage image = DecodePicture(bytes);
  if (image.isNull()) {
    Clear();
    return false;
  }
  widget_->setScaledContents(true);
  widget_->setPixmap(QPixmap::fromImage(image));
  return true;
}

void PictureBox::Clear() { widget_->setPixmap(QPixmap()); }

bool PictureBox::HasPicture() const { return !widget_->pixmap().isNull(); }

void PictureBox::SetHint(const std::string& gbk) { widget_->setToolTip(FromGbk(gbk)); }
std::string PictureBox::Hint() const { return ToGbk(widget_->toolTip()); }

void PictureBox::OnDoubleClick(std::function<void()> handler) {
  PictureEvents::Of(widget_)->double_click.push_back(std::move(handler));
}

void PictureBox::OnMouseMove(std::function<void()> handler) {
  PictureEvents::Of(widget_)->mouse_move.push_back(std::move(handler));
}

}  // namespace tarvok::ui
