#include "upgrade/release_series.h"

#include "app/upgrader.h"

namespace orvex {

void ReleaseSeries::UI_CheckFactoryMode() {
  Util_LogWrite(VRB, ">> UI_CheckFactoryMode()");
  st.bFactoryMode = !FindFiles(st.strHomeDir, "factory.txt").empty();
  if (st.bFactoryMode) {
    win.setText("frmMain", win.text("frmMain") + ": FACTORY MODE");
    Util_LogWrite(INF, "ORVEX Upgrader _Factory-mode_");
  }
}

// Built with the upgrade orchestration; until then these steps do nothing.
bool ReleaseSeries::DetectReleaseSeriesConflict(const std::string&) {
  return false;
}
void ReleaseSeries::Form_KeyPress(int) {}

}  // namespace orvex
