// Arbitrary bytes on the ZING connection, handed over in arbitrary pieces:
// the framing of replies and their reassembly by the dispatcher.
//
// Input: three bytes of set-up, then what the terminal sends.
//   0  request to start (as fuzz_zing_reply: version, defaults, check disk,
//      halt stack, antenna, release info, IB status, IB preparation, reset)
//   1  seed of the first way of cutting the bytes into pieces
//   2  seed of the second way
//
// Checked: a frame found in some bytes is found the same in any longer
// bytes that begin with them, and never runs past them or past the limit;
// and the same bytes, whole or cut in two different ways, leave the
// upgrader in the same state, with the same requests sent. (A reply of a
// code not known here has no known end: it takes what its delivery brings,
// so only bytes that begin with a known code are compared.) Pieces stop
// once the upgrader has closed the connection (or opened the next one), as
// a real socket delivers nothing after that.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_world.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

using orvex::fuzz::TheWorld;

namespace {

const char* const kFields[] = {
    "txtCurrentSoftwareVersion",
    "txtTermPICVersion",
    "txtTermIBVer",
    "txtAntATBver",
    "txtAntAHWver",
    "txtAntHPAver",
    "txtAntASNver",
    "txtAntCLSver",
    "lblIbUpgStatus",
    "sbUpgrade",
};

bool KnownCode(long code) {
  for (long known : {0x1004, 0x1013, 0x1032, 0x1033, 0x1090, 0x1092, 0x1093, 0x1094})
    if (code == known) return true;
  return false;
}

std::vector<std::string> Pieces(const std::string& bytes, std::uint32_t seed) {
  return orvex::fuzz::Pieces(bytes, seed, seed % 64 + 1);
}

// What the exchange leaves behind, as text.
std::string Run(orvex::fuzz::World& w, uint8_t request, const std::vector<std::string>& pieces) {
  w.reset();
  orvex::Upgrader& up = *w.up;
  for (const char* f : kFields) up.win.setText(f, "");
  up.st.ibImageBlocks = 100;
  up.st.upgPrepState = 2;
  orvex::fuzz::StartRequest(up, request);
  auto& sck = w.p.socket("sckZING");
  sck.acceptConnect();
  const int connects = sck.connects;
  for (const auto& piece : pieces) {
    if (sck.state() != orvex::sckConnected || sck.connects != connects) break;
    sck.deliver(piece);
  }
  std::string state;
  for (const char* f : kFields) state += up.win.text(f) + '\n';
  for (long v : {up.st.upgPrepState, up.st.ibUpgState, up.st.currUpgradeState,
                 up.zing.pendingZingReq, up.st.termPlatformId, up.st.antClassId})
    state += std::to_string(v) + ' ';
  state += up.st.strCurrSwVersion + '\n';
  state += std::to_string(up.zing.tmrResponse.enabled()) + std::to_string(sck.state()) +
           std::to_string(sck.connects - connects) + '\n';
  for (const auto& s : sck.sent) state += s + '|';
  state += std::to_string(w.p.uiFake.messages.size());
  for (const auto& m : w.p.uiFake.messages) state += m.text;
  w.forget();
  return state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data + 3), size - 3);

  // The framing depends on the bytes up to the end of the reply only.
  const orvex::ZingReplyFrame all = orvex::ZingFrameReply(bytes);
  if (bytes.size() < 4 || !KnownCode(all.code)) return 0;
  if (all.status == orvex::ZingReplyFrame::kComplete &&
      (all.length > bytes.size() || all.length > orvex::kZingMaxReply || all.length < 4))
    __builtin_trap();
  size_t at = 0;
  for (const auto& piece : Pieces(bytes, data[1])) {
    at += piece.size();
    const orvex::ZingReplyFrame f = orvex::ZingFrameReply(bytes.substr(0, at));
    if (f.status == orvex::ZingReplyFrame::kComplete &&
        (all.status != f.status || all.length != f.length || all.code != f.code))
      __builtin_trap();
    if (f.status == orvex::ZingReplyFrame::kTooLong && all.status != f.status) __builtin_trap();
  }

  auto& w = TheWorld();
  const std::string whole = Run(w, data[0], {bytes});
  for (const uint8_t seed : {data[1], data[2]}) {
    const std::string cut = Run(w, data[0], Pieces(bytes, seed));
    if (cut != whole) {
      std::fprintf(stderr, "whole:\n%s\n\nin pieces:\n%s\n", whole.c_str(), cut.c_str());
      __builtin_trap();
    }
  }
  return 0;
}
