#include "cli/session.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_frame.h"
#include "cli/command.h"
#include "transfer/transfer_meter.h"
#include "upgrade/sequencer.h"

namespace orvex::cli {

namespace {

// SIGINT, SIGTERM and SIGHUP reach the event loop through a pipe.
int gSignalPipe[2] = {-1, -1};

void OnSignal(int signo) {
  const char c = signo == SIGTERM ? 'T' : signo == SIGHUP ? 'H' : 'I';
  const ssize_t ignored = ::write(gSignalPipe[1], &c, 1);
  (void)ignored;
}

// The engine on Qt Core and Network, with the command line's message boxes.
class CliPlatform : public QtCorePlatform {
 public:
  explicit CliPlatform(UiPort& ui) : ui_(ui) {}
  UiPort& ui() override { return ui_; }

 private:
  UiPort& ui_;
};

// A folder of this run alone (mode 0700), in the user's runtime folder or
// the temporary folder: never a path a release folder could have planted.
QString MakeScratchFolder() {
  QByteArray base = qgetenv("XDG_RUNTIME_DIR");
  struct stat sb {};
  if (base.isEmpty() || ::lstat(base.constData(), &sb) != 0 || !S_ISDIR(sb.st_mode) ||
      sb.st_uid != ::geteuid())
    base = QDir::tempPath().toLocal8Bit();
  QByteArray path = base + "/orvex-upgrade-XXXXXX";
  if (!::mkdtemp(path.data())) return {};
  return QString::fromLocal8Bit(path);
}

// Removes what the run left in its scratch folder and the folder itself:
// the entries of that one folder, never what a link in it points at, and
// nothing below a sub-folder.
void RemoveScratchFolder(const QString& folder) {
  const QByteArray path = folder.toLocal8Bit();
  const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  if (DIR* dir = ::fdopendir(fd)) {
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      ::unlinkat(fd, name.c_str(), 0);  // a file or a link, not a folder
    }
    ::closedir(dir);
  } else {
    ::close(fd);
  }
  ::rmdir(path.constData());
}

// How often the wait looks at the engine, and how many looks in a row must
// find it idle: one step of a chain may hand over to the next through the
// event queue.
constexpr int kIdlePollMs = 50;
constexpr int kIdleLooks = 3;

}  // namespace

QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

QString ItemWord(UpgradeItem item) {
  return QLatin1String(FactsOf(item).word);
}

Session::Session(Settings settings, Output& out)
    : settings_(std::move(settings)),
      out_(out),
      ui_(out, settings_.yes, settings_.stdinIsTerminal),
      platform_(std::make_unique<CliPlatform>(ui_)) {}

Session::~Session() {
  if (up_) {
    if (meterHandle_) up_->meter.unsubscribe(meterHandle_);
    up_->win.setListener(nullptr);
    up_->log.setListener(nullptr);
  }
  // The working files of the run; the backup itself is in Backup.
  if (!scratch_.isEmpty() && (!up_ || !up_->app.WorkPending())) RemoveScratchFolder(scratch_);
  if (signals_)
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) ::signal(signo, SIG_DFL);
}

qint64 Session::queryBoundMs() const {
  // The version and release information, with the connectivity test and
  // the retries of a terminal that restarts: ten minutes unscaled.
  return std::max<qint64>(30000, static_cast<qint64>(600000 * up_->cfg.timeScale));
}

qint64 Session::upgradeBoundMs() const {
  // All four items across their restarts: two hours unscaled.
  return std::max<qint64>(60000, static_cast<qint64>(7200000 * up_->cfg.timeScale));
}

