// The upgrade items and how each ended in the last upgrade.
#pragma once

#include <string>

namespace orvex {

// The upgrade items, in the order a chain runs them.
enum class UpgradeItem { Software, Antenna, Ib, Pic };

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
