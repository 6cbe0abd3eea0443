// The main of the Qt tests: an offscreen QApplication, then GoogleTest.
// Tests of the adapters on Qt Core alone build it with
// ORVEX_TEST_CORE_APPLICATION and get a QCoreApplication.
#include <gtest/gtest.h>

#ifdef ORVEX_TEST_CORE_APPLICATION
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TestApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
