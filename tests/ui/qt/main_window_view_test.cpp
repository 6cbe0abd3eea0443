// The real main window and dialogs, offscreen, on the engine with fake
// sockets and timers: every control of the model has its widget, changes
// travel both ways, clicks reach the engine, and the dialogs work through
// their own widgets.
#include "ui/qt/main_window_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "support/engine_fixture.h"
#include "support/fake_platform.h"
#include "support/qt_modal_helper.h"
#include "transfer/software_upgrade.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/qt/accessible_captions.h"

namespace orvex {
namespace {

// Fake sockets, timers and FTP on a virtual clock; real message boxes and
// dialogs.
class GuiPlatform : public test::FakePlatform {
 public:
  UiPort& ui() override { return qtui; }
  QtUi qtui;
};

class MainWindowViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home.writeSize("orvex_5_1_0_12.bin", 1000);
    p.qtui.setQuitHandler([this] { ++quits; });
  }

  Upgrader& make(const std::string& commandLine = "") {
    Config cfg;
    cfg.homeFolder = home.path();
    cfg.commandLine = commandLine;
    cfg.modemAddress = "127.0.0.9";
    up = std::make_unique<Upgrader>(p, cfg);
    view = std::make_unique<MainWindowView>(*up, &p.qtui);
    return *up;
  }

  template <class T>
  T* widget(const std::string& name) {
    return qobject_cast<T*>(view->boundObject(name));
  }

  test::TempDir home;
  GuiPlatform p;
  std::unique_ptr<Upgrader> up;
  std::unique_ptr<MainWindowView> view;
  int quits = 0;
};

bool KindFits(ControlKind kind, QObject* o) {
  switch (kind) {
    case ControlKind::Form: return qobject_cast<QMainWindow*>(o) || qobject_cast<QDialog*>(o);
    case ControlKind::Frame: return qobject_cast<QGroupBox*>(o);
    case ControlKind::Label: return qobject_cast<QLabel*>(o);
    case ControlKind::TextBox: return qobject_cast<QLineEdit*>(o);
    case ControlKind::CheckBox: return qobject_cast<QCheckBox*>(o);
    case ControlKind::OptionButton: return qobject_cast<QRadioButton*>(o);
    case ControlKind::Button: return qobject_cast<QPushButton*>(o);
    case ControlKind::ProgressBar: return qobject_cast<QProgressBar*>(o);
    case ControlKind::Shape: return qobject_cast<QLabel*>(o);
    case ControlKind::ListBox: return qobject_cast<QListWidget*>(o);
    case ControlKind::Menu: return qobject_cast<QMenu*>(o);
    case ControlKind::MenuItem: return qobject_cast<QAction*>(o);
    case ControlKind::Separator: {
      auto* a = qobject_cast<QAction*>(o);
      return a && a->isSeparator();
    }
  }
  return false;
}

// A screen reader reads every caption as the window shows it: no access-key
// marker left, however many the caption has, in the menus (the menu bar's
// items and theirs), the window and every dialog.
TEST_F(MainWindowViewTest, ScreenReaderNamesCarryNoAccessKeyMarkers) {
  make();
  EXPECT_EQ(CaptionWithoutMarkers(QStringLiteral("&Configure Modem &Interface")),
            QStringLiteral("Configure Modem Interface"));
  EXPECT_EQ(CaptionWithoutMarkers(QStringLiteral("Save && E&xit&")), QStringLiteral("Save & Exit"));

  int read = 0;
  std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* item) {
    for (int i = 0; i < item->childCount(); ++i) {
      QAccessibleInterface* child = item->child(i);
      ASSERT_NE(child, nullptr);
      if (auto* a = qobject_cast<QAction*>(child->object()); a && !a->isSeparator()) {
        EXPECT_EQ(child->text(QAccessible::Name).toStdString(),
                  CaptionWithoutMarkers(a->text()).toStdString())
            << a->objectName().toStdString();
        EXPECT_EQ(child->role(), QAccessible::MenuItem);
        EXPECT_EQ(child->parent()->object(), item->object());
        EXPECT_EQ(child->state().disabled, !a->isEnabled());
        ++read;
      }
      walk(child);
    }
  };
  walk(QAccessible::queryAccessibleInterface(view->menuBar()));
  EXPECT_GE(read, 12) << "the menu bar's three menus and their items";
  QAccessibleInterface* item =
      QAccessible::queryAccessibleInterface(widget<QAction>("cmdSetModemIP"));
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(QAccessible::Name).toStdString(), "Configure Modem Interface");
  // Pressed through the bus, it does what the menu does.
  auto* press = item->actionInterface();
  ASSERT_NE(press, nullptr);
  bool triggered = false;
  QObject::connect(widget<QAction>("cmdSetModemIP"), &QAction::triggered,
                   [&] { triggered = true; });
  {
    test::ModalDriver driver([](QWidget* w) { w->close(); });
    press->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(driver.acted());
  }
  EXPECT_TRUE(triggered);

  std::vector<QWidget*> windows = {view.get()};
  for (const char* form : {"UpdateModemIP", "frmUpgrade", "frmRestore"})
    windows.push_back(view->dialog(form));
  for (QWidget* w : windows) {
    for (QWidget* child : w->findChildren<QWidget*>()) {
      QString caption;
      if (auto* b = qobject_cast<QAbstractButton*>(child))
        caption = b->text();
      else if (auto* g = qobject_cast<QGroupBox*>(child))
        caption = g->title();
      else if (auto* l = qobject_cast<QLabel*>(child); l && l->buddy())
        caption = l->text();
      if (!caption.contains(u'&')) continue;
      QAccessibleInterface* i = QAccessible::queryAccessibleInterface(child);
      ASSERT_NE(i, nullptr);
      EXPECT_EQ(i->text(QAccessible::Name).toStdString(),
                CaptionWithoutMarkers(caption).toStdString())
          << child->objectName().toStdString();
    }
  }
}

