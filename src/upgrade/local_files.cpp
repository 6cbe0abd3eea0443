#include "upgrade/local_files.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/upgrader.h"
#include "ui/main_window.h"
#include "zing/zing_channel.h"

namespace orvex {

namespace {

// The leading numeric value of a text, as the desktop runtime's Val reads it
// ("3105" → 3105, "31.6x" → 31.6, "ib" → 0).
double LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  size_t j = i;
  if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
  bool point = false;
  while (j < text.size() &&
         (std::isdigit(static_cast<unsigned char>(text[j])) || (text[j] == '.' && !point))) {
    if (text[j] == '.') point = true;
    ++j;
  }
  const std::string number = text.substr(i, j - i);
  if (number.empty() || number == "+" || number == "-" || number == ".") return 0;
  return std::strtod(number.c_str(), nullptr);
}

size_t FindNoCase(const std::string& text, const std::string& part) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(part);
}

struct PartNumber {
  const char* number;
  long classId;
};

const PartNumber kAtbParts[] = {{"07731", 4}, {"07642", 2}, {"07553", 3}, {"07464", 1}};
const PartNumber kHpaParts[] = {{"8629", 4}, {"8537", 2}, {"8359", 3}, {"8835", 1}, {"8853", 0}};

template <size_t N>
long ClassOf(const std::string& key, const PartNumber (&parts)[N]) {
  for (const auto& p : parts)
    if (Contains(key, p.number)) return p.classId;
  return 5;
}

}  // namespace

