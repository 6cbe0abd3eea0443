// Arbitrary telnet shell output, in arbitrary pieces, into the PIC upgrade's
// state machine, starting in any of its states.
//
// Input: three bytes of set-up, then the shell's output.
//   0  the PIC state to start in (0..18)
//   1  the platform of the terminal (0..11, bits 0..3) and of the release
//      image (bits 4..7)
//   2  seed of the piece sizes (1 to 64 bytes) and, in its low four bits,
//      the virtual time that passes after each piece, in half seconds
//
// Checked: the state stays one of the machine's states; only the script's
// own command lines are sent; and the terminal's files are handled in the
// script's order: image.txt is replaced by the PIC file only after it was
// looked for (and saved, if it was there and no saved copy was), the saved
// copy is put back or removed only after it was looked for, and the reflash
// command goes out only after the battery was asked about.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_world.h"
#include "pic/pic_upgrade.h"

using orvex::fuzz::TheWorld;

namespace {

const char* const kScript[] = {
    "termuser\r\n",
    "skyharbor\r\n",
    "cd \"/tffs0/\"\r\n",
    "cd \"/tffs0/\"; copy \"uimage.txt\"\r\n",
    "pic_data_show\r\n",
    "copy \"image.txt\"\r\n",
    "copy \"uimage.txt\"\r\n",
    "mv \"image.txt\",\"uimage.txt\"\r\n",
    "copy \"pic.s19\",\"image.txt\"\r\n",
    "rm \"image.txt\"\r\n",
    "mv \"uimage.txt\", \"image.txt\"\r\n",
    "pic_driver_reflash 1\r\n",
    "pwd;sleep(4);reboot\r\n",
    "\r\n",
};

bool InScript(const std::string& line) {
  for (const char* s : kScript)
    if (line == s) return true;
  return false;
}

// Index of the first line sent that is `line`, or sent.size().
size_t FirstSent(const std::vector<std::string>& sent, const std::string& line) {
  return static_cast<size_t>(std::find(sent.begin(), sent.end(), line) - sent.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  auto& w = TheWorld();
  w.reset();
  orvex::Upgrader& up = *w.up;
  orvex::PicUpgrade& pic = up.pic;
  for (orvex::Timer* t : {&pic.tmrTelnetConnect, &pic.tmrPicUpgrCnt, &pic.tmrPicUpgResetDelay})
    t->setEnabled(false);
  pic.picUpgTickCount = 0;
  pic.bPicBattRebootWait = false;
  pic.picDataWaitCount = 0;
  pic.loggedInText.clear();
  pic.telnetShell->close();

  const long start = data[0] % 19;
  up.st.picUpgradeState = start;
  up.st.termPlatformId = (data[1] & 0x0F) % 12;
  up.st.pkgPlatformId = (data[1] >> 4) % 12;
  const long long pauseMs = static_cast<long long>(data[2] & 0x0F) * 500;

  // A session is open; once the machine closes it (or opens another) no
  // more output of this one arrives.
  auto& sck = w.p.socket("telnetShell");
  if (sck.connect(up.st.strModemIPAddress, 23)) __builtin_trap();
  sck.acceptConnect();
  sck.sent.clear();
  const std::string output(reinterpret_cast<const char*>(data + 3), size - 3);
  for (const auto& piece : orvex::fuzz::Pieces(output, data[2], 64)) {
    if (sck.state() != orvex::sckConnected) break;
    sck.deliver(piece);
    w.p.vclock.advance(pauseMs);
    if (up.st.picUpgradeState < 0 || up.st.picUpgradeState > 18) __builtin_trap();
  }

  const auto& sent = sck.sent;
  for (const auto& line : sent)
    if (!InScript(line)) __builtin_trap();
  const size_t never = sent.size();
  const size_t overwrite = FirstSent(sent, "copy \"pic.s19\",\"image.txt\"\r\n");
  const size_t saved = FirstSent(sent, "mv \"image.txt\",\"uimage.txt\"\r\n");
  const size_t lookedFor = FirstSent(sent, "copy \"image.txt\"\r\n");
  if (start >= orvex::PIC_UPG_STATE_PREP_INIT_CONNECT &&
      start <= orvex::PIC_UPG_STATE_PREP_CHECK_BATT) {
    if (overwrite != never && lookedFor > overwrite) __builtin_trap();
    if (saved != never && lookedFor > saved) __builtin_trap();
    // A saved descriptor is never overwritten: it is looked for first.
    const size_t savedLookedFor = FirstSent(sent, "copy \"uimage.txt\"\r\n");
    if (saved != never && savedLookedFor > saved) __builtin_trap();
  }
  const size_t recoveryAsked = FirstSent(sent, "cd \"/tffs0/\"; copy \"uimage.txt\"\r\n");
  const size_t removed = FirstSent(sent, "rm \"image.txt\"\r\n");
  const size_t putBack = FirstSent(sent, "mv \"uimage.txt\", \"image.txt\"\r\n");
  const size_t reflash = FirstSent(sent, "pic_driver_reflash 1\r\n");
  const size_t batteryAsked = FirstSent(sent, "pic_data_show\r\n");
  if (start >= orvex::PIC_UPG_STATE_INIT_CONNECT && start <= orvex::PIC_UPG_STATE_PASSWD_SENT) {
    if (removed != never && recoveryAsked > removed) __builtin_trap();
    if (putBack != never && recoveryAsked > putBack) __builtin_trap();
  }
  if (start >= orvex::PIC_UPG_STATE_INIT_CONNECT && start <= orvex::PIC_UPG_STATE_RECOVER_IMG) {
    if (reflash != never && batteryAsked > reflash) __builtin_trap();
  }
  // The preparation pass never sends the reflash pass's lines, nor the other way round.
  if (start >= orvex::PIC_UPG_STATE_PREP_INIT_CONNECT &&
      start <= orvex::PIC_UPG_STATE_PREP_CREATE_XIMG && (removed != never || putBack != never))
    __builtin_trap();
  w.forget();
  sck.sent.clear();
  return 0;
}
