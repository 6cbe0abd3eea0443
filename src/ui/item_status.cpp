// The main window's item frames and transfer bar: whether each item's
// release differs from what the terminal runs, each item's result in the
// last upgrade, and the running file transfer.
#include <vector>

#include "app/upgrader.h"
#include "transfer/transfer_meter.h"
#include "ui/main_window.h"
#include "upgrade/sequencer.h"

namespace orvex {

namespace {

struct VersionPair {
  const char* terminal;
  const char* local;
};

struct ItemFrame {
  UpgradeItem item;
  std::vector<VersionPair> versions;
  const char* update;
  const char* result;
};

const std::vector<ItemFrame>& Frames() {
  static const std::vector<ItemFrame> frames = {
      {UpgradeItem::Software,
       {{"txtCurrentSoftwareVersion", "txtNewSoftwareVersion"}},
       "lblBinUpdate",
       "lblBinResult"},
      {UpgradeItem::Antenna,
       {{"txtAntATBver", "txtLocAtbVer"}, {"txtAntHPAver", "txtLocHpaVer"}},
       "lblAntUpdate",
       "lblAntResult"},
      {UpgradeItem::Ib, {{"txtTermIBVer", "txtLocIBVer"}}, "lblIbUpdate", "lblIbResult"},
      {UpgradeItem::Pic, {{"txtTermPICVersion", "txtLocPICVer"}}, "lblPicUpdate", "lblPicResult"},
  };
  return frames;
}

std::string OrNotRead(const std::string& version, const char* missing) {
  return version.empty() ? missing : version;
}

}  // namespace

bool MainWindow::IsShownVersion(const std::string& name) {
  for (const ItemFrame& f : Frames())
    for (const VersionPair& v : f.versions)
      if (name == v.terminal || name == v.local) return true;
  return false;
}

void MainWindow::UI_ShowItemUpdates() {
  for (const ItemFrame& f : Frames()) {
    const VersionMatch match = up.seq.UPG_CompareItem(f.item);
    const bool differs = match == VersionMatch::Differs;
    const bool unknown = match == VersionMatch::NotComparable;
    const char* text = differs ? "Update available" : unknown ? "Unknown" : "Up to date";
    const long color = differs ? kColorDarkOrange : unknown ? kColorWindowText : kColorDarkGreen;
    if (win.text(f.update) != text) win.setText(f.update, text);
    if (win.at(f.update).foreColor != color) win.setForeColor(f.update, color);
  }
}

void MainWindow::UI_ShowItemResults() {
  UI_ClearItemResults();
  for (const UpgradeItemResult& r : up.seq.itemResults()) {
    for (const ItemFrame& f : Frames()) {
      if (f.item != r.item) continue;
      std::string text =
          "Before " + OrNotRead(r.before, "not read") + ", after " + OrNotRead(r.after, "not read");
      if (r.outcome != ItemOutcome::Done) text += ", new " + OrNotRead(r.expected, "not known");
      text += ": " + ItemOutcomeName(r.outcome);
      win.setText(f.result, text);
      win.setForeColor(f.result, r.outcome == ItemOutcome::Done     ? kColorDarkGreen
                                 : r.outcome == ItemOutcome::Failed ? kColorDarkRed
                                                                    : kColorDarkOrange);
      win.setVisible(f.result, true);
    }
  }
}

void MainWindow::UI_ClearItemResults() {
  for (const ItemFrame& f : Frames())
    if (win.visible(f.result)) win.setVisible(f.result, false);
}

void MainWindow::UI_ShowTransfer(const TransferProgress& p) {
  const bool shown = !p.ended;
  if (shown) {
    win.setValue("prgBarTransfer", p.percent());
    win.setText("lblTransfer", TransferProgressText(p));
  }
  for (const char* name : {"lblTransfer", "prgBarTransfer"})
    if (win.visible(name) != shown) win.setVisible(name, shown);
}

}  // namespace orvex
