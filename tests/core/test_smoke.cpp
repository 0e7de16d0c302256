#include <gtest/gtest.h>
#include "app/MainState.h"
#include "TestPlatform.h"
TEST(Smoke, StateStarts) {
    TestPlatform ui;
    auto s = std::make_unique<MainState>(ui);
    EXPECT_EQ(s->lineCount, 0);
    EXPECT_EQ(s->breakpointLine, -1);
}
