// The platform of the window: the Qt Core platform with message boxes on
// QMessageBox and the busy pointer as an override cursor.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "platform/qt_core_platform.h"

namespace orvex {

// The front-end that owns the windows: it shows and closes the dialogs of the
// window model and closes the main window when the program ends.
class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // Shows the dialog modally and returns when it is closed.
  virtual void showModal(const std::string& form) = 0;
  virtual void closeModal(const std::string& form) = 0;
  // Closes the dialogs and the main window without running the unload
  // handlers again.
  virtual void closeMainWindow() = 0;
};

class QtUi : public UiPort {
 public:
  int msgBox(const std::string& text, int flags, const std::string& title) override;
  void setBusyPointer(bool busy) override;
  void showModal(const std::string& form) override;
  void closeModal(const std::string& form) override;
  void quit() override;

  void setHost(DialogHost* host) { host_ = host; }
  // What ends the program after the main window has closed; unset, the
  // application's event loop is told to exit.
  void setQuitHandler(std::function<void()> handler) { quitHandler_ = std::move(handler); }
  bool busy() const { return busy_; }

  // The message box text as Qt shows it: CR LF (and lone CR) become line
  // breaks, everything else is kept.
  static QString DisplayText(const std::string& text);

 private:
  DialogHost* host_ = nullptr;
  std::function<void()> quitHandler_;
  bool busy_ = false;
};

class QtPlatform : public QtCorePlatform {
 public:
  UiPort& ui() override { return ui_; }
  QtUi& qtUi() { return ui_; }

 private:
  QtUi ui_;
};

}  // namespace orvex
