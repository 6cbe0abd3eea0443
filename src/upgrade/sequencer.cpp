#include "upgrade/sequencer.h"

#include "app/upgrader.h"

namespace orvex {

// Built with the upgrade orchestration; until then these steps do nothing.
void Sequencer::cmdUpgrade_Click() {}
void Sequencer::Handle_UpgradeState() {}

}  // namespace orvex
