#include "app/state_names.h"

#include <array>

namespace orvex {

std::string Util_UpgStateName(const long& state) {
  static const std::array<const char*, 6> names = {"UPG_STATE_INVALID",  "UPG_STATE_IDLE",
                                                   "UPG_STATE_BIN_DONE", "UPG_STATE_ANT_DONE",
                                                   "UPG_STATE_IB_DONE",  "UPG_STATE_PIC_DONE"};
  if (state < 0 || state >= static_cast<long>(names.size())) return "INVALID";
  return names[static_cast<size_t>(state)];
}

std::string Util_UpgPrepStateName(const long& state) {
  static const std::array<const char*, 5> names = {"UPG_PREP_INVALID", "UPG_PREP_IDLE",
                                                   "UPG_PREP_FS_READY", "UPG_PREP_STACK_READY",
                                                   "UPG_PREP_ALL_DONE"};
  if (state < 0 || state >= static_cast<long>(names.size())) return "INVALID";
  return names[static_cast<size_t>(state)];
}

std::string Util_PicUpgStateName(const long& state) {
  static const std::array<const char*, 19> names = {"INVALID",
                                                    "PIC_UPG_STATE_PREP_INIT_CONNECT",
                                                    "PIC_UPG_STATE_PREP_UNAME_SENT",
                                                    "PIC_UPG_STATE_PREP_PASSWD_SENT",
                                                    "PIC_UPG_STATE_PREP_LOGGEDIN",
                                                    "PIC_UPG_STATE_PREP_CHECK_BATT",
                                                    "PIC_UPG_STATE_PREP_CHK_IMG",
                                                    "PIC_UPG_STATE_PREP_BKUP_IMG",
                                                    "PIC_UPG_STATE_PREP_CREATE_XIMG",
                                                    "PIC_UPG_STATE_PREP_REBOOT",
                                                    "PIC_UPG_STATE_INIT_CONNECT",
                                                    "PIC_UPG_STATE_UNAME_SENT",
                                                    "PIC_UPG_STATE_PASSWD_SENT",
                                                    "PIC_UPG_STATE_LOGGEDIN",
                                                    "PIC_UPG_STATE_RECOVER_IMG",
                                                    "PIC_UPG_STATE_CHECK_BATT",
                                                    "PIC_UPG_STATE_BATT_REBOOT_WAIT",
                                                    "PIC_UPG_STATE_REFLASH_SENT",
                                                    "PIC_UPG_STATE_WAIT_RESET"};
  if (state < 0 || state >= static_cast<long>(names.size())) return "INVALID";
  return names[static_cast<size_t>(state)];
}

}  // namespace orvex
