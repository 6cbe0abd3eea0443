#include "platform/qt_tcp_socket.h"

#include <QHostAddress>
#include <QPointer>
#include <algorithm>

#include "app/settings.h"

namespace orvex {

QtTcpSocket::QtTcpSocket(std::string name, QObject* parent)
    : QObject(parent), name_(std::move(name)), sock_(new QTcpSocket(this)) {
  // What the terminal sends waits in the system's buffers beyond this; the
  // engine sees a full buffer as a flood.
  sock_->setReadBufferSize(64 * 1024);
  QObject::connect(sock_, &QTcpSocket::connected, this, [this] { post(Ev::Connect); });
  QObject::connect(sock_, &QTcpSocket::readyRead, this, [this] {
    // One announcement at a time; its count is taken when it is delivered.
    if (!dataQueued_) post(Ev::Data);
  });
  QObject::connect(sock_, &QTcpSocket::disconnected, this, [this] {
    peerClosed_ = true;
    if (!errored_) post(Ev::Close);
  });
  QObject::connect(sock_, &QTcpSocket::errorOccurred, this, &QtTcpSocket::onSocketError);
}

QtTcpSocket::~QtTcpSocket() {
  QSignalBlocker block(sock_);
  sock_->abort();
}

bool QtTcpSocket::LoopbackOnly() {
  return LoopbackOnlySetting();
}

bool QtTcpSocket::IsLoopbackAddress(const std::string& host) {
  QHostAddress addr;
  if (!addr.setAddress(QString::fromLatin1(host.data(), static_cast<qsizetype>(host.size()))))
    return false;
  if (addr.protocol() != QAbstractSocket::IPv4Protocol) return false;
  return (addr.toIPv4Address() >> 24) == 127;
}

std::pair<long, std::string> QtTcpSocket::WinsockError(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return {10061, "Connection is forcefully rejected"};
    case QAbstractSocket::HostNotFoundError: return {11001, "Authoritative answer: Host not found"};
    case QAbstractSocket::SocketTimeoutError: return {10060, "Connection timed out"};
    case QAbstractSocket::NetworkError: return {10051, "Network is unreachable"};
    case QAbstractSocket::SocketAccessError: return {10013, "Permission denied"};
    case QAbstractSocket::SocketResourceError: return {10055, "No buffer space is available"};
    case QAbstractSocket::RemoteHostClosedError:
      return {10054, "Connection is reset by remote side"};
    default: return {10053, "Connection is aborted due to timeout or other failure"};
  }
}

std::optional<RuntimeError> QtTcpSocket::connect(const std::string& host, int port) {
  if (LoopbackOnly() && !IsLoopbackAddress(host)) {
    // Nothing may leave the machine in this environment: refuse before any
    // lookup or packet.
    return RuntimeError{
        10049, "Address " + host + " is outside 127.0.0.0/8 and ORVEX_LOOPBACK_ONLY is set", 0,
        name_};
  }
  if (port < 1 || port > 65535)
    return RuntimeError{10049, "Invalid port " + std::to_string(port), 0, name_};
  close();
  const QString name = QString::fromLatin1(host.data(), static_cast<qsizetype>(host.size()));
  // An address literal goes out exactly as it was checked, without a lookup.
  if (QHostAddress addr; addr.setAddress(name))
    sock_->connectToHost(addr, static_cast<quint16>(port));
  else
    sock_->connectToHost(name, static_cast<quint16>(port));
  return std::nullopt;
}

void QtTcpSocket::close() {
  ++generation_;
  dataQueued_ = false;
  peerClosed_ = false;
  errored_ = false;
  QSignalBlocker block(sock_);
  sock_->abort();
}

int QtTcpSocket::state() const {
  switch (sock_->state()) {
    case QAbstractSocket::UnconnectedState: return errored_ ? sckError : sckClosed;
    case QAbstractSocket::HostLookupState: return sckResolvingHost;
    case QAbstractSocket::ConnectingState: return sckConnecting;
    case QAbstractSocket::ConnectedState: return peerClosed_ ? sckClosing : sckConnected;
    case QAbstractSocket::BoundState: return sckOpen;
    case QAbstractSocket::ListeningState: return sckListening;
    case QAbstractSocket::ClosingState: return sckClosing;
  }
  return sckClosed;
}

void QtTcpSocket::sendData(const std::string& bytes) {
  if (sock_->state() != QAbstractSocket::ConnectedState || bytes.empty()) return;
  sock_->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string QtTcpSocket::getData(long maxBytes) {
  if (maxBytes <= 0) return {};
  const qint64 n = std::min<qint64>(maxBytes, sock_->bytesAvailable());
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n));
    const qint64 got = sock_->read(out.data(), n);
    out.resize(static_cast<size_t>(std::max<qint64>(got, 0)));
  }
  // What is left is announced again.
  if (sock_->bytesAvailable() > 0 && !dataQueued_) post(Ev::Data);
  return out;
}

void QtTcpSocket::onSocketError(QAbstractSocket::SocketError error) {
  // The peer closing first is the close event, not an error.
  if (error == QAbstractSocket::RemoteHostClosedError) return;
  errored_ = true;
  auto [number, description] = WinsockError(error);
  post(Ev::Error, number, description);
}

void QtTcpSocket::post(Ev ev, long number, std::string description) {
  if (ev == Ev::Data) dataQueued_ = true;
  const uint64_t gen = generation_;
  QMetaObject::invokeMethod(
      this, [this, ev, gen, number, d = std::move(description)] { deliver(ev, gen, number, d); },
      Qt::QueuedConnection);
}

void QtTcpSocket::deliver(Ev ev, uint64_t generation, long number, const std::string& description) {
  if (generation != generation_) return;
  switch (ev) {
    case Ev::Connect:
      if (ev_.onConnect) ev_.onConnect();
      break;
    case Ev::Data: {
      dataQueued_ = false;
      const qint64 n = sock_->bytesAvailable();
      if (n > 0 && ev_.onDataArrival) ev_.onDataArrival(static_cast<long>(n));
      break;
    }
    case Ev::Close:
      if (ev_.onClose) ev_.onClose();
      break;
    case Ev::Error:
      if (ev_.onError) ev_.onError(number, description);
      break;
  }
}

}  // namespace orvex