std::string LocalFiles::CheckReleaseLinks() const {
  namespace fs = std::filesystem;
  const std::string& home = st.strHomeDir;
  const std::string backup = st.strBackupDir;
  // The log checks its own folder.
  if (const std::string why = UnsafeReleasePath(backup, home, true); !why.empty())
    return "The folder " + backup + " is " + why + "; the upgrader does not use it.";
  struct Where {
    std::string folder;
    std::vector<const char*> patterns;
  };
  const Where places[] = {{home, {"orvex*.bin", "ATB*.sxm", "HPA*.sxm", "*.glo", "PIC*.s19"}},
                          {backup, {"orvex*.bin"}}};
  for (const Where& w : places) {
    std::error_code ec;
    fs::directory_iterator it(fs::path(w.folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      const std::string name = it->path().filename().string();
      bool sent = false;
      for (const char* p : w.patterns) sent = sent || WildcardMatch(p, name);
      const std::string path = w.folder + (EndsWith(w.folder, PathSep()) ? "" : PathSep()) + name;
      const std::string why = sent ? UnsafeReleasePath(path, home, false) : std::string();
      if (!why.empty())
        return "The release file " + path + " is " + why + "; the upgrader does not send it.";
    }
  }
  return {};
}

void LocalFiles::Util_IdentifyPackagedPlatformBin(const std::string& version) {
  Util_LogWrite(VRB, ">> Util_IdentifyPackagedPlatformBin()");
  const std::string first = Left(version, 4);
  st.pkgPlatformId = 11;
  for (int n = 0; n <= 9; ++n) {
    if (FindNoCase(first, "5." + std::to_string(n)) != std::string::npos) {
      st.pkgPlatformId = n;
      break;
    }
  }
  if (st.pkgPlatformId == 8 || st.pkgPlatformId == 9) win.setUnderline("lblLocPICVer", true);
  Util_LogWrite(INF, "Packaged Platform ID " + std::to_string(st.pkgPlatformId));
}

void LocalFiles::GetLocATBVersionInfo(const std::string& fileName) {
  Util_LogWrite(VRB, ">> GetLocATBVersionInfo()");
  const std::string key = Left(Right(fileName, 13), 9);
  st.locAtbClassId = ClassOf(key, kAtbParts);
  strLocAtbVer = st.locAtbClassId == 5 ? "" : Trim(Right(key, 2));
  win.setText("txtLocAtbVer", strLocAtbVer);
}

void LocalFiles::GetLocHPAVersionInfo(const std::string& fileName) {
  Util_LogWrite(VRB, ">> GetLocHPAVersionInfo()");
  const std::string key = Left(Right(fileName, 11), 7);
  st.locHpaClassId = ClassOf(key, kHpaParts);
  strLocHpaVer = st.locHpaClassId == 5 ? "" : Trim(Right(key, 2));
  win.setText("txtLocHpaVer", strLocHpaVer);
}

void LocalFiles::UI_CheckLocalAntennaFirmware() {
  Util_LogWrite(VRB, ">> UI_CheckLocalAntennaFirmware()");
  const auto atb = FindFiles(st.strHomeDir, "ATB*.sxm");
  st.strAtbFile = atb.empty() ? "" : atb.front();
  if (atb.empty()) {
    win.setText("txtLocAtbVer", "UNAVAILABLE");
  } else if (atb.size() > 1) {
    st.refusal = Refusal::ReleaseFiles;
    MsgBox(std::string("Conflict detected: There is more than one ATB binary file ") +
               "in the application's home directory.",
           vbOKOnly | vbExclamation);
    st.strAtbFile.clear();
    return;
  } else {
    GetLocATBVersionInfo(st.strAtbFile);
  }

  const auto hpa = FindFiles(st.strHomeDir, "HPA*.sxm");
  st.strHpaFile = hpa.empty() ? "" : hpa.front();
  if (hpa.empty()) {
    win.setText("txtLocHpaVer", "UNAVAILABLE");
  } else if (hpa.size() > 1) {
    st.refusal = Refusal::ReleaseFiles;
    MsgBox(std::string("Conflict detected: There is more than one HPA binary file ") +
               "in the application's home directory.",
           vbOKOnly | vbExclamation);
    st.strHpaFile.clear();
    return;
  } else {
    GetLocHPAVersionInfo(st.strHpaFile);
  }

  if (!st.strAtbFile.empty() || !st.strHpaFile.empty()) {
    if (!st.strAtbFile.empty() && !st.strHpaFile.empty() && st.locAtbClassId != st.locHpaClassId) {
      Util_LogWrite(ERR, "Antenna Type Conflict detected in Antenna files.");
      st.bAntFwAvailable = false;
      win.setText("txtLocAntClass", "UNKNOWN");
      up.ui.UI_DisableAntennaFunctionality();
    } else {
      st.bAntFwAvailable = true;
      const long cls = !st.strAtbFile.empty() ? st.locAtbClassId : st.locHpaClassId;
      win.setText("txtLocAntClass", up.zing.Util_FetchAntennaClassString(cls));
    }
  } else {
    st.bAntFwAvailable = false;
    win.setText("txtLocAntClass", "UNAVAILABLE");
  }

  win.setEnabled("cmdAntUpgradeMenu", st.bAntFwAvailable);
  win.setEnabled("chkAntUpg", st.bAntFwAvailable);
  win.setValue("chkAntUpg", 0);
}

void LocalFiles::UI_CheckLocalIbFirmware() {
  Util_LogWrite(VRB, ">> UI_CheckLocalIbFirmware()");
  const auto glo = FindFiles(st.strHomeDir, "*.glo");
  if (glo.size() >= 2) {
    st.refusal = Refusal::ReleaseFiles;
    MsgBox(std::string(" There is more than one GLO binary file ") +
               "in the application's home directory." + CRLF +
               "Please make sure there is only one IB binary file in that directory.",
           vbOKOnly | vbExclamation);
    st.strGloFile.clear();
    return;
  }
  if (glo.empty()) {
    st.strGloFile.clear();
    win.setText("txtLocIBVer", "UNKNOWN");
    st.bIbFwAvailable = false;
    up.ui.UI_DisableIBFunctionality(true);
  } else {
    st.strGloFile = glo.front();
    // The number between the first "_" and ".glo"; the file search ignores
    // case, so ".glo" is found ignoring case too.
    const size_t underscore = st.strGloFile.find('_');
    std::string text =
        underscore == std::string::npos ? st.strGloFile : st.strGloFile.substr(underscore + 1);
    const size_t ext = FindNoCase(text, ".glo");
    if (ext != std::string::npos) text.resize(ext);
    const double number = std::round(LeadingNumber(text));
    if (number < 3001 || number > 3999) {
      strLocIbVer.clear();
      win.setText("txtLocIBVer", "UNKNOWN");
      st.bIbFwAvailable = false;
      up.ui.UI_DisableIBFunctionality(false);
    } else {
      // The first two and the last two characters of the name's text
      // (ib_3105a.glo gives 31.5a); a number in range has at least four.
      strLocIbVer = text.substr(0, 2) + "." + text.substr(text.size() - 2);
      win.setText("txtLocIBVer", strLocIbVer);
      st.bIbFwAvailable = true;
      const long long length = FileLength(st.strHomeDir + st.strGloFile);
      // A file under one block would make the progress percentage divide by
      // zero: it counts as one block.
      st.ibImageBlocks = length >= 100 ? static_cast<long>(length / 100) : 1;
      Util_LogWrite(DET, "GLO file size : " + std::to_string(length < 0 ? 0 : length) +
                             " Blocks: " + std::to_string(st.ibImageBlocks));
    }
  }
  win.setEnabled("cmdIbUpgradeMenu", st.bIbFwAvailable);
  win.setValue("chkIBUpg", 0);
  win.setEnabled("chkIBUpg", st.bIbFwAvailable);
}

}  // namespace orvex
