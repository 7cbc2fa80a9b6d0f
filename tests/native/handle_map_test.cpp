// The window-object map: look-ups, replacing, removing and growth.
#include "base/handle_map.h"

#include <gtest/gtest.h>

#include <map>

TEST(HandleMap, AgreesWithAnOrderedMapThroughGrowthAndRemovals) {
    HandleMap map;
    std::map<uintptr_t, void*> expected;
    int objects[4];
    // Handles in runs of near numbers, as the platform hands them out, with
    // removals and re-insertions between: every answer as the model's.
    for (uintptr_t round = 0; round < 6; ++round) {
        for (uintptr_t h = 0x10000 + round; h < 0x10000 + 400; h += 2) {
            map.Set(h, &objects[h % 4]);
            expected[h] = &objects[h % 4];
        }
        for (uintptr_t h = 0x10000 + round; h < 0x10000 + 400; h += 6) {
            map.Remove(h);
            expected.erase(h);
        }
        map.Remove(0x5);                   // absent: nothing happens
        map.Set(0x10000 + round, nullptr); // a null object removes
        expected.erase(0x10000 + round);
        ASSERT_EQ(map.Size(), expected.size()) << "round " << round;
        for (uintptr_t h = 0x10000 - 4; h < 0x10000 + 404; ++h) {
            auto it = expected.find(h);
            ASSERT_EQ(map.Find(h), it == expected.end() ? nullptr : it->second) << h;
        }
    }
    EXPECT_EQ(HandleMap().Find(0x10000), nullptr) << "an empty map";
}
