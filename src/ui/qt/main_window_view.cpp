#include "ui/qt/main_window_view.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "ui/qt/accessible_captions.h"
#include "ui_frmrestore.h"
#include "ui_frmupgrade.h"
#include "ui_mainwindow.h"
#include "ui_updatemodemip.h"

namespace orvex {

namespace {

QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Ansi(const QString& s) {
  return s.toLatin1().toStdString();
}

// A colour of the model (blue-green-red order); system colours have the top
// bit set and mean "the normal palette".
bool IsSystemColor(long bgr) {
  return (bgr & 0x80000000L) != 0;
}

QColor FromBgr(long bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

void ApplyWidgetBasics(QWidget* w, const Control& c) {
  if (w->isEnabled() != c.enabled && !w->isWindow()) w->setEnabled(c.enabled);
  if (!w->isWindow() && w->isHidden() == c.visible) w->setVisible(c.visible);
  if (!c.toolTip.empty()) w->setToolTip(Latin1(c.toolTip));
}

bool IsUserInput(QEvent::Type t) {
  switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: return true;
    default: return false;
  }
}

}  // namespace

MainWindowView::MainWindowView(Upgrader& up, QtUi* ui)
    : up_(up),
      qtUi_(ui),
      ui_(std::make_unique<Ui::frmMain>()),
      uiIp_(std::make_unique<Ui::UpdateModemIP>()),
      uiUpgrade_(std::make_unique<Ui::frmUpgrade>()),
      uiRestore_(std::make_unique<Ui::frmRestore>()) {
  ui_->setupUi(this);
  auto* ip = new QDialog(this);
  uiIp_->setupUi(ip);
  auto* upg = new QDialog(this);
  uiUpgrade_->setupUi(upg);
  auto* rs = new QDialog(this);
  uiRestore_->setupUi(rs);
  dialogs_ = {{"UpdateModemIP", ip}, {"frmUpgrade", upg}, {"frmRestore", rs}};

  for (const std::string& name : up_.win.names()) {
    const Control& c = up_.win.at(name);
    QObject* object = nullptr;
    if (name == "frmMain") {
      object = this;
    } else if (auto d = dialogs_.find(name); d != dialogs_.end()) {
      object = d->second;
    } else {
      QWidget* root = c.form == "frmMain" ? static_cast<QWidget*>(this) : dialog(c.form);
      if (root) object = root->findChild<QObject*>(Latin1(name));
    }
    if (object) bind(name, object);
  }

  up_.win.setListener([this](const std::string& name) { apply(name); });
  if (qtUi_) qtUi_->setHost(this);
  qApp->installEventFilter(this);
}

MainWindowView::~MainWindowView() {
  qApp->removeEventFilter(this);
  up_.win.setListener(nullptr);
  if (qtUi_) qtUi_->setHost(nullptr);
}

QObject* MainWindowView::boundObject(const std::string& name) const {
  auto it = bound_.find(name);
  return it == bound_.end() ? nullptr : it->second;
}

QDialog* MainWindowView::dialog(const std::string& form) const {
  auto it = dialogs_.find(form);
  return it == dialogs_.end() ? nullptr : it->second;
}

void MainWindowView::bind(const std::string& name, QObject* object) {
  bound_[name] = object;
  // A control that comes and goes (the transfer bar) keeps its place, so
  // the window does not jump.
  if (auto* w = qobject_cast<QWidget*>(object); w && w->property("keepsPlaceWhenHidden").toBool()) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }
  if (up_.win.at(name).kind == ControlKind::Separator)
    if (auto* a = qobject_cast<QAction*>(object)) a->setSeparator(true);
  if (auto* a = qobject_cast<QAction*>(object)) ReadCaptionOfAction(a);
  if (auto* m = qobject_cast<QMenu*>(object)) ReadCaptionOfAction(m->menuAction());
  connectUserInput(name, object);
  apply(name);
}

void MainWindowView::connectUserInput(const std::string& name, QObject* object) {
  if (auto* edit = qobject_cast<QLineEdit*>(object)) {
    connect(edit, &QLineEdit::textChanged, this, [this, name](const QString& text) {
      if (!applying_) up_.win.setText(name, Ansi(text));
    });
  } else if (auto* radio = qobject_cast<QRadioButton*>(object)) {
    connect(radio, &QRadioButton::toggled, this, [this, name](bool on) {
      if (!applying_) up_.win.setValue(name, on ? 1 : 0);
    });
    connect(radio, &QRadioButton::clicked, this, [this, name] { up_.click(name); });
  } else if (auto* check = qobject_cast<QCheckBox*>(object)) {
    connect(check, &QCheckBox::stateChanged, this, [this, name](int state) {
      if (applying_) return;
      up_.win.setValue(name, state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0);
    });
    connect(check, &QCheckBox::clicked, this, [this, name] { up_.click(name); });
  } else if (auto* button = qobject_cast<QPushButton*>(object)) {
    connect(button, &QPushButton::clicked, this, [this, name] { up_.click(name); });
  } else if (auto* list = qobject_cast<QListWidget*>(object)) {
    connect(list, &QListWidget::currentRowChanged, this, [this, name](int row) {
      if (!applying_) up_.win.setListIndex(name, row);
    });
  } else if (auto* action = qobject_cast<QAction*>(object)) {
    if (!action->isSeparator())
      connect(action, &QAction::triggered, this, [this, name] { up_.click(name); });
  }
}

