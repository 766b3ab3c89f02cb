#include "net/AgentText.h"

#include <gtest/gtest.h>

namespace {

TEST(AgentText, TickCountPrintsAsASignedDecimal) {
    EXPECT_EQ(AgentText(0), "Agent0");
    EXPECT_EQ(AgentText(123456), "Agent123456");
    EXPECT_EQ(AgentText(2147483647u), "Agent2147483647");
    EXPECT_EQ(AgentText(2147483648u), "Agent-2147483648");
    EXPECT_EQ(AgentText(4294967295u), "Agent-1");
}

}  // namespace
