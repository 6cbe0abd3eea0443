#include "app/state_names.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(StateNames, EveryCodeAndTheEdgesAroundThem) {
  EXPECT_EQ(Util_UpgStateName(0), "UPG_STATE_INVALID");
  EXPECT_EQ(Util_UpgStateName(1), "UPG_STATE_IDLE");
  EXPECT_EQ(Util_UpgStateName(5), "UPG_STATE_PIC_DONE");
  EXPECT_EQ(Util_UpgStateName(6), "INVALID");
  EXPECT_EQ(Util_UpgStateName(-1), "INVALID");

  EXPECT_EQ(Util_UpgPrepStateName(0), "UPG_PREP_INVALID");
  EXPECT_EQ(Util_UpgPrepStateName(3), "UPG_PREP_STACK_READY");
  EXPECT_EQ(Util_UpgPrepStateName(4), "UPG_PREP_ALL_DONE");
  EXPECT_EQ(Util_UpgPrepStateName(5), "INVALID");

  EXPECT_EQ(Util_PicUpgStateName(0), "INVALID");
  EXPECT_EQ(Util_PicUpgStateName(1), "PIC_UPG_STATE_PREP_INIT_CONNECT");
  EXPECT_EQ(Util_PicUpgStateName(9), "PIC_UPG_STATE_PREP_REBOOT");
  EXPECT_EQ(Util_PicUpgStateName(10), "PIC_UPG_STATE_INIT_CONNECT");
  EXPECT_EQ(Util_PicUpgStateName(18), "PIC_UPG_STATE_WAIT_RESET");
  EXPECT_EQ(Util_PicUpgStateName(19), "INVALID");
  EXPECT_EQ(Util_PicUpgStateName(-5), "INVALID");
}

}  // namespace
}  // namespace orvex
