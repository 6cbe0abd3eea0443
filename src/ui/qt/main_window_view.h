// The Qt view of the window model: the main window of mainwindow.ui and the
// dialogs of their own .ui files, every widget bound to the model entry of
// the same objectName. Model changes reach the one widget they concern;
// user edits go back into the model, clicks and menu commands to the engine.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/qt_platform.h"

class QDialog;
class QKeyEvent;

namespace Ui {
class frmMain;
class UpdateModemIP;
class frmUpgrade;
class frmRestore;
}  // namespace Ui

namespace orvex {

class Upgrader;

class MainWindowView : public QMainWindow, public DialogHost {
  Q_OBJECT

 public:
  // Binds the windows to up.win and registers the view as the dialog host
  // of `ui` (when given).
  explicit MainWindowView(Upgrader& up, QtUi* ui = nullptr);
  ~MainWindowView() override;

  void showModal(const std::string& form) override;
  void closeModal(const std::string& form) override;
  void closeMainWindow() override;

  // The widget, action or menu bound to a control; nullptr when none is.
  QObject* boundObject(const std::string& name) const;
  // The dialog of a form ("UpdateModemIP", "frmUpgrade", "frmRestore").
  QDialog* dialog(const std::string& form) const;
  // True while the engine keeps the main window from taking input.
  bool inputBlocked() const { return inputBlocked_; }

  // The character code a key press gives the engine (control keys 1..26,
  // Enter 13, ...); -1 for keys without one.
  static int KeyAscii(const QKeyEvent& event);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void bind(const std::string& name, QObject* object);
  void connectUserInput(const std::string& name, QObject* object);
  void apply(const std::string& name);
  void applyForm(const std::string& form);

  Upgrader& up_;
  QtUi* qtUi_;
  std::unique_ptr<Ui::frmMain> ui_;
  std::unique_ptr<Ui::UpdateModemIP> uiIp_;
  std::unique_ptr<Ui::frmUpgrade> uiUpgrade_;
  std::unique_ptr<Ui::frmRestore> uiRestore_;
  std::map<std::string, QDialog*> dialogs_;
  std::map<std::string, QObject*> bound_;
  // Set while the view itself writes to widgets: their change signals are
  // not user edits.
  int applying_ = 0;
  bool inputBlocked_ = false;
  std::set<QWidget*> disabledFrames_;
  bool closingFromEngine_ = false;
};

}  // namespace orvex
