#include "ui/desktop_open.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include "platform/gbk.h"

namespace tarvok::ui {
namespace {

// xdg-mime is a small shell script; a desktop that takes longer than this to
// name a program is treated as naming none.
constexpr int kQueryMilliseconds = 5000;

class XdgOpener final : public DesktopOpener {
 public:
  bool Open(const std::string& path, const std::string& media_type) override {
    if (!HasDefaultProgram(media_type)) return false;
    // The path as the system names it: GB18030 back to the file name's UTF-8.
    const QString file = QString::fromStdString(GbkToUtf8(path));
    return QProcess::startDetached(QStringLiteral("xdg-open"), {file});
  }

 private:
  static bool HasDefaultProgram(const std::string& media_type) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QString::fromStdString(media_type)});
    if (!query.waitForFinished(kQueryMilliseconds)) {
      query.kill();
      query.waitForFinished();
      return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
  }
};

DesktopOpener*& Current() {
  static DesktopOpener* current = nullptr;
  return current;
}

}  // namespace

DesktopOpener& XdgDesktopOpener() {
  static XdgOpener opener;
  return opener;
}

bool OpenWithDesktop(const std::string& path, const std::string& media_type) {
  return (Current() ? *Current() : XdgDesktopOpener()).Open(path, media_type);
}

DesktopOpener* SetDesktopOpener(DesktopOpener* opener) {
  DesktopOpener* previous = Current();
  Current() = opener;
  return previous;
}

}  // namespace tarvok::ui
