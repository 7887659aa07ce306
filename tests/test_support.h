// Shared fixture of the library tests: a display object, no armed faults, and
// a check that every surface a test made is released again.
#pragma once

#include <gtest/gtest.h>

#include "ddinternal.h"
#include "vexildx.h"

class MapFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lpDD) {
            ASSERT_EQ(DirectDrawCreate(nullptr, &lpDD, nullptr), DD_OK);
        }
        DDClearFaults();
        baseline = DDLiveObjects();
    }
    void TearDown() override {
        MapFreeMem();
        DDClearFaults();
        EXPECT_EQ(DDLiveObjects(), baseline);
    }

    int baseline = 0;  // display objects alive when the test began
};
