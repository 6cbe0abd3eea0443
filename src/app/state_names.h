// Codes of the upgrade state variables and their printable names (used only
// in log lines such as "currUpgradeState = UPG_STATE_BIN_DONE").
#pragma once

#include <string>

namespace orvex {

enum UpgState : long {
  UPG_STATE_INVALID = 0,
  UPG_STATE_IDLE = 1,
  UPG_STATE_BIN_DONE = 2,
  UPG_STATE_ANT_DONE = 3,
  UPG_STATE_IB_DONE = 4,
  UPG_STATE_PIC_DONE = 5,
};

enum UpgPrepState : long {
  UPG_PREP_INVALID = 0,
  UPG_PREP_IDLE = 1,
  UPG_PREP_FS_READY = 2,
  UPG_PREP_STACK_READY = 3,
  UPG_PREP_ALL_DONE = 4,
};

enum PicUpgState : long {
  PIC_UPG_STATE_PREP_INIT_CONNECT = 1,
  PIC_UPG_STATE_PREP_UNAME_SENT = 2,
  PIC_UPG_STATE_PREP_PASSWD_SENT = 3,
  PIC_UPG_STATE_PREP_LOGGEDIN = 4,
  PIC_UPG_STATE_PREP_CHECK_BATT = 5,
  PIC_UPG_STATE_PREP_CHK_IMG = 6,
  PIC_UPG_STATE_PREP_BKUP_IMG = 7,
  PIC_UPG_STATE_PREP_CREATE_XIMG = 8,
  PIC_UPG_STATE_PREP_REBOOT = 9,
  PIC_UPG_STATE_INIT_CONNECT = 10,
  PIC_UPG_STATE_UNAME_SENT = 11,
  PIC_UPG_STATE_PASSWD_SENT = 12,
  PIC_UPG_STATE_LOGGEDIN = 13,
  PIC_UPG_STATE_RECOVER_IMG = 14,
  PIC_UPG_STATE_CHECK_BATT = 15,
  PIC_UPG_STATE_BATT_REBOOT_WAIT = 16,
  PIC_UPG_STATE_REFLASH_SENT = 17,
  PIC_UPG_STATE_WAIT_RESET = 18,
};

enum IbUpgState : long {
  IB_UPG_RESET_SENT = 0,
  IB_UPG_IN_PROGRESS = 1,
  IB_UPG_COMPLETE_WAIT_RESET = 2,
  IB_UPG_IDLE = 3,
};

std::string Util_UpgStateName(const long& state);
std::string Util_UpgPrepStateName(const long& state);
std::string Util_PicUpgStateName(const long& state);

}  // namespace orvex
