// The upgrade items, what the program knows of each (names, controls,
// words, transfer step), and how each ended in the last upgrade.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvex {

// The upgrade items, in the order a chain runs them.
enum class UpgradeItem { Software, Antenna, Ib, Pic };

// The FTP transfers that report their progress.
enum class TransferStep {
  Backup,   // GET of the running image into the Backup folder
  Image,    // PUT of the new image
  Restore,  // PUT of a backed-up image
  Antenna,  // PUT of an ATB or HPA file
  Ib,       // PUT of the IB firmware
  Pic,      // PUT of the PIC firmware
  Log,      // GET of the terminal's log
};

// One version of an item as the window shows it: the terminal's box and
// the new version's box, and the part's name before it ("ATB ") for an
// item of several parts.
struct VersionBoxes {
  const char* part;
  const char* terminal;
  const char* local;
};

// What the program knows of one item, for every place that names it; one
// row per item, in the order of UpgradeItem.
struct ItemFacts {
  UpgradeItem item;
  const char* name;         // in the log and the results: "Antenna firmware"
  const char* title;        // in its failure boxes and the confirmation: "Antenna Firmware"
  const char* word;         // on the command line and in the history: "antenna"
  const char* checkBox;     // "chkAntUpg"
  const char* menuCommand;  // its standalone File menu command; none for the software
  const char* frame;        // "frameAntenna"
  std::vector<VersionBoxes> versions;
  const char* updateLabel;  // "Update available" / "Up to date" / "Unknown"
  const char* resultLabel;  // the item's result in the last upgrade
  TransferStep upload;      // the transfer of its new file
  const char* uploadName;   // that transfer's name: "antenna"
};

const ItemFacts& FactsOf(UpgradeItem item);
// The item a command-line or history word names.
std::optional<UpgradeItem> ItemOfWord(const std::string& word);

// How an item ended: done only when the terminal showed the new version
// after its restart; not verified when the terminal's report and the new
// version could not be compared.
enum class ItemOutcome { Running, Done, Failed, NotVerified };

// One item of the last upgrade, as the window shows the versions.
struct UpgradeItemResult {
  UpgradeItem item = UpgradeItem::Software;
  std::string before;    // the terminal's version when the item started
  std::string expected;  // the new version (the local file's)
  std::string after;     // the terminal's version after its restart; empty: not read
  ItemOutcome outcome = ItemOutcome::Running;
  // The item is installed and the terminal restarting: its next report
  // (version for software, release information for the others) decides.
  bool restartAwaited = false;
  // A restore of a backup image: `expected` is the version restored, and the
  // version after its restart decides as for the software item.
  bool restore = false;
};

// "Software", "Antenna firmware", "IB firmware", "PIC firmware".
std::string UpgradeItemName(UpgradeItem item);
// The item's box in the main window ("chkBinUpg" ...).
const char* UpgradeItemCheckBox(UpgradeItem item);
inline constexpr UpgradeItem kUpgradeItems[] = {UpgradeItem::Software, UpgradeItem::Antenna,
                                                UpgradeItem::Ib, UpgradeItem::Pic};

// A terminal's and a new version in the forms the window shows them; the
// texts the window uses for "no version" cannot be compared.
enum class VersionMatch { Same, Differs, NotComparable };
VersionMatch CompareShownVersionTexts(const std::string& terminal, const std::string& local);
// "running", "done", "failed", "not verified".
std::string ItemOutcomeName(ItemOutcome outcome);

}  // namespace orvex
