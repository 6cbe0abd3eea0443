// The progress of the running file transfer, for the front-ends: the FTP
// client's byte counts, named by the upgrade item and the step the transfer
// belongs to, and throttled to a few reports a second.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/part.h"
#include "upgrade/upgrade_item.h"

namespace orvex {

// "backup", "image", "restore", "antenna", "IB", "PIC", "log".
std::string TransferStepName(TransferStep step);

// One report of a transfer.
struct TransferProgress {
  // The upgrade item the transfer belongs to; none for the log download.
  std::optional<UpgradeItem> item;
  TransferStep step = TransferStep::Image;
  bool upload = true;
  std::string fileName;  // the file being sent, without its folder
  long long bytesDone = 0;
  long long bytesTotal = 0;  // 0 while the size is not known
  long long elapsedMs = 0;   // since the transfer's command started
  // The last report of this transfer; completed: it succeeded (and then
  // bytesDone == bytesTotal).
  bool ended = false;
  bool completed = false;

  // 0..100; 0 while the size is not known.
  int percent() const;
  // The average rate since the start; 0 while not known.
  double bytesPerSecond() const;
  // At that rate; -1 while not known.
  long long secondsLeft() const;
};

// "Uploading orvex_5_1_0_12.bin: 12.3 of 31.0 MB, 4.1 MB/s, 5 s left"
// (MB of 1,000,000 bytes); parts not known yet are left out.
std::string TransferProgressText(const TransferProgress& p);

class TransferMeter : public Part {
 public:
  using Observer = std::function<void(const TransferProgress&)>;

  // At most one report per this many milliseconds of a transfer, except
  // its first, its full count and its end.
  static constexpr long long kReportIntervalMs = 250;

  explicit TransferMeter(Upgrader& up) : Part(up) {}

  // Observers are called on the engine's thread, in the order they
  // subscribed, and must not subscribe or unsubscribe while called.
  int subscribe(Observer observer);
  void unsubscribe(int handle);

  // The running transfer as last reported; none between transfers.
  const std::optional<TransferProgress>& current() const { return current_; }

  // From the FTP engine: a byte count of the running command (ignored
  // unless the command is one of the transfers above), and the end of the
  // command (completed, failed or cancelled).
  void TransferBytes(const FtpTransferBytes& bytes);
  void TransferEnded(bool completed);

 private:
  void Publish();

  std::optional<TransferProgress> current_;
  long long publishedAtMs_ = 0;
  bool publishedFull_ = false;
  std::map<int, Observer> observers_;
  int nextHandle_ = 1;
};

}  // namespace orvex
