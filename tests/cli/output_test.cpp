// What orvex-upgrade prints: the fields of each JSON event, every report
// of the engine shown, a progress line that fits the terminal, the bar out
// of the way of stderr and of a question, and the answers read from stdin.
#include "cli/output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <cstring>
#include <functional>

#include "cli/cli_ui.h"

namespace orvex::cli {
namespace {

// An Output on two memory streams.
struct Captured {
  char* outBuf = nullptr;
  char* errBuf = nullptr;
  size_t outSize = 0, errSize = 0;
  std::FILE* outFile = open_memstream(&outBuf, &outSize);
  std::FILE* errFile = open_memstream(&errBuf, &errSize);
  Output out;
  explicit Captured(Output::Mode mode) : out(mode, outFile, errFile) {
    out.setAddress(QStringLiteral("127.0.0.9"));
  }
  ~Captured() {
    std::fclose(outFile);
    std::fclose(errFile);
    std::free(outBuf);
    std::free(errBuf);
  }
  QString stdoutText() {
    std::fflush(outFile);
    return QString::fromUtf8(outBuf, static_cast<qsizetype>(outSize));
  }
  QString stderrText() {
    std::fflush(errFile);
    return QString::fromUtf8(errBuf, static_cast<qsizetype>(errSize));
  }
  std::vector<QJsonObject> events() {
    std::vector<QJsonObject> v;
    for (const QString& line : stdoutText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
      v.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
    return v;
  }
};

Progress Transfer(long long bytes, bool ended = false, bool completed = false) {
  Progress p;
  p.step = QStringLiteral("image");
  p.item = QStringLiteral("software");
  p.direction = QStringLiteral("upload");
  p.name = QStringLiteral("orvex_5_1_0_12.bin");
  p.bytes = bytes;
  p.total = 1000;
  p.rate = 100;
  p.ended = ended;
  p.completed = completed;
  return p;
}

Output::Mode Json() {
  Output::Mode m;
  m.json = true;
  return m;
}

Output::Mode Tty() {
  Output::Mode m;
  m.tty = true;
  return m;
}

TEST(CliOutput, EachJsonEventCarriesItsFields) {
  QJsonObject row{{"time", "2026-01-02T03:04:05.000Z"},
                  {"address", "127.0.0.7"},
                  {"item", "pic"},
                  {"result", "done"}};
  struct Case {
    const char* what;
    std::function<void(Output&)> make;
    QStringList fields;
    QString address = QStringLiteral("127.0.0.9");
  };
  const Case cases[] = {
      {"progress",
       [](Output& o) { o.progress(Transfer(10)); },
       {"step", "item", "direction", "name", "bytes", "total", "percent", "rate", "ended"}},
      {"progress",
       [](Output& o) { o.progress(Transfer(1000, true, true)); },
       {"ended", "completed"}},
      {"message",
       [](Output& o) { o.message("information", "ORVEX Upgrader", "Power up", true); },
       {"kind", "title", "text", "action_needed"}},
      {"message", [](Output& o) { o.warning(QStringLiteral("history")); }, {"kind", "text"}},
      {"item",
       [](Output& o) { o.item("ib", "31.02", "31.05", "31.05", "done"); },
       {"name", "before", "after", "new", "result"}},
      {"history", [&](Output& o) { o.historyRow(row); }, {"item", "result"}, "127.0.0.7"},
      {"result",
       [](Output& o) { o.result(1, QStringLiteral("failed")); },
       {"code", "reason", "items"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Captured cap(Json());
    c.make(cap.out);
    const auto events = cap.events();
    ASSERT_EQ(events.size(), 1u) << cap.stdoutText().toStdString();
    const QJsonObject& e = events[0];
    EXPECT_EQ(e.value("event").toString(), QLatin1String(c.what));
    EXPECT_EQ(e.value("address").toString(), c.address);
    EXPECT_TRUE(e.value("time").toString().endsWith(QLatin1Char('Z')));
    for (const QString& f : c.fields) EXPECT_TRUE(e.contains(f)) << f.toStdString();
  }
  // A progress event that has not ended says nothing of completion; the
  // engine's reports are all shown, however close together.
  Captured cap(Json());
  for (long long b : {10, 20, 30}) cap.out.progress(Transfer(b));
  cap.out.progress(Transfer(30, true, false));
  const auto events = cap.events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_FALSE(events[0].contains("completed"));
  EXPECT_EQ(events[3].value("completed"), QJsonValue(false));
}

TEST(CliOutput, TheProgressLineFitsTheTerminal) {
  Progress p = Transfer(500);
  for (int width : {0, 12, 30, 50, 79, 200}) {
    for (const char* name : {"orvex_5_1_0_12.bin",
                             "a-very-long-release-file-name-of-sixty-"
                             "characters-or-so.sxm"}) {
      SCOPED_TRACE(std::to_string(width) + " " + name);
      p.name = QString::fromLatin1(name);
      const QString line = Output::ProgressLine(p, 100, 5, width);
      EXPECT_LE(line.size(), std::max(0, width));
      if (width >= 79) {
        EXPECT_TRUE(line.contains(QLatin1String("50%")));
      }
    }
  }
  // Not a terminal: COLUMNS, else 80.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  for (auto [columns, width] : {std::pair{"123", 123}, {"junk", 80}, {"", 80}}) {
    qputenv("COLUMNS", columns);
    EXPECT_EQ(Output::TerminalWidth(fds[1]), width) << columns;
  }
  qunsetenv("COLUMNS");
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(CliOutput, TheBarMakesWayForStderrAndForAQuestion) {
  Captured cap(Tty());
  cap.out.progress(Transfer(10));
  ASSERT_TRUE(cap.stdoutText().contains(QLatin1String("orvex_5_1_0_12.bin")));
  cap.out.warning(QStringLiteral("the upgrade history: read-only"));
  EXPECT_TRUE(cap.stdoutText().endsWith(QLatin1String("\r\033[K")));
  EXPECT_TRUE(cap.stderrText().contains(QLatin1String("read-only")));

  cap.out.progress(Transfer(20));
  cap.out.beginQuestion();
  const QString before = cap.stdoutText();
  EXPECT_TRUE(before.endsWith(QLatin1String("\r\033[K")));
  cap.out.progress(Transfer(30));
  EXPECT_EQ(cap.stdoutText(), before);  // nothing drawn over the question
  cap.out.endQuestion();
  cap.out.progress(Transfer(40));
  EXPECT_TRUE(cap.stdoutText().contains(QLatin1String(" 4%")));
}

TEST(CliUi, QuestionsAndInstructionsOnStdin) {
  struct Case {
    const char* input;  // nullptr: nothing comes within the bound
    bool closeInput;
    int flags;
    int expected;
  };
  const int question = vbYesNo | vbQuestion;
  const int instruction = vbOKOnly | vbInformation | vbActionNeeded;
  const Case cases[] = {
      {"y\n", false, question, vbYes},
      {"no\n", false, question, vbNo},
      {"\n", false, question, vbYes},                    // the default button
      {"\n", false, question | vbDefaultButton2, vbNo},  // the default button
      {"y", true, question, vbNo},                       // end of input: the safe button
      {nullptr, false, question, vbNo},                  // time-out: the safe button
      {"\n", false, instruction, vbOK},
      {nullptr, false, instruction, vbOK},  // time-out: the run goes on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.input ? c.input : "(nothing)") + std::to_string(c.flags));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    if (c.input) {
      ASSERT_GT(::write(fds[1], c.input, std::strlen(c.input)), 0);
    }
    if (c.closeInput) ::close(fds[1]);
    Captured cap(Json());
    CliUi ui(cap.out, false, true);
    ui.setInput(fds[0], 50);
    EXPECT_EQ(ui.msgBox("Power up the terminal.", c.flags, "ORVEX Upgrader"), c.expected);
    EXPECT_FALSE(ui.confirmationNeeded());
    // Its question event, or its message event flagged as needing an action.
    const auto events = cap.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].value("action_needed").toBool(), c.flags == instruction);
    ::close(fds[0]);
    if (!c.closeInput) ::close(fds[1]);
  }
  // No terminal to ask on: the instruction is printed, flagged, and the
  // run goes on.
  Captured cap(Json());
  CliUi ui(cap.out, false, false);
  EXPECT_EQ(ui.msgBox("Power up the terminal.", instruction, "ORVEX Upgrader"), vbOK);
  const auto events = cap.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].value("action_needed"), QJsonValue(true));
  EXPECT_TRUE(cap.stderrText().contains(QLatin1String("Power up the terminal.")));
}

}  // namespace
}  // namespace orvex::cli
