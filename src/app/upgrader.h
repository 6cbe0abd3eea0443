// The upgrader: one object made of one part per subsystem, sharing the
// upgrade state and the window model. Every cross-subsystem call goes
// through it (up.zing.ZingReq_GetCurrentSoftwareVersion()).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/shared_state.h"
#include "app/upgrader_log.h"
#include "platform/ports.h"
#include "ui/window_model.h"

namespace orvex {

// The parts: a source includes the headers of those it calls.
class MainWindow;
class Dialogs;
class AppFrame;
class ZingChannel;
class FtpEngine;
class TransferMeter;
class SoftwareUpgrade;
class PicUpgrade;
class LocalFiles;
class Sequencer;
class ReleaseSeries;
class AntennaUpgrade;
class IbUpgrade;

struct Config {
  // The current folder at start (the home folder).
  std::string homeFolder;
  // The whole command line after the program name.
  std::string commandLine;
  // Multiplies every timer interval (rehearsal against a simulated terminal).
  double timeScale = 1.0;
  // Replaces the design-time text of the address box.
  std::optional<std::string> modemAddress;
  // Each start writes a log file of its own (see UpgraderLog::newFileEachStart).
  bool logNewFileEachStart = false;
  // A folder for the PC-side working files (see SharedState::strScratchDir);
  // empty: the home and Backup folders.
  std::string scratchFolder;
  // The front-end that runs the engine when it is not the window; its start
  // line in the log names it and the terminal's address.
  std::string frontEnd;
  // The front-end's hold on a terminal, asked before the address changes:
  // empty once this upgrader holds the terminal at `address`, else why not
  // (another upgrader works with it). Unset: no hold is needed.
  std::function<std::string(const std::string& address)> claimTerminal;
};

// Reads ORVEX_TIME_SCALE and ORVEX_MODEM_ADDRESS; unset (or unusable)
// settings leave the defaults.
void ApplyEnvironment(Config& cfg);

class Upgrader {
 public:
  Upgrader(Platform& platform, Config cfg);
  ~Upgrader();
  Upgrader(const Upgrader&) = delete;
  Upgrader& operator=(const Upgrader&) = delete;

  // A click on a control or menu item of the main window or a dialog, by the
  // control's name. Returns false for a name that has no click handler.
  bool click(const std::string& control);
  // A key press anywhere in the main window.
  void keyPress(int keyAscii);

  Platform& platform;
  Config cfg;
  SharedState st;
  WindowModel win;
  UpgraderLog log;

 private:
  // The parts themselves, built after the state above; only upgrader.cpp
  // sees them all.
  struct Parts;
  std::unique_ptr<Parts> parts_;

 public:
  MainWindow& ui;
  Dialogs& dialogs;
  AppFrame& app;
  ZingChannel& zing;
  FtpEngine& ftp;
  // The progress of file transfers, for the front-ends.
  TransferMeter& meter;
  SoftwareUpgrade& sw;
  PicUpgrade& pic;
  LocalFiles& files;
  Sequencer& seq;
  ReleaseSeries& series;
  AntennaUpgrade& ant;
  IbUpgrade& ib;
};

}  // namespace orvex