TEST_F(MainWindowViewTest, EveryControlHasItsWidgetInItsOwnWindow) {
  make();
  for (const std::string& name : up->win.names()) {
    const Control& c = up->win.at(name);
    QObject* o = view->boundObject(name);
    ASSERT_NE(o, nullptr) << name;
    EXPECT_EQ(o->objectName().toStdString(), name);
    EXPECT_TRUE(KindFits(c.kind, o)) << name;
    if (c.form != "frmMain" && name != c.form) {
      QDialog* d = view->dialog(c.form);
      ASSERT_NE(d, nullptr) << c.form;
      EXPECT_TRUE(d->isAncestorOf(qobject_cast<QWidget*>(o))) << name << " in " << c.form;
    }
  }
  // Captions and design-time texts come from the model; "&" stays a mnemonic.
  EXPECT_EQ(view->windowTitle(), QStringLiteral("Orvex Satellite IP Modem Upgrader"));
  EXPECT_EQ(widget<QMenu>("mnuTools")->title(), QStringLiteral("&Tools"));
  EXPECT_EQ(widget<QAction>("cmdAntUpgradeMenu")->text(),
            QStringLiteral("Upgrade A&ntenna (Standalone)"));
  EXPECT_EQ(widget<QPushButton>("cmdRestore")->toolTip(),
            QStringLiteral("Restore original software"));
  EXPECT_EQ(widget<QLineEdit>("txtIPAddress")->text(), QStringLiteral("127.0.0.9"));
  EXPECT_EQ(widget<QLineEdit>("sbUpgrade")->text(), QStringLiteral("Status Text"));
  EXPECT_TRUE(widget<QRadioButton>("UpgradeNow")->isChecked());
  EXPECT_TRUE(widget<QPushButton>("cmdAntInfo")->isHidden());
  EXPECT_TRUE(widget<QListWidget>("logBox")->isHidden());
  // The menus hold their items in the documented order.
  QStringList file;
  for (QAction* a : widget<QMenu>("mnuFile")->actions()) file << a->objectName();
  EXPECT_EQ(file,
            QStringList({"cmdUpgradeMenu", "cmdRestoreMenu", "cmdAntUpgradeMenu",
                         "cmdIbUpgradeMenu", "cmdPicUpgradeMenu", "cmdSeperator1", "mnuFileExit"}));
  // Every text box and the progress bar are named by a label (or by themselves).
  for (const std::string& name : up->win.names()) {
    auto* w = qobject_cast<QWidget*>(view->boundObject(name));
    if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QProgressBar*>(w)) continue;
    bool hasBuddy = !w->accessibleName().isEmpty();
    for (QLabel* l : w->window()->findChildren<QLabel*>()) hasBuddy |= l->buddy() == w;
    EXPECT_TRUE(hasBuddy) << name;
  }
  EXPECT_TRUE(widget<QLineEdit>("txtNewSoftwareVersion")->isReadOnly());
  EXPECT_FALSE(widget<QLineEdit>("txtIPAddress")->isReadOnly());
}

