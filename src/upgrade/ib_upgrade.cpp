#include "upgrade/ib_upgrade.h"

#include "app/upgrader.h"

namespace orvex {

// Built with the upgrade orchestration; until then these steps do nothing.
void IbUpgrade::cmdIbUpgradeMenu_Click() {}
void IbUpgrade::UPG_IBUpgradeIgnite() {}
void IbUpgrade::UPG_StandaloneIBUpgrade() {}
void IbUpgrade::UPG_ResetTrg4IBUpgrade() {}

}  // namespace orvex
