// The TCP client socket on QTcpSocket. Its events reach the engine on the
// GUI thread, each posted through the event queue so that a handler may
// close or reconnect the socket; close() drops whatever is still queued.
#pragma once

#include <QObject>
#include <QTcpSocket>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ports.h"

namespace orvex {

class QtTcpSocket : public QObject, public TcpSocketPort {
  Q_OBJECT

 public:
  explicit QtTcpSocket(std::string name, QObject* parent = nullptr);
  ~QtTcpSocket() override;

  void setEvents(Events events) override { ev_ = std::move(events); }
  std::optional<RuntimeError> connect(const std::string& host, int port) override;
  void close() override;
  int state() const override;
  void sendData(const std::string& bytes) override;
  std::string getData(long maxBytes) override;

  const std::string& name() const { return name_; }

  // True when ORVEX_LOOPBACK_ONLY=1 keeps every connect inside 127.0.0.0/8.
  static bool LoopbackOnly();
  // True for an IPv4 literal in 127.0.0.0/8.
  static bool IsLoopbackAddress(const std::string& host);
  // The socket facility's error number and text for a Qt socket error.
  static std::pair<long, std::string> WinsockError(QAbstractSocket::SocketError error);

 private:
  enum class Ev { Connect, Data, Close, Error };
  void post(Ev ev, long number = 0, std::string description = {});
  void deliver(Ev ev, uint64_t generation, long number, const std::string& description);
  void onSocketError(QAbstractSocket::SocketError error);

  std::string name_;
  QTcpSocket* sock_;
  Events ev_;
  // Bumped by connect() and close(): events queued before are dropped.
  uint64_t generation_ = 0;
  bool peerClosed_ = false;
  bool errored_ = false;
  bool dataQueued_ = false;
};

}  // namespace orvex