TEST_F(MainWindowViewTest, ModelChangesReachTheirWidgets) {
  make();
  WindowModel& win = up->win;
  win.setText("txtCurrentSoftwareVersion", "5.0.9.3");
  EXPECT_EQ(widget<QLineEdit>("txtCurrentSoftwareVersion")->text(), QStringLiteral("5.0.9.3"));
  win.setText("frmMain", "Orvex Satellite IP Modem Upgrader: FACTORY MODE");
  EXPECT_TRUE(view->windowTitle().endsWith(QStringLiteral(": FACTORY MODE")));
  win.setText("lblIbUpgStatus", "42%");
  win.setValue("prgBarIbUpgrade", 42);
  win.setVisible("prgBarIbUpgrade", false);
  EXPECT_EQ(widget<QLabel>("lblIbUpgStatus")->text(), QStringLiteral("42%"));
  // Text from the terminal shows as text, never as markup.
  win.setText("lblLocPICVer", "<b>2.05</b>");
  EXPECT_EQ(widget<QLabel>("lblLocPICVer")->textFormat(), Qt::PlainText);
  EXPECT_EQ(widget<QProgressBar>("prgBarIbUpgrade")->value(), 42);
  EXPECT_TRUE(widget<QProgressBar>("prgBarIbUpgrade")->isHidden());
  win.setVisible("prgBarIbUpgrade", true);
  EXPECT_FALSE(widget<QProgressBar>("prgBarIbUpgrade")->isHidden());

  win.setValue("chkAntUpg", 1);
  win.setEnabled("chkAntUpg", false);
  EXPECT_TRUE(widget<QCheckBox>("chkAntUpg")->isChecked());
  EXPECT_FALSE(widget<QCheckBox>("chkAntUpg")->isEnabled());
  win.setUnderline("lblLocPICVer", true);
  EXPECT_TRUE(widget<QLabel>("lblLocPICVer")->font().underline());

  // Frames: light green when highlighted, the normal palette otherwise.
  auto* frame = widget<QGroupBox>("frameAntenna");
  win.setBackColor("frameAntenna", kColorHighlight);
  EXPECT_TRUE(frame->autoFillBackground());
  EXPECT_EQ(frame->palette().color(QPalette::Window), QColor(0xC0, 0xFF, 0xC0));
  win.setBackColor("frameAntenna", kColorButtonFace);
  EXPECT_FALSE(frame->autoFillBackground());
  // A disabled frame leaves the controls inside as the engine set them.
  up->ui.UI_DisableIBFunctionality(false);
  EXPECT_TRUE(widget<QLineEdit>("txtTermIBVer")->isEnabled());
  EXPECT_FALSE(widget<QLineEdit>("txtLocIBVer")->isEnabled());
  EXPECT_FALSE(widget<QCheckBox>("chkIBUpg")->isEnabled());
  EXPECT_FALSE(widget<QGroupBox>("frameIbInfo")->styleSheet().isEmpty());
  up->ui.UI_EnableIBFunctionality();
  EXPECT_TRUE(widget<QLineEdit>("txtLocIBVer")->isEnabled());
  EXPECT_TRUE(widget<QGroupBox>("frameIbInfo")->styleSheet().isEmpty());
  // The FTP lamp: the model's colours are blue-green-red.
  win.setBackColor("statusLED", kColorGreen);
  EXPECT_TRUE(widget<QLabel>("statusLED")->styleSheet().contains(QStringLiteral("#00ff00")));
  win.setBackColor("statusLED", kColorRed);
  EXPECT_TRUE(widget<QLabel>("statusLED")->styleSheet().contains(QStringLiteral("#ff0000")));

  // Menus and their items.
  win.setEnabled("mnuTools", false);
  EXPECT_FALSE(widget<QMenu>("mnuTools")->menuAction()->isEnabled());
  win.setEnabled("cmdResetModem", false);
  EXPECT_FALSE(widget<QAction>("cmdResetModem")->isEnabled());

  // A list with its selection.
  win.addItem("lstOldSoftwareVersions", "5.0.0.1");
  win.addItem("lstOldSoftwareVersions", "5.1.0.3");
  win.setListIndex("lstOldSoftwareVersions", 1);
  auto* list = widget<QListWidget>("lstOldSoftwareVersions");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->currentRow(), 1);
  win.clearList("lstOldSoftwareVersions");
  EXPECT_EQ(list->count(), 0);
}