int Session::start() {
  Config cfg;
  cfg.homeFolder = QDir::toNativeSeparators(settings_.release).toLocal8Bit().toStdString();
  ApplyEnvironment(cfg);
  if (!settings_.address.isEmpty()) cfg.modemAddress = settings_.address.toStdString();
  // Upgraders started together from one release folder keep logs apart.
  cfg.logNewFileEachStart = true;
  cfg.frontEnd = kProgram;
  up_ = std::make_unique<Upgrader>(*platform_, cfg);
  address_ = QString::fromLatin1(Trim(up_->win.text("txtIPAddress")).c_str());
  out_.setAddress(address_);

  // Nothing goes to the terminal before its lock is held.
  if (!lock_.acquire(address_)) {
    out_.error(lock_.refusal());
    return finish(kExitUnreachable, lock_.refusal());
  }
  // The working files of this run (image.txt, the backup on its way) go
  // into a private folder; the backup moves into Backup once complete.
  scratch_ = MakeScratchFolder();
  if (!scratch_.isEmpty())
    up_->cfg.scratchFolder = QDir::toNativeSeparators(scratch_).toLocal8Bit().toStdString();

  up_->win.setListener([this](const std::string& name) {
    if (name == "sbUpgrade") {
      out_.status(up_->win.text("sbUpgrade"));
    } else if (name == "prgBarIbUpgrade" && up_->win.visible("prgBarIbUpgrade")) {
      // The IB flashing: the terminal reports blocks, the window a percentage.
      Progress p;
      p.step = QStringLiteral("IB flash");
      p.item = ItemWord(UpgradeItem::Ib);
      p.direction = QStringLiteral("flash");
      p.name = QString::fromLatin1(up_->st.strGloFile.c_str());
      p.total = std::max<long long>(FileLength(up_->st.strHomeDir + up_->st.strGloFile), 100);
      p.bytes = p.total * std::clamp(up_->win.value("prgBarIbUpgrade"), 0, 100) / 100;
      out_.progress(p);
    }
  });
  up_->log.setListener([this](long level, const std::string& text) { out_.log(level, text); });
  meterHandle_ = up_->meter.subscribe([this](const TransferProgress& t) { showTransfer(t); });

  if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    signals_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(signals_.get(), &QSocketNotifier::activated, [this] { onSignal(); });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) sigaction(signo, &sa, nullptr);
  }

  loaded_ = true;
  up_->app.Form_Load();
  out_.setLogFile(QString::fromLocal8Bit(up_->log.strLogFilePath.c_str()));
  if (up_->st.bUnloaded) {
    if (refusal() != Refusal::ReleaseFiles)
      return finish(kExitFailed, QStringLiteral("the upgrader could not start"));
    const std::string& why = up_->st.refusalText;
    return finish(kExitRefused,
                  why.empty() ? QStringLiteral("refused: the release folder %1 does not hold "
                                               "exactly one orvex*.bin")
                                    .arg(settings_.release)
                              : QStringLiteral("refused: ") + QString::fromLocal8Bit(why.c_str()));
  }
  if (!waitIdle(queryBoundMs(), QStringLiteral("the terminal's versions")))
    return finish(kExitUnreachable,
                  QStringLiteral("no versions from the terminal at %1 in time").arg(address_));
  if (!reached())
    return finish(kExitUnreachable,
                  QStringLiteral("the terminal at %1 could not be reached").arg(address_));
  return kGoOn;
}

QString Session::historyPath() const {
  return settings_.history.isEmpty() ? SqlHistory::DefaultPath() : settings_.history;
}

void Session::openHistory() {
  if (history_.isOpen()) return;
  history_.setWarningHandler([this](const QString& text) { out_.warning(text); });
  history_.open(historyPath());
  platform_->setHistory(&history_);
}

bool Session::reached() const {
  return up_ && !up_->st.bUnloaded && up_->st.strCurrSwVersion != "0_0_0_0";
}

