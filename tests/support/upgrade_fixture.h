// An upgrader in a home folder of release files, with a terminal on the fake
// sckZING socket that the test answers by hand or automatically.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/util.h"
#include "support/zing_peer.h"

namespace orvex::test {

class UpgradeTest : public EngineTest {
 protected:
  // Places the main image and the given files (name, size in bytes) in the
  // home folder and starts the upgrader; its first version request is
  // connecting.
  void startWith(const std::vector<std::pair<std::string, size_t>>& files, double timeScale = 1.0) {
    home.writeSize("orvex_5_1_0_12.bin", 10);
    for (const auto& [name, size] : files) home.writeSize(name, size);
    Config cfg;
    cfg.modemAddress = "127.0.0.9";
    cfg.timeScale = timeScale;
    start(cfg);
  }
  FakeSocket& zing() { return p.socket("sckZING"); }
  // Connects the pending request and returns the bytes it sent.
  std::string connectAndTakeRequest() { return AcceptAndTakeRequest(zing()); }
  void answer(const std::string& reply) { AcceptAndAnswer(zing(), reply); }
  // The terminal answers the version request and the release information.
  void bringUp(const std::string& release = kReleaseText) {
    answer(VersionReply(kVersionText));
    answer(ReleaseInfoReply(release));
    ASSERT_TRUE(up->st.bOkToFTP);
    ASSERT_FALSE(p.uiFake.busy);
  }
  // From now on the terminal answers each request by its code, a little
  // later in virtual time (requests without a reply here stay unanswered).
  void autoAnswer(std::map<char, std::string> replies) {
    zing().onConnectRequested = [this](FakeSocket& s) {
      p.vclock.schedule(10, [&s] { s.acceptConnect(); });
    };
    zing().onSend = [this, replies](FakeSocket& s, const std::string& bytes) {
      auto it = replies.find(bytes.size() >= 4 ? bytes[3] : '\0');
      if (it == replies.end()) return;
      p.vclock.schedule(10, [&s, reply = it->second] { s.deliver(reply); });
    };
  }
  // Ticks the boxes, clicks Upgrade with the given answer to the question.
  void clickUpgrade(std::vector<const char*> boxes, int answerToQuestion = vbYes) {
    for (const char* box : boxes) up->win.setValue(box, 1);
    p.uiFake.answers.push_back(answerToQuestion);
    up->click("cmdUpgrade");
  }
  const std::string& status() const { return up->win.text("sbUpgrade"); }
  const std::vector<ShownMessage>& messages() const { return p.uiFake.messages; }
  std::string lastMessage() const { return messages().empty() ? "" : messages().back().text; }
  bool highlighted(const char* frame) const { return up->win.backColor(frame) == kColorHighlight; }
  int logCount(const std::string& text) const {
    int n = 0;
    for (const auto& line : logLines())
      if (EndsWith(line, text)) ++n;
    return n;
  }
};

}  // namespace orvex::test
