// ZING replies as the terminal sends them, built field by field, and a
// fixture that answers the upgrader's requests on the fake sckZING socket.
#pragma once

#include <cstdint>
#include <string>

#include "app/util.h"
#include "support/engine_fixture.h"

namespace orvex::test {

inline std::string U32(std::uint32_t v) {
  std::string out(4, '\0');
  for (int i = 3; i >= 0; --i, v >>= 8) out[static_cast<size_t>(i)] = static_cast<char>(v & 0xFF);
  return out;
}

// Code, an unused word, the version text and its zero byte.
inline std::string VersionReply(const std::string& text) {
  return U32(0x1004) + U32(0) + text + std::string(1, '\0');
}
inline std::string PlainReply(std::uint32_t code) {
  return U32(code) + U32(0);
}
inline std::string AntennaReply(std::uint32_t status, const std::string& text) {
  return U32(0x1090) + U32(0) + U32(status) + U32(static_cast<std::uint32_t>(text.size())) + text +
         std::string(1, '\0');
}
inline std::string ReleaseInfoReply(const std::string& text) {
  return U32(0x1092) + U32(0) + U32(static_cast<std::uint32_t>(text.size())) + U32(0) + text +
         std::string(1, '\0');
}
inline std::string IbStatusReply(std::uint32_t progress, std::uint32_t valid = 1) {
  return U32(0x1093) + U32(valid) + U32(progress);
}
inline std::string IbPrepareReply(std::uint32_t status) {
  return U32(0x1094) + U32(status);
}

inline const char* kReleaseText =
    "PIC: 2.03\r\nIB: 01.00.31.02\r\nATB: 11\r\nAHW: 03\r\nHPA: V2\r\nASN: A10042317\r\n"
    "CLASS: 11\r\n";
inline const char* kVersionText = "5.1.0.9 Rel, Oct 29 2009 fpga 12";

// The terminal takes the pending request's connection; returns the bytes the
// connect event sent.
inline std::string AcceptAndTakeRequest(FakeSocket& zing) {
  zing.sent.clear();
  zing.acceptConnect();
  return zing.sent.empty() ? std::string() : zing.sent.back();
}

// The terminal takes the connection and answers with the reply.
inline void AcceptAndAnswer(FakeSocket& zing, const std::string& reply) {
  AcceptAndTakeRequest(zing);
  zing.deliver(reply);
}

// An upgrader started in a home folder with one main image; its first
// version request is connecting.
class ZingTest : public EngineTest {
 protected:
  void SetUp() override {
    home.write("orvex_5_1_0_12.bin", "image");
    start();
  }
  FakeSocket& zing() { return p.socket("sckZING"); }
  FakeSocket& test() { return p.socket("sckTest"); }
  // The request bytes the connect event sends for the pending request.
  std::string connectAndTakeRequest() { return AcceptAndTakeRequest(zing()); }
  // Connects the pending request and delivers the reply.
  void answer(const std::string& reply) { AcceptAndAnswer(zing(), reply); }
  const std::string& status() const { return up->win.text("sbUpgrade"); }
  std::string lastMessage() const {
    return p.uiFake.messages.empty() ? std::string() : p.uiFake.messages.back().text;
  }
  int logCount(const std::string& text) const {
    int n = 0;
    for (const auto& line : logLines())
      if (EndsWith(line, text)) ++n;
    return n;
  }
};

}  // namespace orvex::test
