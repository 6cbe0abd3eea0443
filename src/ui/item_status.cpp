// The main window's item frames and transfer bar: whether each item's
// release differs from what the terminal runs, each item's result in the
// last upgrade, and the running file transfer.
#include "app/upgrader.h"
#include "transfer/transfer_meter.h"
#include "ui/main_window.h"
#include "upgrade/sequencer.h"

namespace orvex {

namespace {

std::string OrNotRead(const std::string& version, const char* missing) {
  return version.empty() ? missing : version;
}

}  // namespace

bool MainWindow::IsShownVersion(const std::string& name) {
  for (UpgradeItem item : kUpgradeItems)
    for (const VersionBoxes& v : FactsOf(item).versions)
      if (name == v.terminal || name == v.local) return true;
  return false;
}

void MainWindow::ShowItemUpdates() {
  for (UpgradeItem item : kUpgradeItems) {
    const ItemFacts& f = FactsOf(item);
    const VersionMatch match = up.seq.CompareItem(item);
    const bool differs = match == VersionMatch::Differs;
    const bool unknown = match == VersionMatch::NotComparable;
    const char* text = differs ? "Update available" : unknown ? "Unknown" : "Up to date";
    const long color = differs ? kColorDarkOrange : unknown ? kColorWindowText : kColorDarkGreen;
    if (win.text(f.updateLabel) != text) win.setText(f.updateLabel, text);
    if (win.at(f.updateLabel).foreColor != color) win.setForeColor(f.updateLabel, color);
  }
}

void MainWindow::ShowItemResults() {
  ClearItemResults();
  for (const UpgradeItemResult& r : up.seq.itemResults()) {
    const char* label = FactsOf(r.item).resultLabel;
    std::string text =
        "Before " + OrNotRead(r.before, "not read") + ", after " + OrNotRead(r.after, "not read");
    if (r.outcome != ItemOutcome::Done) text += ", new " + OrNotRead(r.expected, "not known");
    text += ": " + ItemOutcomeName(r.outcome);
    win.setText(label, text);
    win.setForeColor(label, r.outcome == ItemOutcome::Done     ? kColorDarkGreen
                            : r.outcome == ItemOutcome::Failed ? kColorDarkRed
                                                               : kColorDarkOrange);
    win.setVisible(label, true);
  }
}

void MainWindow::ClearItemResults() {
  for (UpgradeItem item : kUpgradeItems)
    if (const char* label = FactsOf(item).resultLabel; win.visible(label))
      win.setVisible(label, false);
}

void MainWindow::ShowTransfer(const TransferProgress& p) {
  const bool shown = !p.ended;
  if (shown) {
    win.setValue("prgBarTransfer", p.percent());
    win.setText("lblTransfer", TransferProgressText(p));
  }
  for (const char* name : {"lblTransfer", "prgBarTransfer"})
    if (win.visible(name) != shown) win.setVisible(name, shown);
}

}  // namespace orvex