void MainWindowView::apply(const std::string& name) {
  auto it = bound_.find(name);
  if (it == bound_.end()) return;
  QObject* object = it->second;
  const Control& c = up_.win.at(name);
  const QString text = Latin1(c.text);
  ++applying_;
  switch (c.kind) {
    case ControlKind::Form: {
      auto* w = static_cast<QWidget*>(object);
      w->setWindowTitle(text);
      if (w == this)
        inputBlocked_ = !c.enabled;  // no input, without greying every control
      else
        w->setEnabled(c.enabled);
      break;
    }
    case ControlKind::Frame: {
      auto* g = qobject_cast<QGroupBox*>(object);
      if (!g) break;
      g->setTitle(text);
      NameAfterCaption(g, text);
      // A disabled frame greys its caption only: the controls inside keep
      // the state the engine gives each of them (the terminal's IB fields
      // stay enabled in a disabled IB frame).
      if (g->isHidden() == c.visible) g->setVisible(c.visible);
      const QString sheet =
          c.enabled ? QString() : QStringLiteral("QGroupBox::title { color: palette(mid); }");
      if (g->styleSheet() != sheet) {
        g->setStyleSheet(sheet);
        // A new style sheet puts back the palettes the frame's labels had
        // before the last one: their colours are the model's again.
        for (const auto& [child, object] : bound_)
          if (auto* l = qobject_cast<QLabel*>(object); l && g->isAncestorOf(l)) apply(child);
      }
      g->setAccessibleDescription(c.enabled ? QString() : QStringLiteral("unavailable"));
      if (c.enabled)
        disabledFrames_.erase(g);
      else
        disabledFrames_.insert(g);
      QPalette pal = g->palette();
      if (IsSystemColor(c.backColor)) {
        g->setAutoFillBackground(false);
        g->setPalette(QPalette());
      } else {
        pal.setColor(QPalette::Window, FromBgr(c.backColor));
        g->setPalette(pal);
        g->setAutoFillBackground(true);
      }
      break;
    }
    case ControlKind::Label: {
      auto* l = qobject_cast<QLabel*>(object);
      if (!l) break;
      // What a label shows may come from the terminal or a file: never markup.
      l->setTextFormat(Qt::PlainText);
      l->setText(text);
      NameAfterCaption(l, text);
      QFont f = l->font();
      if (f.underline() != c.underline) {
        f.setUnderline(c.underline);
        l->setFont(f);
      }
      if (!IsSystemColor(c.foreColor)) {
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, FromBgr(c.foreColor));
        l->setPalette(pal);
      } else if (l->testAttribute(Qt::WA_SetPalette)) {
        l->setPalette(QPalette());  // the window's text colour again
      }
      ApplyWidgetBasics(l, c);
      break;
    }
    case ControlKind::TextBox: {
      auto* e = qobject_cast<QLineEdit*>(object);
      if (!e) break;
      if (e->text() != text) e->setText(text);
      ApplyWidgetBasics(e, c);
      break;
    }
    case ControlKind::CheckBox: {
      auto* b = qobject_cast<QCheckBox*>(object);
      if (!b) break;
      b->setText(text);
      NameAfterCaption(b, text);
      b->setCheckState(c.value == 1   ? Qt::Checked
                       : c.value == 2 ? Qt::PartiallyChecked
                                      : Qt::Unchecked);
      ApplyWidgetBasics(b, c);
      break;
    }
    case ControlKind::OptionButton: {
      auto* b = qobject_cast<QRadioButton*>(object);
      if (!b) break;
      b->setText(text);
      NameAfterCaption(b, text);
      if (b->isChecked() != (c.value != 0)) {
        // Unticking the selected button of an exclusive group needs the
        // group's exclusivity lifted for a moment.
        b->setAutoExclusive(false);
        b->setChecked(c.value != 0);
        b->setAutoExclusive(true);
      }
      ApplyWidgetBasics(b, c);
      break;
    }
    case ControlKind::Button: {
      auto* b = qobject_cast<QPushButton*>(object);
      if (!b) break;
      b->setText(text);
      NameAfterCaption(b, text);
      ApplyWidgetBasics(b, c);
      break;
    }
    case ControlKind::ProgressBar: {
      auto* p = qobject_cast<QProgressBar*>(object);
      if (!p) break;
      p->setValue(std::clamp(c.value, p->minimum(), p->maximum()));
      ApplyWidgetBasics(p, c);
      break;
    }
    case ControlKind::Shape: {
      auto* w = qobject_cast<QWidget*>(object);
      if (!w) break;
      const QColor color =
          IsSystemColor(c.backColor) ? w->palette().color(QPalette::Button) : FromBgr(c.backColor);
      const int radius = std::max(1, std::min(w->minimumWidth(), w->minimumHeight()) / 2);
      w->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid #505050; "
                                      "border-radius: %2px;")
                           .arg(color.name())
                           .arg(radius));
      ApplyWidgetBasics(w, c);
      break;
    }
    case ControlKind::ListBox: {
      auto* l = qobject_cast<QListWidget*>(object);
      if (!l) break;
      QStringList items;
      for (const std::string& item : c.items) items << Latin1(item);
      bool same = l->count() == items.size();
      for (int i = 0; same && i < l->count(); ++i) same = l->item(i)->text() == items[i];
      if (!same) {
        l->clear();
        l->addItems(items);
      }
      if (l->currentRow() != c.listIndex) l->setCurrentRow(c.listIndex);
      ApplyWidgetBasics(l, c);
      break;
    }
    case ControlKind::Menu: {
      auto* m = qobject_cast<QMenu*>(object);
      if (!m) break;
      m->setTitle(text);
      m->menuAction()->setEnabled(c.enabled);
      m->menuAction()->setVisible(c.visible);
      break;
    }
    case ControlKind::MenuItem:
    case ControlKind::Separator: {
      auto* a = qobject_cast<QAction*>(object);
      if (!a) break;
      if (c.kind == ControlKind::MenuItem) a->setText(text);
      a->setEnabled(c.enabled);
      a->setVisible(c.visible);
      if (!c.toolTip.empty()) a->setToolTip(Latin1(c.toolTip));
      break;
    }
  }
  --applying_;
}

