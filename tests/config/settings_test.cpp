// This program never loads a configuration, so the settings hold their values from before the
// first load.
#include "config/settings.h"

#include <gtest/gtest.h>

TEST(Settings, ValuesBeforeTheFirstLoad) {
  EXPECT_EQ(0, active);
  EXPECT_EQ(1, action);
  EXPECT_EQ(1, allow_io);
  EXPECT_EQ(1, allow_printers);
  EXPECT_EQ(1, allow_network);
  EXPECT_EQ(1, report_on_allow);
  EXPECT_EQ(1, allow_initial);
  EXPECT_TRUE(io_rules.empty() && printer_rules.empty() && network_rules.empty() && config_rules.empty() && initial_rules.empty());
}
