// An upgrader that has read the terminal's version (5.1.0.9) and release
// information, with a release image 5_1_0_12 in its home folder and a
// scripted FTP server.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/util.h"
#include "support/ftp_script.h"
#include "support/zing_peer.h"

namespace orvex::test {

class TransferTest : public ZingTest {
 protected:
  void SetUp() override {
    ZingTest::SetUp();
    answer(VersionReply(kVersionText));
    answer(ReleaseInfoReply(kReleaseText));
    p.uiFake.messages.clear();
    ftp = std::make_unique<FtpScript>(p);
    ftp->localFolder = home.path() + "/";
  }
  void TearDown() override { ftp.reset(); }

  std::string backupDir() const { return home.path() + "/Backup"; }
  const std::vector<std::string>& commands() { return p.ftp().commands; }
  // True when the texts appear as log lines in this order.
  bool logInOrder(const std::vector<std::string>& texts) const {
    const auto lines = logLines();
    size_t at = 0;
    for (const auto& t : texts) {
      while (at < lines.size() && !EndsWith(lines[at], t)) ++at;
      if (at == lines.size()) return false;
      ++at;
    }
    return true;
  }

  std::unique_ptr<FtpScript> ftp;
};

}  // namespace orvex::test
