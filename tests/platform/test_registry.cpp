#include "platform/registry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Rec {
    void* handle;
    int value;
};

ObjectTable<Rec> g_table;
std::vector<int> g_heldWhenHooked;  // the record's value each time the hook ran
int g_token;                        // any non-null address serves as a live handle

// Destroys the "object" under a number, as the libraries' release operations do.
void Hook(int number) {
    Rec* r = ObjectTableFind(g_table, number);
    g_heldWhenHooked.push_back(r ? r->value : 0);
    if (r) ObjectTableClear(g_table, number);
}

void Put(int number, int value) {
    Rec* r = ObjectTableObtain(g_table, number);
    ASSERT_TRUE(r);
    *r = {&g_token, value};
}

}  // namespace

TEST(Registry, NumbersReusedOnlyAfterTheHookAndIterationSurvivesReleases) {
    ASSERT_TRUE(ObjectTableCreate(g_table, 16, Hook));
    EXPECT_FALSE(ObjectTableFind(g_table, -1) || ObjectTableFind(g_table, 5000) ||
                 ObjectTableObtain(g_table, -1));
    Put(3, 33);
    Put(200, 7);  // beyond the first size; the records already there survive
    EXPECT_EQ(ObjectTableFind(g_table, 3)->value, 33);
    g_heldWhenHooked.clear();
    Rec* r = ObjectTableObtain(g_table, 200);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::make_pair(g_heldWhenHooked, r->handle),
              std::make_pair(std::vector<int>{7}, static_cast<void*>(nullptr)));
    ObjectTableClear(g_table, 3);  // frees without the hook
    EXPECT_EQ(std::make_pair(ObjectTableExists(g_table, 3) != nullptr, g_heldWhenHooked.size()),
              std::make_pair(false, size_t{1}));

    // In ascending order, each record released as it comes up (what ImageReleaseAll does).
    for (int n : {40, 0, 1, 2, 15, 100})
        Put(n, n);
    std::vector<int> seen;
    int n = -1;
    ObjectTableFirst(g_table);
    while (ObjectTableNext(g_table, &n)) {
        seen.push_back(n);
        Hook(n);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 15, 40, 100}));
    EXPECT_EQ(ObjectTableNext(g_table, &n), nullptr);  // stays at the end
    ObjectTableFirst(g_table);
    EXPECT_EQ(ObjectTableNext(g_table, &n), nullptr);
}
