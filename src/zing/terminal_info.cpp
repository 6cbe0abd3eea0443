// The terminal's own description of itself: platform and build date from
// the version text, PIC, IB and antenna versions from the release
// information.
#include "app/upgrader.h"
#include "ui/main_window.h"
#include "zing/terminal_text.h"
#include "zing/zing_channel.h"

namespace orvex {

namespace {
// The first terminal build that answers the release information request.
constexpr CalendarDate kReleaseInfoCutOff{2009, 10, 27};
}  // namespace

void ZingChannel::Util_IdentifyOrvexPlatform(const std::string& version) {
  Util_LogWrite(VRB, ">> Util_IdentifyOrvexPlatform()");
  st.termPlatformId = PlatformIdFromVersion(version);
  Util_LogWrite(INF, "Connected ORVEX Platform ID: " + std::to_string(st.termPlatformId));
}

bool ZingChannel::Util_CheckReleaseDate(const std::string& versionText) {
  Util_LogWrite(VRB, ">> Util_CheckReleaseDate()");
  const std::string kept = ReleaseDatePart(versionText);
  Util_LogWrite(INF, "Release Date: " + kept);
  const auto date = ReadCalendarDate(kept);
  if (!date) {
    // A build date in a notation not known here most likely comes from a
    // newer terminal: asking costs at most one unanswered request, not
    // asking would hide its antenna, IB and PIC versions.
    Util_LogWrite(ERR, "Unable to read the release date, taken as a current release.");
  } else if (DaysFromCivil(*date) - DaysFromCivil(kReleaseInfoCutOff) < 0) {
    Util_LogWrite(INF, "Older release, skip Release-Info request.");
    return false;
  }
  Util_LogWrite(INF, "Ok to request Comprehensive Release-Info.");
  return true;
}

void ZingChannel::Util_GrabTermPICVersion(const std::string& info) {
  Util_LogWrite(VRB, ">> Util_GrabTermPICVersion()");
  if (!ReleaseInfoHasKey(info, "PIC: ")) {
    Util_LogWrite(ERR, "No PIC version in the release information.");
    win.setText("txtTermPICVersion", "UNKNOWN");
    return;
  }
  win.setText("txtTermPICVersion", ReleaseInfoField(info, "PIC: "));
}

void ZingChannel::Util_GrabTermIBVersion(const std::string& info) {
  Util_LogWrite(VRB, ">> Util_GrabTermIBVersion()");
  st.strTermIbVersion.clear();
  if (!ReleaseInfoHasKey(info, "IB: ")) {
    win.setText("txtTermIBVer", "UNKNOWN");
    up.ui.UI_DisableIBFunctionality(true);
    return;
  }
  const std::string value = ReleaseInfoField(info, "IB: ");
  if (Contains(value, "Unknown")) {
    // The terminal has not read its IB version yet: ask once more later.
    st.strTermIbVersion = value;
    tmrRefetchIbVersion.setEnabled(true);
    Util_LogWrite(DET, "tmrRefetchIbVersion.Enabled= True");
  } else {
    st.strTermIbVersion = Right(value, 5);
  }
  up.ui.UI_EnableIBFunctionality();
  win.setText("txtTermIBVer", st.strTermIbVersion);
}

bool ZingChannel::Util_AntennaInfoCheck(const std::string& info) {
  Util_LogWrite(VRB, ">> Util_AntennaInfoCheck ()");
  for (const char* key : {"AHW: ", "ATB: ", "HPA: ", "ASN: ", "CLASS: "})
    if (!ReleaseInfoHasKey(info, key)) return false;
  return true;
}

void ZingChannel::Util_GrabTermAntennaVersions(const std::string& info) {
  Util_LogWrite(VRB, ">> Util_GrabTermAntennaVersions()");
  win.setText("txtAntATBver", ReleaseInfoField(info, "ATB: "));
  win.setText("txtAntAHWver", ReleaseInfoField(info, "AHW: "));
  win.setText("txtAntHPAver", ReleaseInfoField(info, "HPA: "));
  win.setText("txtAntASNver", ReleaseInfoField(info, "ASN: "));
  st.antClassId =
      AntennaClassFromValue(ReleaseInfoField(info, "CLASS: "), st.termPlatformId, st.antClassId);
  win.setText("txtAntCLSver", Util_FetchAntennaClassString(st.antClassId));
}

std::string ZingChannel::Util_FetchAntennaClassString(long classId) {
  Util_LogWrite(VRB, ">> Util_FetchAntennaClassString() " + std::to_string(classId));
  return AntennaClassName(classId);
}

}  // namespace orvex
