// Arbitrary bytes as the terminal's reply to a request, through the reply
// dispatcher of a running upgrader, then the timers they start.
//
// Input: six bytes of set-up, then the reply.
//   0  request to start (version, defaults, check disk, halt stack,
//      antenna, release info, IB status, IB preparation, reset)
//   1  state bits: ibUpgState (2 bits), PIC state 9 / 18, FTP timed out,
//      restart wait, IB progress already shown
//   2  ibImageBlocks (0..255)
//   3  upgPrepState (0..4)
//   4  odd: the reply comes in pieces of 1 to (byte / 2 + 1) bytes, their
//      sizes drawn from a generator seeded with the byte
//   5  seconds of virtual time to run afterwards
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_world.h"

using orvex::fuzz::TheWorld;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  auto& w = TheWorld();
  w.reset();
  orvex::Upgrader& up = *w.up;

  const uint8_t bits = data[1];
  up.st.ibUpgState = bits & 3;
  if (bits & 4) up.st.picUpgradeState = orvex::PIC_UPG_STATE_PREP_REBOOT;
  if (bits & 8) up.st.picUpgradeState = orvex::PIC_UPG_STATE_WAIT_RESET;
  up.st.bFtpTimedOut = (bits & 16) != 0;
  up.st.bWaitTermRestart = (bits & 32) != 0;
  up.win.setValue("prgBarIbUpgrade", (bits & 64) ? 50 : 0);
  up.st.ibImageBlocks = data[2];
  up.st.upgPrepState = data[3] % 5;

  orvex::fuzz::StartRequest(up, data[0]);
  auto& sck = w.p.socket("sckZING");
  sck.acceptConnect();

  const std::string reply(reinterpret_cast<const char*>(data + 6), size - 6);
  if ((data[4] & 1) && !reply.empty()) {
    // The dispatcher must put the reply back together from any pieces.
    for (const auto& piece : orvex::fuzz::Pieces(reply, data[4], data[4] / 2 + 1))
      sck.deliver(piece);
  } else {
    sck.deliver(reply);
  }
  w.p.vclock.advance(static_cast<long long>(data[5]) * 1000);
  w.forget();
  return 0;
}
