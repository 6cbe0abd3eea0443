#include "transfer/transfer_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/upgrader.h"
#include "transfer/ftp_engine.h"
#include "ui/main_window.h"

namespace orvex {

namespace {

struct StepOfCommand {
  TransferStep step;
  std::optional<UpgradeItem> item;
  bool upload;
};

// The upload of an item's new file.
StepOfCommand Upload(UpgradeItem item) {
  return {FactsOf(item).upload, item, true};
}

std::optional<StepOfCommand> StepOf(long ftpState) {
  switch (ftpState) {
    case GET_BIN_CMD: return StepOfCommand{TransferStep::Backup, UpgradeItem::Software, false};
    case PUT_NEW_BIN_CMD: return Upload(UpgradeItem::Software);
    case PUT_RESTORE_BIN_CMD:
      return StepOfCommand{TransferStep::Restore, UpgradeItem::Software, true};
    case UPGRADE_ANTENNA_ATB_CMD:
    case UPGRADE_ANTENNA_HPA_CMD: return Upload(UpgradeItem::Antenna);
    case UPGRADE_IB_SA_CMD: return Upload(UpgradeItem::Ib);
    case UPGRADE_PIC_SA_CMD: return Upload(UpgradeItem::Pic);
    case GET_LOG_CMD: return StepOfCommand{TransferStep::Log, std::nullopt, false};
    default: return std::nullopt;
  }
}

// The name without its folder, local ("\\" or "/") or remote.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Megabytes(long long bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(bytes) / 1e6);
  return buf;
}

std::string TimeLeft(long long seconds) {
  if (seconds < 60) return std::to_string(seconds) + " s left";
  return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s left";
}

}  // namespace

std::string TransferStepName(TransferStep step) {
  switch (step) {
    case TransferStep::Backup: return "backup";
    case TransferStep::Restore: return "restore";
    case TransferStep::Log: return "log";
    default: break;
  }
  for (UpgradeItem item : kUpgradeItems)
    if (FactsOf(item).upload == step) return FactsOf(item).uploadName;
  return "";
}

int TransferProgress::percent() const {
  if (bytesTotal <= 0) return 0;
  const long long done = std::clamp(bytesDone, 0LL, bytesTotal);
  return static_cast<int>(done * 100 / bytesTotal);
}

double TransferProgress::bytesPerSecond() const {
  if (elapsedMs <= 0 || bytesDone <= 0) return 0;
  return static_cast<double>(bytesDone) * 1000.0 / static_cast<double>(elapsedMs);
}

long long TransferProgress::secondsLeft() const {
  const double rate = bytesPerSecond();
  if (rate <= 0 || bytesTotal <= 0) return -1;
  const long long left = std::max(0LL, bytesTotal - bytesDone);
  return static_cast<long long>(std::ceil(static_cast<double>(left) / rate));
}

std::string TransferProgressText(const TransferProgress& p) {
  std::string text = (p.upload ? "Uploading " : "Downloading ") + p.fileName + ": " +
                     Megabytes(p.bytesDone) +
                     (p.bytesTotal > 0 ? " of " + Megabytes(p.bytesTotal) : std::string()) + " MB";
  const double rate = p.bytesPerSecond();
  if (rate > 0) {
    char buf[32];
    std::snprintf(buf, sizeof buf, ", %.1f MB/s", rate / 1e6);
    text += buf;
  }
  if (const long long left = p.secondsLeft(); left >= 0) text += ", " + TimeLeft(left);
  return text;
}

int TransferMeter::subscribe(Observer observer) {
  const int handle = nextHandle_++;
  observers_.emplace(handle, std::move(observer));
  return handle;
}

void TransferMeter::unsubscribe(int handle) {
  observers_.erase(handle);
}

void TransferMeter::TransferBytes(const FtpTransferBytes& bytes) {
  const std::optional<StepOfCommand> step = StepOf(st.ftpState);
  if (!step) return;
  const long long done = std::max(0LL, bytes.done);
  const long long total = std::max(0LL, bytes.total);
  const long long elapsed = std::max(0LL, bytes.elapsedMs);
  // A transfer whose end never came (the client was cancelled elsewhere)
  // gives way to the next one.
  if (current_ && (current_->step != step->step || current_->fileName != BaseName(bytes.source)))
    current_.reset();
  if (!current_) {
    TransferProgress p;
    p.item = step->item;
    p.step = step->step;
    p.upload = step->upload;
    p.fileName = BaseName(bytes.source);
    current_ = p;
    publishedFull_ = false;
  } else if (elapsed - publishedAtMs_ < kReportIntervalMs && !(total > 0 && done >= total)) {
    // Between reports only the counts move; the next report shows them.
    current_->bytesDone = done;
    current_->bytesTotal = total;
    current_->elapsedMs = elapsed;
    return;
  }
  if (publishedFull_ && total > 0 && done >= total) return;  // said once is enough
  current_->bytesDone = done;
  current_->bytesTotal = total;
  current_->elapsedMs = elapsed;
  Publish();
}

void TransferMeter::TransferEnded(bool completed) {
  if (!current_) return;
  TransferProgress& p = *current_;
  p.ended = true;
  p.completed = completed;
  if (completed) {
    // The whole file has moved, whatever the last count said.
    if (p.bytesTotal > 0)
      p.bytesDone = p.bytesTotal;
    else
      p.bytesTotal = p.bytesDone;
  }
  Publish();
  current_.reset();
}

void TransferMeter::Publish() {
  publishedAtMs_ = current_->elapsedMs;
  if (current_->bytesTotal > 0 && current_->bytesDone >= current_->bytesTotal)
    publishedFull_ = true;
  const TransferProgress p = *current_;
  up.ui.ShowTransfer(p);
  for (const auto& [handle, observer] : observers_) observer(p);
}

}  // namespace orvex