TEST_F(MainWindowViewTest, UserEditsGoBackIntoTheModelAndBusyBlocksInput) {
  make();
  view->show();
  auto* ip = widget<QLineEdit>("txtIPAddress");
  ip->clear();
  QTest::keyClicks(ip, " 127.0.0.7 ");
  EXPECT_EQ(up->win.text("txtIPAddress"), " 127.0.0.7 ") << "typed text, no echo garbling";

  auto* chk = widget<QCheckBox>("chkBinUpg");
  const QPoint onBox(8, chk->height() / 2);
  QTest::mouseClick(chk, Qt::LeftButton, {}, onBox);
  EXPECT_EQ(up->win.value("chkBinUpg"), 1);
  QTest::mouseClick(chk, Qt::LeftButton, {}, onBox);
  EXPECT_EQ(up->win.value("chkBinUpg"), 0);

  up->win.addItem("lstOldSoftwareVersions", "5.0.0.1");
  up->win.addItem("lstOldSoftwareVersions", "5.0.0.2");
  widget<QListWidget>("lstOldSoftwareVersions")->setCurrentRow(1);
  EXPECT_EQ(up->win.at("lstOldSoftwareVersions").listIndex, 1);

  // Busy: the whole window takes no input, and no control turns grey.
  up->ui.SetMouseCursor(1);
  EXPECT_TRUE(view->inputBlocked());
  EXPECT_TRUE(p.qtui.busy());
  EXPECT_FALSE(widget<QCheckBox>("chkBinUpg")->isEnabled()) << "disabled by DisableButtons";
  EXPECT_TRUE(widget<QLineEdit>("txtCurrentSoftwareVersion")->isEnabled());
  auto* pic = widget<QLabel>("lblLocPICVer");
  EXPECT_TRUE(pic->isEnabled());
  ip->setEnabled(true);  // even a control left enabled takes no keys
  ip->setFocus();
  QTest::keyClicks(ip, "9");
  EXPECT_EQ(up->win.text("txtIPAddress"), " 127.0.0.7 ");
  up->ui.SetMouseCursor(0);
  EXPECT_FALSE(view->inputBlocked());
  // A disabled frame takes no input either, though its check box is enabled.
  up->win.setEnabled("framePIC", false);
  up->win.setEnabled("chkPICUpg", true);
  auto* chkPic = widget<QCheckBox>("chkPICUpg");
  QTest::mouseClick(chkPic, Qt::LeftButton, {}, QPoint(8, chkPic->height() / 2));
  EXPECT_EQ(up->win.value("chkPICUpg"), 0);
  up->win.setEnabled("framePIC", true);
  QTest::mouseClick(chkPic, Qt::LeftButton, {}, QPoint(8, chkPic->height() / 2));
  EXPECT_EQ(up->win.value("chkPICUpg"), 1);
  EXPECT_FALSE(p.qtui.busy());
  QTest::mouseClick(chk, Qt::LeftButton, {}, onBox);
  EXPECT_EQ(up->win.value("chkBinUpg"), 1);
}

TEST_F(MainWindowViewTest, MenuCommandsAndKeysReachTheEngine) {
  make();
  view->show();
  test::SeenBox seen;
  {
    auto driver = test::AnswerNextBox(seen, QMessageBox::Ok);
    widget<QAction>("mnuHelpTs")->trigger();
    EXPECT_TRUE(driver->acted());
  }
  EXPECT_EQ(seen.title,
            QStringLiteral("ORVEX Upgrader: Troubleshooting Instructions for Connectivity Issues"));
  EXPECT_TRUE(seen.text.startsWith(QStringLiteral("If the Upgrader and ORVEX Terminal")));
  EXPECT_TRUE(seen.text.contains(QStringLiteral("restore connectivity.\n\n7410 Platform:\n")));
  EXPECT_FALSE(seen.text.contains(QLatin1Char('\r')));
  EXPECT_EQ(seen.icon, QMessageBox::Information);

  // Control keys carry their control codes, wherever the focus is.
  QKeyEvent ctrlL(QEvent::KeyPress, Qt::Key_L, Qt::ControlModifier, QStringLiteral("l"));
  EXPECT_EQ(MainWindowView::KeyAscii(ctrlL), 12);
  QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  EXPECT_EQ(MainWindowView::KeyAscii(a), 'a');
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  EXPECT_EQ(MainWindowView::KeyAscii(enter), 13);
  QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
  EXPECT_EQ(MainWindowView::KeyAscii(shift), -1);
}

