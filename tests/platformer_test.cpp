// Platformer tests.
#include <gtest/gtest.h>
#include "game.h"
#include "vexildx.h"
LPDIRECTDRAW lpDD;
TEST(Platformer, Placeholder) { EXPECT_TRUE(true); }
