// One upgrader on the fake platform for a fuzz target: made once, with a
// temporary home folder holding a main image (in memory, /dev/shm, where
// there is one; removed at the end), started, and with its log switched off afterwards (a file
// per line would slow every run).
#pragma once

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "pic/pic_upgrade.h"
#include "support/fake_platform.h"
#include "upgrade/antenna_upgrade.h"
#include "zing/zing_channel.h"

namespace orvex::fuzz {

class World {
 public:
  World() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path shm = "/dev/shm";
    const fs::path base = fs::is_directory(shm, ec) ? shm : fs::temp_directory_path();
    // One folder per process, named by its id. A fuzzer that ends on a
    // crash or a time-out leaves its folder behind: the next one removes
    // the folders of processes that are gone.
    const std::string prefix = "orvex-fuzz-";
    for (const auto& entry : fs::directory_iterator(base, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size()) continue;
      const std::string id = name.substr(prefix.size());
      if (id.find_first_not_of("0123456789") != std::string::npos || id.size() > 9) continue;
      if (kill(static_cast<pid_t>(std::stol(id)), 0) != 0 && errno == ESRCH)
        fs::remove_all(entry.path(), ec);
    }
    home_ = (base / (prefix + std::to_string(getpid()))).string();
    fs::remove_all(home_, ec);
    if (!fs::create_directory(home_, ec)) abort();
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

// The bytes cut into pieces of 1 to maxPiece bytes, their sizes drawn from
// the seed.
inline std::vector<std::string> Pieces(const std::string& bytes, std::uint32_t seed,
                                       size_t maxPiece) {
  std::vector<std::string> out;
  for (size_t at = 0; at < bytes.size();) {
    seed = seed * 1664525u + 1013904223u;
    const size_t piece = std::min<size_t>(1 + (seed >> 16) % maxPiece, bytes.size() - at);
    out.push_back(bytes.substr(at, piece));
    at += piece;
  }
  return out;
}

// Starts one of the ZING requests, chosen by `which`: version, defaults,
// check disk, halt stack, antenna, release info, IB status, IB preparation,
// reset.
inline void StartRequest(Upgrader& up, unsigned which) {
  switch (which % 9) {
    case 0: up.zing.ZingReq_GetCurrentSoftwareVersion(); break;
    case 1: up.zing.ZingReq_RestoreFactoryDefaults(); break;
    case 2: up.zing.ZingReq_PrepareTerminalFileSystem(); break;
    case 3: up.zing.ZingReq_HaltStack(); break;
    case 4: up.zing.ZingReq_UpgradeAntennaFW(); break;
    case 5: up.zing.ZingReq_Fetch_All_Release_Info(); break;
    case 6: up.zing.ZingReq_FetchIBUpgradeStatus(); break;
    case 7: up.zing.ZingReq_PrepareTerm4IBUpgrade(); break;
    default: up.zing.ResetTerminal(); break;
  }
}

}  // namespace orvex::fuzz
