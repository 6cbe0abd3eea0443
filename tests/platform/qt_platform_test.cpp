// The Qt platform's timers, event pumping, clock forms, message boxes and
// busy pointer.
#include "platform/qt_platform.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTest>

#include "app/part.h"
#include "app/upgrader_log.h"
#include "support/engine_fixture.h"
#include "support/fake_platform.h"
#include "support/qt_modal_helper.h"

namespace orvex {
namespace {

TEST(QtTimer, RepeatsUntilStopped) {
  int ticks = 0;
  QtTimer timer([&] { ++ticks; });
  timer.start(5);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
  timer.stop();
  const int stoppedAt = ticks;
  QTest::qWait(30);
  EXPECT_EQ(ticks, stoppedAt);
  EXPECT_FALSE(timer.isActive());
  timer.start(5);  // starts again after a stop
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > stoppedAt; }, 5000));
}

TEST(QtPump, SleepRunsTheEventsThatBecomeDue) {
  QtPump pump;
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  pump.sleepMs(20);
  EXPECT_TRUE(ran);
  bool ranToo = false;
  QMetaObject::invokeMethod(
      qApp, [&] { ranToo = true; }, Qt::QueuedConnection);
  pump.doEvents();
  EXPECT_TRUE(ranToo);
}

TEST(QtClock, ShortFormsHaveFourDigitYearsAndSeconds) {
  const DateTime t{2013, 4, 25, 14, 3, 22};
  QtClock us(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(us.shortDate(t), "4/25/2013");
  EXPECT_EQ(us.shortTime(t), "2:03:22 PM");
  QtClock de(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(de.shortDate(t), "25.04.2013");
  EXPECT_EQ(de.shortTime(t), "14:03:22");
  const DateTime n = QtClock().now();
  EXPECT_GE(n.year, 2013);
  EXPECT_TRUE(n.month >= 1 && n.month <= 12);
}

// The closing banner as each locale's short forms make it: never a blank,
// "/" and ":" where a locale shows no separator of its own (C, POSIX).
TEST(QtClock, ClosingBannerPerLocale) {
  struct LocaleClock : QtClock {
    using QtClock::QtClock;
    DateTime now() override { return {2013, 4, 25, 14, 3, 22}; }
  };
  const std::pair<const char*, const char*> rows[] = {
      {"C", "04/25/2013 @ 02:03:22 PM"},     {"POSIX", "04/25/2013 @ 02:03:22 PM"},
      {"en_US", "04/25/2013 @ 02:03:22 PM"}, {"en_GB", "04/25/2013 @ 02:03:22 PM"},
      {"de_DE", "04.25.2013 @ 02:03:22 PM"}, {"sv_SE", "04-25-2013 @ 02:03:22 PM"},
      {"ko_KR", "04.25.2013 @ 02:03:22 PM"}, {"ar_EG", "04/25/2013 @ 02:03:22 PM"},
  };
  for (const auto& [locale, stamp] : rows) {
    test::TempDir home;
    test::FakePlatform p;
    LocaleClock clock{QLocale(QString::fromLatin1(locale))};
    UpgraderLog log(clock, p.ui());
    log.setBaseFolder(home.path());
    log.Util_LogInit();
    log.Util_LogClose();
    EXPECT_NE(home.read("logs/" + log.strLogFileName).find(std::string("Close logging. [") + stamp),
              std::string::npos)
        << locale << ": " << clock.shortDate(clock.now()) << ", " << clock.shortTime(clock.now());
  }
}

TEST(QtUi, MessageBoxesShowFlagsTitleAndTextAndReturnTheButton) {
  QtUi ui;
  test::SeenBox seen;
  {
    auto driver = test::AnswerNextBox(seen, QMessageBox::No);
    EXPECT_EQ(ui.msgBox("First line.\r\nSecond line.", vbYesNo | vbExclamation, ""), vbNo);
    EXPECT_TRUE(driver->acted());
    EXPECT_FALSE(driver->forced());
  }
  EXPECT_EQ(seen.title, QString::fromLatin1(kProgramTitle));
  EXPECT_EQ(seen.text, QStringLiteral("First line.\nSecond line."));
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

  {
    auto driver = test::AnswerNextBox(seen, QMessageBox::Cancel);
    EXPECT_EQ(ui.msgBox("<b>not markup</b>", vbOKCancel | vbCritical, "ORVEX Upgrader"), vbCancel);
  }
  EXPECT_EQ(seen.title, QStringLiteral("ORVEX Upgrader"));
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.text, QStringLiteral("<b>not markup</b>"));

  for (int flags : {vbOKOnly | vbInformation, vbOKOnly | vbQuestion}) {
    auto driver = test::AnswerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(ui.msgBox("Done \xE9t\xE9", flags, ""), vbOK);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_EQ(seen.text, QString::fromUtf8("Done \u00e9t\u00e9")) << "single-byte text";
  }
  EXPECT_EQ(seen.icon, QMessageBox::Question);
}

TEST(QtUi, BusyPointerIsOneOverrideLevel) {
  QtUi ui;
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  ui.setBusyPointer(true);
  ui.setBusyPointer(true);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
  ui.setBusyPointer(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  ui.setBusyPointer(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace orvex
