// A scripted terminal shell on the fake telnetShell socket: it accepts the
// upgrader's connects, sends a banner, and answers each command line with
// fixed chunks of text, each chunk a data event of its own, a millisecond
// of virtual time after the line arrived (as a real peer would, never
// inside the send).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace orvex::test {

class ShellPeer {
 public:
  ShellPeer(FakePlatform& p, const std::string& socketName = "telnetShell")
      : p_(p), sock_(p.socket(socketName)) {}

  // Starts answering on the socket.
  void install() {
    sock_.onConnectRequested = [this](FakeSocket& s) {
      if (!acceptConnects) return;
      p_.vclock.schedule(1, [this, &s] {
        s.acceptConnect();
        for (const auto& chunk : banner) later(chunk);
      });
    };
    sock_.onSend = [this](FakeSocket&, const std::string& bytes) {
      std::string line = bytes;
      if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        line.resize(line.size() - 2);
      lines.push_back(line);
      const auto it = replies.find(line);
      if (it == replies.end()) return;
      for (const auto& chunk : it->second) later(chunk);
    };
  }

  // Delivers text now; what the upgrader leaves unread is announced again,
  // as the socket does.
  void say(const std::string& text) {
    if (sock_.state() != sckConnected) return;  // closed meanwhile: lost
    sock_.deliver(text);
    for (int guard = 0; !sock_.inbox.empty() && guard < 1000; ++guard)
      if (sock_.ev.onDataArrival) sock_.ev.onDataArrival(static_cast<long>(sock_.inbox.size()));
  }

  // Delivers text one step after what is already on its way.
  void later(const std::string& text) {
    delay_ += 1;
    p_.vclock.schedule(delay_, [this, text] {
      --delay_;
      say(text);
    });
  }

  // The lines the shell received, without CR LF (the password included).
  std::vector<std::string> lines;
  // Chunks sent after a connect is accepted.
  std::vector<std::string> banner{"\r\n\r\nVxWorks login: "};
  bool acceptConnects = true;
  // Chunks sent in answer to a command line; a line without an entry gets none.
  std::map<std::string, std::vector<std::string>> replies;

 private:
  FakePlatform& p_;
  FakeSocket& sock_;
  long long delay_ = 0;
};

// The answer of the shell to one call.
inline std::string ShellValue(bool ok) {
  return ok ? "value = 0 = 0x0\r\n-> " : "value = -1 = 0xffffffff\r\n-> ";
}

}  // namespace orvex::test