TEST_F(MainWindowViewTest, AddressDialogThroughItsWidgets) {
  make();
  up->app.Form_Load();
  up->ui.SetMouseCursor(0);  // as when the terminal has answered
  view->show();
  ASSERT_EQ(up->st.strModemIPAddress, "127.0.0.9");
  auto* dlg = view->dialog("UpdateModemIP");
  auto box = [&](const char* name) { return dlg->findChild<QLineEdit*>(name); };

  // Default IP, then Close: nothing changes.
  std::string shownAtOpen;
  {
    test::ModalDriver driver([&](QWidget* w) {
      EXPECT_EQ(w, dlg);
      shownAtOpen = box("txtIP1")->text().toStdString() + "." + box("txtIP4")->text().toStdString();
      box("txtIP4")->setText("55");
      QTest::mouseClick(dlg->findChild<QPushButton*>("cmdDefault"), Qt::LeftButton);
      EXPECT_EQ(box("txtIP4")->text(), QStringLiteral("100"));
      QTest::mouseClick(dlg->findChild<QPushButton*>("cmdClose"), Qt::LeftButton);
    });
    widget<QAction>("cmdSetModemIP")->trigger();
    EXPECT_TRUE(driver.acted());
    EXPECT_FALSE(driver.forced()) << "Close closes the dialog";
  }
  EXPECT_EQ(shownAtOpen, "192.100") << "the dialog starts from the remembered octets";
  EXPECT_EQ(up->win.text("txtIPAddress"), "127.0.0.9");
  EXPECT_EQ(up->st.strModemIPAddress, "127.0.0.9");
  EXPECT_EQ(up->st.strTermIP, "100");

  // Typed octets, then Update: applied as typed, leading blanks removed.
  {
    test::ModalDriver driver([&](QWidget*) {
      const char* typed[] = {" 127", "0", "0", "5 "};
      for (int i = 0; i < 4; ++i) {
        QLineEdit* e = box(("txtIP" + std::to_string(i + 1)).c_str());
        e->clear();
        QTest::keyClicks(e, typed[i]);
      }
      QTest::mouseClick(dlg->findChild<QPushButton*>("cmdUpdate"), Qt::LeftButton);
    });
    widget<QAction>("cmdSetModemIP")->trigger();
    EXPECT_FALSE(driver.forced()) << "Update closes the dialog";
  }
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(widget<QLineEdit>("txtIPAddress")->text(), QStringLiteral("127.0.0.5 "));
  EXPECT_EQ(up->st.strModemIPAddress, "127.0.0.5");
  EXPECT_EQ(up->st.strTermOctetOne, "127");
}

