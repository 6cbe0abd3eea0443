#include "cli/output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace orvex::cli {

Output::Output(Mode mode, std::FILE* out, std::FILE* err) : mode_(mode), out_(out), err_(err) {}

QString Output::Text(const std::string& text) {
  QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

QString Output::Bytes(double bytes) {
  static const char* const units[] = {"B", "kB", "MB", "GB"};
  int u = 0;
  while (bytes >= 1000 && u < 3) {
    bytes /= 1000;
    ++u;
  }
  return u == 0 ? QStringLiteral("%1 B").arg(static_cast<long long>(bytes))
                : QStringLiteral("%1 %2").arg(bytes, 0, 'f', 1).arg(QLatin1String(units[u]));
}

QString Output::ProgressLine(const Progress& p, double rate, double secondsLeft, int width) {
  QString tail;
  if (p.total > 0) {
    const int percent = static_cast<int>(std::min<long long>(p.bytes * 100 / p.total, 100));
    tail = QStringLiteral(" %1%  %2 of %3").arg(percent, 3).arg(Bytes(p.bytes), Bytes(p.total));
  } else {
    tail = QStringLiteral("  %1").arg(Bytes(p.bytes));
  }
  if (rate > 0) tail += QStringLiteral("  %1/s").arg(Bytes(rate));
  if (secondsLeft >= 0) {
    const long s = std::lround(secondsLeft);
    tail += QStringLiteral("  %1:%2 left").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
  }
  QString head = QStringLiteral("%1 %2 ").arg(p.direction, p.name);
  const int barWidth = width - static_cast<int>(head.size() + tail.size()) - 2;
  QString bar;
  if (barWidth < 10) {
    // No room for a bar: the name gives way to the numbers, then the numbers.
    const qsizetype room = std::max<qsizetype>(0, width - tail.size());
    if (head.size() > room) head = head.left(std::max<qsizetype>(0, room - 1)) + QLatin1Char(' ');
    return (head + tail.trimmed()).left(std::max(0, width));
  }
  if (p.total > 0) {
    const int filled =
        static_cast<int>(std::min<long long>(p.bytes * barWidth / p.total, barWidth));
    bar = QStringLiteral("[") + QString(filled, QLatin1Char('#')) +
          QString(barWidth - filled, QLatin1Char('.')) + QStringLiteral("]");
  }
  return head + bar + tail;
}

void Output::line(std::FILE* f, const QString& text) {
  clearBar();
  // Terminal and file text never drives the user's terminal: control
  // characters other than the line end and tab are shown as \xHH.
  QString shown;
  for (const QChar c : text) {
    const ushort u = c.unicode();
    if ((u < 0x20 && u != '\n' && u != '\t') || (u >= 0x7F && u < 0xA0))
      shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    else
      shown += c;
  }
  const QByteArray bytes = shown.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), f);
  std::fputc('\n', f);
  std::fflush(f);
  std::clearerr(f);
}

int Output::TerminalWidth(int fd) {
  struct winsize ws {};
  if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  bool ok = false;
  const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
  return ok && columns > 0 && columns <= 10000 ? columns : 80;
}

void Output::clearBar() {
  if (!barShown_) return;
  // Out before anything else reaches the screen, stderr included.
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
  barShown_ = false;
}

void Output::prompt(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), err_);
  std::fflush(err_);
}

void Output::beginQuestion() {
  clearBar();
  asking_ = true;
}

