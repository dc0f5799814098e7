// Handing a file to the desktop: the program the user's desktop opens files
// of its type with (the default application of its media type).
//
// Handlers call OpenWithDesktop; it goes to the process-wide current
// DesktopOpener, the desktop's own unless a test has put one in its place.
#pragma once

#include <string>

namespace tarvok::ui {

// The media type of the workbooks the organiser writes (.xlsx).
inline constexpr char kWorkbookMediaType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

class DesktopOpener {
 public:
  virtual ~DesktopOpener() = default;
  // Starts the default program of `media_type` on the file (a GBK path) and
  // returns at once. False when the desktop names no program for the type
  // or the program could not be started.
  virtual bool Open(const std::string& path, const std::string& media_type) = 0;
};

bool OpenWithDesktop(const std::string& path, const std::string& media_type);

// Makes `opener` current (nullptr = back to the desktop's) and returns the
// previous one, or nullptr when that was the desktop's.
DesktopOpener* SetDesktopOpener(DesktopOpener* opener);

class ScopedDesktopOpener {
 public:
  explicit ScopedDesktopOpener(DesktopOpener* opener) : previous_(SetDesktopOpener(opener)) {}
  ~ScopedDesktopOpener() { SetDesktopOpener(previous_); }
  ScopedDesktopOpener(const ScopedDesktopOpener&) = delete;
  ScopedDesktopOpener& operator=(const ScopedDesktopOpener&) = delete;

 private:
  DesktopOpener* previous_;
};

// The desktop's opener: asks xdg-mime for the default program of the type
// and starts it through xdg-open, detached from the organiser.
DesktopOpener& XdgDesktopOpener();

}  // namespace tarvok::ui
