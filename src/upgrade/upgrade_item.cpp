#include "upgrade/upgrade_item.h"

#include <cctype>
#include <iterator>

#include "app/util.h"

namespace orvex {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

const ItemFacts& FactsOf(UpgradeItem item) {
  static const ItemFacts kFacts[] = {
      {UpgradeItem::Software,
       "Software",
       "Software",
       "software",
       "chkBinUpg",
       "",
       "frameBin",
       {{"", "txtCurrentSoftwareVersion", "txtNewSoftwareVersion"}},
       "lblBinUpdate",
       "lblBinResult",
       TransferStep::Image,
       "image"},
      {UpgradeItem::Antenna,
       "Antenna firmware",
       "Antenna Firmware",
       "antenna",
       "chkAntUpg",
       "cmdAntUpgradeMenu",
       "frameAntenna",
       {{"ATB ", "txtAntATBver", "txtLocAtbVer"}, {"HPA ", "txtAntHPAver", "txtLocHpaVer"}},
       "lblAntUpdate",
       "lblAntResult",
       TransferStep::Antenna,
       "antenna"},
      {UpgradeItem::Ib,
       "IB firmware",
       "IB Firmware",
       "ib",
       "chkIBUpg",
       "cmdIbUpgradeMenu",
       "frameIbInfo",
       {{"", "txtTermIBVer", "txtLocIBVer"}},
       "lblIbUpdate",
       "lblIbResult",
       TransferStep::Ib,
       "IB"},
      {UpgradeItem::Pic,
       "PIC firmware",
       "PIC",
       "pic",
       "chkPICUpg",
       "cmdPicUpgradeMenu",
       "framePIC",
       {{"", "txtTermPICVersion", "txtLocPICVer"}},
       "lblPicUpdate",
       "lblPicResult",
       TransferStep::Pic,
       "PIC"},
  };
  static_assert(std::size(kFacts) == std::size(kUpgradeItems), "one row per item");
  return kFacts[static_cast<size_t>(item)];
}

std::optional<UpgradeItem> ItemOfWord(const std::string& word) {
  for (UpgradeItem item : kUpgradeItems)
    if (word == FactsOf(item).word) return item;
  return std::nullopt;
}

const char* UpgradeItemCheckBox(UpgradeItem item) {
  return FactsOf(item).checkBox;
}

std::string UpgradeItemName(UpgradeItem item) {
  return FactsOf(item).name;
}

VersionMatch CompareShownVersionTexts(const std::string& terminal, const std::string& local) {
  const std::string t = Lower(Trim(terminal)), l = Lower(Trim(local));
  for (const std::string& v : {t, l})
    if (v.empty() || v == "unknown" || v == "unavailable") return VersionMatch::NotComparable;
  if (Contains(t, "unknown")) return VersionMatch::NotComparable;  // "Unknown yet"
  return t == l ? VersionMatch::Same : VersionMatch::Differs;
}

std::string ItemOutcomeName(ItemOutcome outcome) {
  switch (outcome) {
    case ItemOutcome::Running: return "running";
    case ItemOutcome::Done: return "done";
    case ItemOutcome::Failed: return "failed";
    case ItemOutcome::NotVerified: return "not verified";
  }
  return "";
}

}  // namespace orvex
