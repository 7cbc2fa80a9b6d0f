// Each ctest entry runs this program with a filter naming one test. A filter
// that matches nothing (a stale binary, a renamed test) must fail, not pass.
// A box that no test answers fails the test with what it says.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/emulator/box_watch.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        BoxWatch boxes([](const std::string& caption, const std::string& text) {
            ADD_FAILURE() << "a box nobody answered: \"" << caption << "\": \"" << text << "\"";
        });
        result = RUN_ALL_TESTS();
    }
    if (result == 0 && ::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matched the filter\n");
        return 1;
    }
    return result;
}
