#include <gtest/gtest.h>

#include <stdio.h>

#include "tests/e2e/host.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!readHostPaths(argc, argv)) {
        fprintf(stderr, "usage: e2e_host [gtest flags] --saver=SCR --shots=DIR --scratch=DIR\n");
        return 2;
    }
    sweepLeftoverSavers();
    const int result = RUN_ALL_TESTS();
    sweepLeftoverSavers();
    return result;
}