TEST_F(MainWindowViewTest, UpgradeLaterInTheStartQuestionEndsTheProgram) {
  make("-u");
  auto* dlg = view->dialog("frmUpgrade");
  test::ModalDriver driver([&](QWidget* w) {
    EXPECT_EQ(w, dlg);
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Satellite IP Modem"));
    auto* later = dlg->findChild<QRadioButton*>("UpgradeLater");
    QTest::mouseClick(later, Qt::LeftButton, {}, QPoint(8, later->height() / 2));
    QTest::mouseClick(dlg->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
  });
  up->app.Form_Load();
  EXPECT_TRUE(driver.acted());
  EXPECT_EQ(up->dialogs.intExitApplication, 1);
  EXPECT_EQ(up->win.value("UpgradeLater"), 1);
  EXPECT_EQ(up->win.value("UpgradeNow"), 0);
  EXPECT_TRUE(up->st.bUnloaded);
  EXPECT_EQ(quits, 1);
  EXPECT_TRUE(up->st.strHomeDir.empty()) << "start-up ended before the folder was searched";
}

TEST_F(MainWindowViewTest, CloseBoxUnloadsOnceAndEngineQuitClosesTheWindow) {
  make();
  up->app.Form_Load();
  view->show();
  ASSERT_TRUE(view->isVisible());
  view->close();
  EXPECT_TRUE(up->st.bUnloaded);
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(view->isVisible());

  // File > Exit: the engine unloads and the window closes without a second unload.
  view.reset();
  up.reset();
  make();
  up->app.Form_Load();
  up->ui.SetMouseCursor(0);
  view->show();
  widget<QAction>("mnuFileExit")->trigger();
  EXPECT_TRUE(up->st.bUnloaded);
  EXPECT_FALSE(view->isVisible());
  EXPECT_EQ(quits, 2);
}

// A transfer scripted through the fake FTP client: the bar and its label
// show while it runs, follow its reports and hide at its end; the frames
// say whether an item differs, with colour only as an extra.
TEST_F(MainWindowViewTest, TransferBarFollowsAScriptedTransferThenHides) {
  make();
  view->show();
  auto* bar = widget<QProgressBar>("prgBarTransfer");
  auto* text = widget<QLabel>("lblTransfer");
  ASSERT_TRUE(bar && text);
  EXPECT_EQ(text->buddy(), bar);
  EXPECT_FALSE(bar->isVisible());
  EXPECT_FALSE(text->isVisible());
  const int height = view->height();

  up->st.strHomeDir = home.path() + "/";
  up->st.strNewSwVersion = "5_1_0_12";
  up->sw.UPG_UploadOrvexBinToTarget();
  p.ftp().chunks.assign({"214 RNFR RNTO"});  // HELP: the server renames
  p.ftp().fire(icResponseCompleted);
  struct Step {
    long long done, ms;
    int value;
    const char* text;
  };
  const Step steps[] = {
      {0, 0, 0, "Uploading orvex_5_1_0_12.bin: 0.0 of 31.0 MB"},
      {12'300'000, 3000, 39, "Uploading orvex_5_1_0_12.bin: 12.3 of 31.0 MB, 4.1 MB/s, 5 s left"},
      {12'400'000, 3100, 39, "Uploading orvex_5_1_0_12.bin: 12.3 of 31.0 MB, 4.1 MB/s, 5 s left"},
      {31'000'000, 3200, 100, "Uploading orvex_5_1_0_12.bin: 31.0 of 31.0 MB, 9.7 MB/s, 0 s left"},
  };
  for (const Step& s : steps) {
    p.ftp().progress(s.done, 31'000'000, s.ms);
    EXPECT_TRUE(bar->isVisible()) << s.done;
    EXPECT_EQ(bar->value(), s.value) << s.done;
    EXPECT_EQ(text->text().toStdString(), s.text);
  }
  p.ftp().fire(icResponseCompleted);
  EXPECT_FALSE(bar->isVisible());
  EXPECT_FALSE(text->isVisible());
  EXPECT_EQ(view->height(), height);  // the bar keeps its place

  auto* update = widget<QLabel>("lblBinUpdate");
  const QColor plain = update->palette().color(QPalette::WindowText);
  EXPECT_EQ(update->text(), QStringLiteral("Unknown"));
  up->win.setText("txtCurrentSoftwareVersion", "5.1.0.9");
  up->win.setText("txtNewSoftwareVersion", "5.1.0.12");
  EXPECT_EQ(update->text(), QStringLiteral("Update available"));
  EXPECT_NE(update->palette().color(QPalette::WindowText), plain);
  up->win.setText("txtCurrentSoftwareVersion", "5.1.0.12");
  EXPECT_EQ(update->text(), QStringLiteral("Up to date"));
  up->win.setText("txtCurrentSoftwareVersion", "UNKNOWN");
  EXPECT_EQ(update->text(), QStringLiteral("Unknown"));
  EXPECT_EQ(update->palette().color(QPalette::WindowText), plain);
}

// Each frame's update label shows the model's colour, also when its frame
// was greyed while the colour changed (as the antenna frame is until the
// terminal's release information comes).
TEST_F(MainWindowViewTest, UpdateLabelsShowTheirColourInEveryFrame) {
  make();
  view->show();
  const std::pair<const char*, const char*> frames[] = {{"frameBin", "lblBinUpdate"},
                                                        {"frameAntenna", "lblAntUpdate"},
                                                        {"frameIbInfo", "lblIbUpdate"},
                                                        {"framePIC", "lblPicUpdate"}};
  for (const auto& [frame, label] : frames) {
    up->win.setEnabled(frame, false);
    up->win.setForeColor(label, kColorDarkOrange);
    up->win.setEnabled(frame, true);
    up->win.setEnabled(frame, false);
    up->win.setEnabled(frame, true);
  }
  for (const auto& [frame, label] : frames)
    EXPECT_EQ(widget<QLabel>(label)->palette().color(QPalette::WindowText).name().toStdString(),
              "#c06000")
        << label;
}

}  // namespace
}  // namespace orvex
