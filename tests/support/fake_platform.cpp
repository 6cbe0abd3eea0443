#include "support/fake_platform.h"

#include <ctime>
#include <filesystem>

namespace orvex::test {

long long VirtualClock::schedule(long long delayMs, std::function<void()> fn) {
  const long long id = seq_++;
  const Key key{now_ + (delayMs < 0 ? 0 : delayMs), id};
  queue_.emplace(key, std::move(fn));
  ids_.emplace(id, key);
  return id;
}

void VirtualClock::cancel(long long id) {
  auto it = ids_.find(id);
  if (it == ids_.end()) return;
  queue_.erase(it->second);
  ids_.erase(it);
}

void VirtualClock::runDue() {
  while (!queue_.empty() && queue_.begin()->first.at <= now_) {
    auto node = queue_.extract(queue_.begin());
    ids_.erase(node.key().seq);
    node.mapped()();
  }
}

void VirtualClock::advance(long long ms) {
  const long long target = now_ + ms;
  while (!queue_.empty() && queue_.begin()->first.at <= target) {
    now_ = std::max(now_, queue_.begin()->first.at);
    runDue();
  }
  now_ = std::max(now_, target);
}

bool VirtualClock::runNext() {
  if (queue_.empty()) return false;
  now_ = std::max(now_, queue_.begin()->first.at);
  runDue();
  return true;
}

void FakeTimer::start(int ms) {
  stop();
  ms_ = ms;
  arm();
}

void FakeTimer::arm() {
  id_ = clock_.schedule(ms_, [this] {
    id_ = -1;
    arm();  // repeats until stopped
    tick_();
  });
}

void FakeTimer::stop() {
  if (id_ >= 0) clock_.cancel(id_);
  id_ = -1;
}

std::optional<RuntimeError> FakeSocket::connect(const std::string& h, int p) {
  if (failNextConnect) {
    auto e = failNextConnect;
    failNextConnect.reset();
    return e;
  }
  if (state_ != sckClosed)
    return RuntimeError{40020, "Invalid operation at current state", 0, name};
  host = h;
  port = p;
  ++connects;
  state_ = sckConnecting;
  inbox.clear();
  if (onConnectRequested) onConnectRequested(*this);
  return std::nullopt;
}

void FakeSocket::close() {
  ++closes;
  state_ = sckClosed;
  inbox.clear();
}

void FakeSocket::sendData(const std::string& bytes) {
  sent.push_back(bytes);
  if (onSend) onSend(*this, bytes);
}

std::string FakeSocket::getData(long maxBytes) {
  const size_t n = maxBytes < 0 ? 0 : std::min(static_cast<size_t>(maxBytes), inbox.size());
  std::string out = inbox.substr(0, n);
  inbox.erase(0, n);
  return out;
}

void FakeSocket::acceptConnect() {
  state_ = sckConnected;
  if (ev.onConnect) ev.onConnect();
}

void FakeSocket::deliver(const std::string& bytes) {
  inbox += bytes;
  if (ev.onDataArrival) ev.onDataArrival(static_cast<long>(inbox.size()));
}

void FakeSocket::peerClose() {
  state_ = sckClosing;
  if (ev.onClose) ev.onClose();
}

void FakeSocket::raiseError(long number, const std::string& description) {
  state_ = sckError;
  if (ev.onError) ev.onError(number, description);
}

void FakeFtpClient::execute(const FtpCommand& command) {
  commands.push_back(command.shown());
  limits.push_back(nextLimit);
  nextLimit = -1;
  executing = true;
  if (onExecute) onExecute(*this, commands.back());
}

void FakeFtpClient::cancel() {
  ++cancels;
  executing = false;
}

std::string FakeFtpClient::getChunk(int maxChars) {
  if (chunks.empty()) return "";
  std::string c = chunks.front();
  chunks.pop_front();
  if (static_cast<int>(c.size()) > maxChars) {
    chunks.push_front(c.substr(static_cast<size_t>(maxChars)));
    c.resize(static_cast<size_t>(maxChars));
  }
  return c;
}

void FakeFtpClient::fire(int state) {
  if (state == icResponseCompleted || state == icError || state == icDisconnected)
    executing = false;
  const size_t before = commands.size();
  if (handler_) handler_(state);
  const size_t n = commands.size();
  if (!answerSizeChecks || state != icResponseCompleted || n != before + 1 || n < 2 ||
      commands[n - 1].rfind("DIR ", 0) != 0 || commands[n - 2].rfind("PUT ", 0) != 0)
    return;
  const std::string& put = commands[n - 2];
  std::string local = FirstArgument(put);
  if (!local.empty() && local[0] != '/') local = localFolder + local;
  const std::string remote = put.substr(put.rfind(' ') + 1);
  std::error_code ec;
  const auto size = std::filesystem::file_size(local, ec);
  chunks.assign({"-rwxrwxrwx 1 0 0 " + std::to_string(ec ? 0 : size) + " Dec 08 08:00 " +
                 remote.substr(remote.rfind('/') + 1) + "\r\n"});
  fire(icResponseCompleted);
}

void FakeFtpClient::progress(long long done, long long total, long long elapsedMs,
                             const std::string& source) {
  if (progressHandler_)
    progressHandler_({source.empty() ? lastSource() : source, done, total, elapsedMs});
}

std::string FakeFtpClient::FirstArgument(const std::string& c) {
  const size_t start = c.find_first_not_of(' ', c.find(' '));
  if (start == std::string::npos) return "";
  if (c[start] == '"') return c.substr(start + 1, c.find('"', start + 1) - start - 1);
  return c.substr(start, c.find(' ', start) - start);
}

bool FakeFtpUpload::open(const std::string& agent) {
  calls.push_back("open " + agent);
  return openOk;
}

bool FakeFtpUpload::connect(const std::string& host, const std::string& user,
                            const std::string& password) {
  calls.push_back("connect " + host + " " + user + " " + password);
  return connectOk;
}

bool FakeFtpUpload::putFile(const std::string& localPath, const std::string& remoteName,
                            bool ascii) {
  calls.push_back("put " + localPath + " " + remoteName + (ascii ? " ascii" : " binary"));
  if (putOk && onPut) onPut(localPath, remoteName);
  return putOk;
}

int FakeUi::msgBox(const std::string& text, int flags, const std::string& title) {
  messages.push_back({text, flags, title});
  if (onMessage) onMessage(messages.back());
  if (boxOpenMs > 0 && clock) clock->advance(boxOpenMs);
  if (onBoxClosed) onBoxClosed(ShownMessage{text, flags, title});
  if (!answers.empty()) {
    const int a = answers.front();
    answers.pop_front();
    return a;
  }
  return (flags & 7) == vbYesNo ? vbYes : vbOK;
}

void FakeUi::showModal(const std::string& form) {
  modals.push_back(form);
  if (onModal) onModal(form);
}

DateTime FakeClock::now() {
  std::tm tm{};
  tm.tm_year = start.year - 1900;
  tm.tm_mon = start.month - 1;
  tm.tm_mday = start.day;
  tm.tm_hour = start.hour;
  tm.tm_min = start.minute;
  tm.tm_sec = start.second;
  const std::time_t t = timegm(&tm) + static_cast<std::time_t>(clock_.nowMs() / 1000);
  std::tm out{};
  gmtime_r(&t, &out);
  return DateTime{out.tm_year + 1900, out.tm_mon + 1, out.tm_mday,
                  out.tm_hour,        out.tm_min,     out.tm_sec};
}

std::string FakeClock::shortDate(const DateTime& t) {
  const std::string d(1, dateSeparator);
  return std::to_string(t.month) + d + std::to_string(t.day) + d + std::to_string(t.year);
}

std::string FakeClock::shortTime(const DateTime& t) {
  char buf[32];
  const int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  std::snprintf(buf, sizeof buf, "%d%c%02d%c%02d %s", h12, timeSeparator, t.minute, timeSeparator,
                t.second, t.hour < 12 ? "AM" : "PM");
  return buf;
}

std::unique_ptr<TimerPort> FakePlatform::makeTimer(std::function<void()> tick) {
  auto t = std::make_unique<FakeTimer>(vclock, std::move(tick));
  timers.push_back(t.get());
  return t;
}

std::unique_ptr<TcpSocketPort> FakePlatform::makeSocket(const std::string& name) {
  auto s = std::make_unique<FakeSocket>(name);
  sockets[name] = s.get();
  return s;
}

std::unique_ptr<FtpClientPort> FakePlatform::makeFtpClient() {
  auto f = std::make_unique<FakeFtpClient>();
  ftpClient = f.get();
  return f;
}

std::unique_ptr<FtpUploadPort> FakePlatform::makeFtpUpload() {
  auto u = std::make_unique<FakeFtpUpload>();
  u->openOk = uploadOpenOk;
  u->connectOk = uploadConnectOk;
  u->putOk = uploadPutOk;
  u->onPut = onUploadPut;
  uploads.push_back(u.get());
  return u;
}

}  // namespace orvex::test