void Output::json(const QJsonObject& o) {
  // The kind of event first, for the reader; the rest in the order of keys.
  QJsonObject rest = o;
  rest.remove(QLatin1String("event"));
  // A history row brings its own time and address.
  if (!rest.contains(QLatin1String("time")))
    rest.insert("time", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
  if (!rest.contains(QLatin1String("address"))) rest.insert("address", address_);
  QByteArray bytes = QJsonDocument(rest).toJson(QJsonDocument::Compact);
  const QByteArray kind =
      QJsonDocument(QJsonObject{{"event", o.value("event")}}).toJson(QJsonDocument::Compact);
  bytes = kind.left(kind.size() - 1) + (rest.isEmpty() ? QByteArray("}") : "," + bytes.mid(1));
  // A reader that went away does not stop the upgrade: the write fails
  // (SIGPIPE is ignored) and the run goes on.
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
  std::clearerr(out_);
}

void Output::status(const std::string& text) {
  if (text == lastStatus_) return;
  lastStatus_ = text;
  if (mode_.json) {
    json({{"event", "status"}, {"text", Text(text)}});
    return;
  }
  if (mode_.quiet || text.empty()) return;
  line(out_, Text(text));
}

void Output::log(long level, const std::string& text) {
  // The log's information and error lines (levels INF and ERR).
  if (!mode_.json || level < 3) return;
  json({{"event", "log"}, {"level", level >= 4 ? "ERR" : "INF"}, {"text", Text(text)}});
}

void Output::progress(const Progress& given) {
  Progress p = given;
  const QString key = p.step + QLatin1Char('\n') + p.name;
  if (key != progressKey_ || !progressClock_.isValid() || p.bytes < lastProgressBytes_) {
    progressKey_ = key;
    progressClock_.start();
    progressStartBytes_ = p.bytes;
  }
  // The engine throttles its reports; each one is shown. A rate is
  // measured here only for a report that brings none (the IB flashing).
  const qint64 ms = progressClock_.elapsed();
  lastProgressBytes_ = p.bytes;
  if (p.rate < 0) {
    p.rate = ms > 0 ? (p.bytes - progressStartBytes_) * 1000.0 / ms : 0;
    p.secondsLeft = p.rate > 0 && p.total > 0 ? std::llround((p.total - p.bytes) / p.rate) : -1;
  }
  if (mode_.json) {
    QJsonObject o{{"event", "progress"},        {"step", p.step},  {"item", p.item},
                  {"direction", p.direction},   {"name", p.name},  {"bytes", p.bytes},
                  {"rate", std::round(p.rate)}, {"ended", p.ended}};
    if (p.ended) o.insert("completed", p.completed);
    if (p.total > 0) {
      o.insert("total", p.total);
      o.insert("percent", static_cast<int>(std::min<long long>(p.bytes * 100 / p.total, 100)));
    }
    if (p.secondsLeft >= 0) o.insert("seconds_left", p.secondsLeft);
    json(o);
    return;
  }
  // No bar over a question that waits for its answer.
  if (mode_.quiet || !mode_.tty || asking_) return;
  if (p.ended) {
    clearBar();
    return;
  }
  const int width = TerminalWidth(::fileno(out_)) - 1;  // the last column wraps on some
  const QByteArray bar = (QStringLiteral("\r\033[K") +
                          ProgressLine(p, p.rate, static_cast<double>(p.secondsLeft), width))
                             .toUtf8();
  std::fwrite(bar.constData(), 1, static_cast<size_t>(bar.size()), out_);
  std::fflush(out_);
  barShown_ = true;
}

void Output::question(const std::string& title, const std::string& text, const QString& answer,
                      const QString& answeredBy) {
  if (mode_.json)
    json({{"event", "question"},
          {"title", Text(title)},
          {"text", Text(text)},
          {"answer", answer},
          {"answered_by", answeredBy}});
  if (answeredBy == QLatin1String("stdin")) return;  // it was asked on the terminal
  if (mode_.json || mode_.quiet) {
    if (answeredBy != QLatin1String("default")) return;
  }
  line(err_, QStringLiteral("question: %1\n%2\n(answered %3: %4)")
                 .arg(Text(title), Text(text).trimmed(),
                      answeredBy == "--yes" ? "by --yes" : "by default", answer));
}

void Output::messageEvent(const QString& kind, const std::string& title, const std::string& text,
                          bool actionNeeded) {
  if (!mode_.json) return;
  QJsonObject o{{"event", "message"}, {"kind", kind}, {"title", Text(title)}, {"text", Text(text)}};
  if (actionNeeded) o.insert("action_needed", true);
  json(o);
}

void Output::instruction(const QString& kind, const std::string& title, const std::string& text) {
  messageEvent(kind, title, text, true);
}

void Output::message(const QString& kind, const std::string& title, const std::string& text,
                     bool actionNeeded) {
  messageEvent(kind, title, text, actionNeeded);
  if (mode_.quiet && kind != QLatin1String("error") && kind != QLatin1String("warning")) return;
  line(err_, QStringLiteral("%1: %2\n%3").arg(kind, Text(title), Text(text).trimmed()));
}

void Output::item(const QString& name, const QString& before, const QString& after,
                  const QString& expected, const QString& result, bool event) {
  const QJsonObject o{
      {"name", name}, {"before", before}, {"after", after}, {"new", expected}, {"result", result}};
  items_.append(o);
  if (!event) return;
  if (mode_.json) {
    QJsonObject e = o;
    e.insert("event", "item");
    json(e);
    return;
  }
  line(out_, QStringLiteral("%1: %2 -> %3: %4")
                 .arg(name, before.isEmpty() ? QStringLiteral("?") : before,
                      after.isEmpty() ? QStringLiteral("?") : after, result));
}

void Output::signalNote(const QString& signal, const QString& text) {
  if (mode_.json) json({{"event", "signal"}, {"signal", signal}, {"text", text}});
  line(err_, text);
}

void Output::version(const QString& name, const QString& terminal, const QString& release,
                     bool differs, bool available) {
  if (mode_.json) {
    json({{"event", "version"},
          {"name", name},
          {"terminal", terminal},
          {"release", release},
          {"differs", differs},
          {"available", available}});
    return;
  }
  QString mark = !available ? QStringLiteral("(not in the release)")
                 : differs  ? QStringLiteral("(differs)")
                            : QString();
  line(out_, QStringLiteral("%1 %2 %3 %4")
                 .arg(name, -9)
                 .arg(terminal, -20)
                 .arg(release, -20)
                 .arg(mark)
                 .trimmed());
}

void Output::result(int code, const QString& reason) {
  if (mode_.json) {
    QJsonObject o{{"event", "result"}, {"code", code}, {"reason", reason}, {"items", items_}};
    if (!logFile_.isEmpty()) o.insert("log", logFile_);
    json(o);
    return;
  }
  clearBar();
  if (code != 0 && !reason.isEmpty())
    line(err_, QStringLiteral("%1: %2").arg(QLatin1String("orvex-upgrade"), reason));
  else if (!mode_.quiet && !reason.isEmpty())
    line(out_, reason);
}

void Output::error(const QString& text) {
  if (mode_.json)
    json({{"event", "message"}, {"kind", "error"}, {"title", "orvex-upgrade"}, {"text", text}});
  line(err_, QStringLiteral("orvex-upgrade: %1").arg(text));
}

void Output::warning(const QString& text) {
  if (mode_.json)
    json({{"event", "message"}, {"kind", "warning"}, {"title", "orvex-upgrade"}, {"text", text}});
  line(err_, QStringLiteral("orvex-upgrade: warning: %1").arg(text));
}

void Output::historyRow(const QJsonObject& row) {
  if (mode_.json) {
    QJsonObject o = row;
    o.insert("event", "history");
    json(o);
    return;
  }
  const auto v = [&](const char* key) {
    const QString s = row.value(QLatin1String(key)).toString();
    return s.isEmpty() ? QStringLiteral("-") : s;
  };
  line(out_, QStringLiteral("%1  %2  %3  %4 -> %5 (new %6): %7  %8 %9")
                 .arg(v("time"), v("address"), v("item"), v("before"), v("after"), v("new"),
                      v("result"), v("front_end"), v("log")));
}

void Output::note(const QString& text) {
  if (mode_.json || mode_.quiet) return;
  line(out_, text);
}

}  // namespace orvex::cli