bool Session::waitIdle(qint64 boundMs, const QString& what) {
  QDeadlineTimer deadline(boundMs);
  int idleLooks = 0;
  while (!up_->st.bUnloaded) {
    reportItems(false);
    if (up_->app.WorkPending())
      idleLooks = 0;
    else if (++idleLooks >= kIdleLooks)
      return true;
    if (deadline.hasExpired()) {
      out_.error(QStringLiteral("%1 did not come within %2 s").arg(what).arg(boundMs / 1000));
      return false;
    }
    QEventLoop loop;
    QTimer::singleShot(kIdlePollMs, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

void Session::showTransfer(const TransferProgress& t) {
  Progress p;
  p.step = QString::fromLatin1(TransferStepName(t.step).c_str());
  if (t.item) p.item = ItemWord(*t.item);
  p.direction = t.upload ? QStringLiteral("upload") : QStringLiteral("download");
  p.name = QString::fromLatin1(t.fileName.c_str());
  p.bytes = t.bytesDone;
  p.total = t.bytesTotal > 0 ? t.bytesTotal : -1;
  p.rate = t.bytesPerSecond();
  p.secondsLeft = t.secondsLeft();
  p.ended = t.ended;
  p.completed = t.completed;
  out_.progress(p);
}

void Session::onSignal() {
  char c = 0;
  while (::read(gSignalPipe[0], &c, 1) == 1) {
    const bool upgrading = up_ && !up_->st.bUnloaded && up_->app.UpgradeInProgress();
    if (c == 'H') {
      // A dropped remote session does not cut a flash short.
      if (!upgrading) endAtOnce(kExitHangUp, QStringLiteral("hung up"));
      up_->log.Util_LogWrite(INF, "SIGHUP ignored: an upgrade is in progress.");
      continue;
    }
    const bool term = c == 'T';
    const QString name = term ? QStringLiteral("SIGTERM") : QStringLiteral("SIGINT");
    const int code = term ? kExitTerminated : kExitInterrupted;
    const QString reason = term ? QStringLiteral("terminated") : QStringLiteral("interrupted");
    ++interrupts_;
    if (interrupts_ > 1 || ui_.asking() || !upgrading) endAtOnce(code, reason);
    if (abandonOnFirstSignal(name)) endAtOnce(code, reason);
  }
}

bool Session::abandonOnFirstSignal(const QString& name) {
  up_->log.Util_LogWrite(INF, name.toStdString() + " during an upgrade.");
  if (!settings_.stdinIsTerminal) {
    out_.signalNote(
        name, QStringLiteral("An upgrade is in progress; send the signal again to abandon it"));
    return false;
  }
  // As the window's close: the technician is asked, and --yes does not answer.
  ui_.setYesAnswers(false);
  const bool close = up_->app.ConfirmClose();
  ui_.setYesAnswers(true);
  return close;
}

void Session::endAtOnce(int code, const QString& reason) {
  if (up_ && !up_->st.bUnloaded) up_->app.UnloadMainWindow();
  reportItems(false);
  for (UpgradeItem item : asked_)
    if (std::find(reported_.begin(), reported_.end(), item) == reported_.end())
      out_.item(ItemWord(item), Latin1(up_->seq.TerminalVersionOf(item)), QString(),
                Latin1(up_->seq.NewVersionOf(item)), QStringLiteral("interrupted"), false);
  out_.result(code, reason);
  lock_.release();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(code);
}

const UpgradeItemResult* Session::resultOf(UpgradeItem item) const {
  const UpgradeItemResult* r = nullptr;
  for (const UpgradeItemResult& x : up_->seq.itemResults())
    if (x.item == item) r = &x;
  return r;
}

void Session::reportItems(bool all) {
  if (!up_) return;
  for (UpgradeItem item : asked_) {
    if (std::find(reported_.begin(), reported_.end(), item) != reported_.end()) continue;
    const UpgradeItemResult* r = resultOf(item);
    const bool ended = r && r->outcome != ItemOutcome::Running;
    if (!ended && !all) continue;
    reported_.push_back(item);
    if (!r) {
      out_.item(ItemWord(item), Latin1(up_->seq.TerminalVersionOf(item)), QString(),
                Latin1(up_->seq.NewVersionOf(item)), QStringLiteral("not started"));
      continue;
    }
    const ItemOutcome outcome =
        r->outcome == ItemOutcome::Running ? ItemOutcome::NotVerified : r->outcome;
    out_.item(ItemWord(item), Latin1(r->before), Latin1(r->after), Latin1(r->expected),
              Latin1(ItemOutcomeName(outcome)));
  }
}

bool Session::allItemsDone() const {
  for (UpgradeItem item : asked_) {
    const UpgradeItemResult* r = resultOf(item);
    if (!r || r->outcome != ItemOutcome::Done) return false;
  }
  return true;
}

bool Session::anyItemDone() const {
  for (const UpgradeItemResult& r : up_->seq.itemResults())
    if (r.outcome == ItemOutcome::Done) return true;
  return false;
}

void Session::endEngine() {
  if (!up_ || !loaded_ || up_->st.bUnloaded) return;
  // File > Exit when nothing runs; it asks first while something does.
  if (!up_->app.WorkPending())
    up_->click("mnuFileExit");
  else
    up_->app.UnloadMainWindow();
  if (!up_->st.bUnloaded) up_->app.UnloadMainWindow();
}

int Session::finish(int code, const QString& reason) {
  if (finished_) return code;
  finished_ = true;
  endEngine();
  out_.result(code, reason);
  lock_.release();
  return code;
}

}  // namespace orvex::cli