void MainWindowView::applyForm(const std::string& form) {
  for (const auto& [name, object] : bound_)
    if (up_.win.at(name).form == form) apply(name);
}

void MainWindowView::showModal(const std::string& form) {
  QDialog* d = dialog(form);
  if (!d || d->isVisible()) return;
  applyForm(form);
  d->exec();
}

void MainWindowView::closeModal(const std::string& form) {
  if (QDialog* d = dialog(form); d && d->isVisible()) d->done(QDialog::Accepted);
}

void MainWindowView::closeMainWindow() {
  closingFromEngine_ = true;
  for (auto& [form, d] : dialogs_)
    if (d->isVisible()) d->done(QDialog::Rejected);
  close();
}

void MainWindowView::closeEvent(QCloseEvent* event) {
  // The close box unloads the main window: the engine's shutdown runs once.
  // While an upgrade runs the technician is asked first.
  if (!closingFromEngine_) {
    if (!up_.app.ConfirmClose()) {
      event->ignore();
      return;
    }
    up_.app.UnloadMainWindow();
  }
  event->accept();
}

int MainWindowView::KeyAscii(const QKeyEvent& event) {
  const int key = event.key();
  if ((event.modifiers() & Qt::ControlModifier) && key >= Qt::Key_A && key <= Qt::Key_Z)
    return key - Qt::Key_A + 1;
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    default: break;
  }
  const QString text = event.text();
  if (text.isEmpty()) return -1;
  const char16_t u = text.at(0).unicode();
  return u < 256 ? static_cast<int>(u) : -1;
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType() || !IsUserInput(event->type()))
    return QMainWindow::eventFilter(watched, event);
  auto* w = static_cast<QWidget*>(watched);
  if (w->window() != this) return QMainWindow::eventFilter(watched, event);
  if (inputBlocked_) return true;
  // Nothing inside a disabled frame takes input, whatever its own state.
  for (QWidget* p = w; p && p != this; p = p->parentWidget())
    if (disabledFrames_.count(p)) return true;
  if (event->type() == QEvent::KeyPress) {
    // A key event travels from the focus widget up to its parents; the
    // engine sees it once, at its first receiver.
    QWidget* first = QApplication::focusWidget();
    if (!first || first->window() != this) first = this;
    if (w == first) {
      const int code = KeyAscii(*static_cast<QKeyEvent*>(event));
      if (code >= 0) up_.keyPress(code);
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace orvex
