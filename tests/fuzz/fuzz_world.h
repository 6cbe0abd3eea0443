// One upgrader on the fake platform for a fuzz target: made once, with a
// temporary home folder holding a main image (in memory, /dev/shm, where
// there is one), started, and with its log switched off afterwards (a file
// per line would slow every run).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/upgrader.h"
#include "support/fake_platform.h"

namespace orvex::fuzz {

class World {
 public:
  World() {
    std::error_code ec;
    const std::filesystem::path shm = "/dev/shm";
    const auto base =
        std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
    std::string tmpl = (base / "orvex-fuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) abort();
    home_ = tmpl;
    std::ofstream(std::filesystem::path(home_) / "orvex_5_1_0_12.bin") << "image";
    Config cfg;
    cfg.homeFolder = home_;
    cfg.modemAddress = "127.0.0.1";
    up = std::make_unique<Upgrader>(p, cfg);
    up->app.Form_Load();
    up->log.logThreshold = 100;
  }
  ~World() {
    up.reset();
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
  }

  // Back to a quiet upgrader: shared state at its start values, no
  // exchange running, no timer of the ZING channel or its restart waits.
  void reset() {
    up->st = SharedState{};
    up->st.strModemIPAddress = "127.0.0.1";
    ZingChannel& z = up->zing;
    for (Timer* t : {&z.tmrConnect, &z.tmrResponse, &z.tmrConneTest, &z.tmrIbPollUpgStatus,
                     &z.tmrIbUpgStatusCheck, &z.tmrRefetchIbVersion, &z.tmrFiveSecDelayedReset,
                     &up->pic.tmr40SecDelay, &up->ant.tmrAntUpgDelay})
      t->setEnabled(false);
    z.sckZING->close();
    z.sckTest->close();
    z.pendingZingReq = 0;
    z.bAntRespAwaited = false;
    z.antRespWaitCount = 0;
  }

  // What the fakes recorded, so memory stays flat over millions of runs.
  void forget() {
    p.uiFake.messages.clear();
    for (auto& [name, s] : p.sockets) s->sent.clear();
  }

  const std::string& home() const { return home_; }

  test::FakePlatform p;
  std::unique_ptr<Upgrader> up;

 private:
  std::string home_;
};

inline World& TheWorld() {
  static World world;
  return world;
}

}  // namespace orvex::fuzz
