// An upgrader that has read the terminal's version and release information,
// with a PIC file in its home folder and a scripted shell on telnetShell
// that answers the whole PIC script of a terminal without a battery.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pic/pic_upgrade.h"
#include "support/telnet_peer.h"
#include "support/zing_peer.h"

namespace orvex::test {

class PicTest : public ZingTest {
 protected:
  void SetUp() override {
    home.writeSize("PIC_2_05.s19", 200);
    ZingTest::SetUp();
    answer(VersionReply(kVersionText));
    answer(ReleaseInfoReply(kReleaseText));
    shell = std::make_unique<ShellPeer>(p);
    shell->install();
    const std::string ok = ShellValue(true);
    shell->replies = {
        {"termuser", {"termuser\r\nPassword: "}},
        {"skyharbor", {"\r\n-> "}},
        {"cd \"/tffs0/\"", {ok}},
        {"pic_data_show", {"PIC fw 2.03\r\nBATT_PRESENT=0\r\n" + ok}},
        {"copy \"image.txt\"", {"/bin/orvex_5_1_0_9.bin\r\n" + ok}},
        {"copy \"uimage.txt\"",
         {"copy: can't open input file \"uimage.txt\"\r\n" + ShellValue(false)}},
        {"mv \"image.txt\",\"uimage.txt\"", {ok}},
        {"copy \"pic.s19\",\"image.txt\"", {ok}},
        {"cd \"/tffs0/\"; copy \"uimage.txt\"",
         {"value = 0 = 0x0\r\norvex_5_1_0_9.bin\r\nvalue = 0 = 0x0\r\n-> "}},
        {"mv \"uimage.txt\", \"image.txt\"", {ok}},
        {"rm \"image.txt\"", {ok}},
        {"pic_driver_reflash 1", {"Starting PIC reflash ...\r\n"}},
        {"pwd;sleep(4);reboot", {"/tffs0/\r\nvalue = 0 = 0x0\r\n"}},
    };
  }

  FakeSocket& tel() { return p.socket("telnetShell"); }
  long picState() const { return up->st.picUpgradeState; }

  // Lets the shell's answers arrive (milliseconds), far from any timer.
  void settle() { p.vclock.advance(50); }

  // Runs virtual time in small steps until pred holds; false when it did
  // not within maxMs.
  bool runUntil(const std::function<bool()>& pred, long long maxMs) {
    for (long long t = 0; t <= maxMs; t += 10) {
      if (pred()) return true;
      p.vclock.advance(10);
    }
    return pred();
  }

  // What the FTP engine does once the PIC file is on the terminal and its
  // connection is closed: the preparation pass starts.
  void uploadDone() {
    up->st.picUpgradeState = PIC_UPG_STATE_PREP_INIT_CONNECT;
    up->pic.UPG_Prepare4PICUpgrade();
    settle();
  }

  // The delayed reset after the preparation pass, the restart wait, and the
  // version reply of a terminal that came up in BOOTROM mode (or, with
  // another version text, did not).
  void restartIntoBootrom(const std::string& version = "BOOTROM 1.0.2") {
    const int connects = zing().connects;
    ASSERT_TRUE(runUntil([&] { return zing().connects > connects; }, 6000));
    connectAndTakeRequest();  // the reset request; no reply comes
    ASSERT_TRUE(runUntil([&] { return zing().connects > connects + 1; }, 41000));
    answer(VersionReply(version));
    settle();
  }

  // The version request that follows an accepted reflash, answered.
  void versionAfterReflash(const std::string& version = kVersionText) {
    const int connects = zing().connects;
    ASSERT_TRUE(runUntil([&] { return zing().connects > connects; }, 21000));
    answer(VersionReply(version));
  }

  // Lines the shell received since `from`.
  std::vector<std::string> linesFrom(size_t from) const {
    return {shell->lines.begin() + static_cast<long>(from), shell->lines.end()};
  }

  // Index of the first log line ending in text, or -1.
  long logIndex(const std::string& text) const {
    const auto lines = logLines();
    for (size_t i = 0; i < lines.size(); ++i)
      if (EndsWith(lines[i], text)) return static_cast<long>(i);
    return -1;
  }

  std::unique_ptr<ShellPeer> shell;
};

}  // namespace orvex::test
