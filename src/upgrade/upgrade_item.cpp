#include "upgrade/upgrade_item.h"

#include <cctype>

#include "app/util.h"

namespace orvex {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

const char* UpgradeItemCheckBox(UpgradeItem item) {
  switch (item) {
    case UpgradeItem::Software: return "chkBinUpg";
    case UpgradeItem::Antenna: return "chkAntUpg";
    case UpgradeItem::Ib: return "chkIBUpg";
    case UpgradeItem::Pic: return "chkPICUpg";
  }
  return "";
}

std::string UpgradeItemName(UpgradeItem item) {
  switch (item) {
    case UpgradeItem::Software: return "Software";
    case UpgradeItem::Antenna: return "Antenna firmware";
    case UpgradeItem::Ib: return "IB firmware";
    case UpgradeItem::Pic: return "PIC firmware";
  }
  return "";
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
