#include "platform/registry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Rec {
    void* handle;
    int value;
};

ObjectTable<Rec>* g_table = nullptr;
std::vector<int> g_heldWhenHooked;  // the record's value each time the hook ran

// Destroys the "object" under a number, as the libraries' release operations do.
void Hook(int number) {
    Rec* r = ObjectTableFind(*g_table, number);
    g_heldWhenHooked.push_back(r ? r->value : 0);
    if (r) ObjectTableClear(*g_table, number);
}

int g_token;  // any non-null address serves as a live handle

class RegistryTest : public testing::Test {
protected:
    void SetUp() override {
        g_table = &table;
        g_heldWhenHooked.clear();
        ASSERT_TRUE(ObjectTableCreate(table, 16, Hook));
    }
    void Put(int number, int value) {
        Rec* r = ObjectTableObtain(table, number);
        ASSERT_TRUE(r);
        r->handle = &g_token;
        r->value = value;
    }
    ObjectTable<Rec> table;
};

}  // namespace

TEST_F(RegistryTest, NumbersAreReusedOnlyAfterTheHookDestroyedTheOldObject) {
    for (int n : {-1, 0, 5000})
        EXPECT_FALSE(ObjectTableFind(table, n));
    EXPECT_EQ(ObjectTableObtain(table, -1), nullptr);
    Put(3, 33);
    Put(200, 7);  // grows the table; records already there survive
    EXPECT_EQ(ObjectTableFind(table, 3)->value, 33);
    EXPECT_FALSE(ObjectTableFind(table, 100));
    g_heldWhenHooked.clear();
    Rec* r = ObjectTableObtain(table, 200);
    ASSERT_TRUE(r);
    EXPECT_EQ(g_heldWhenHooked, std::vector<int>{7});
    EXPECT_EQ(r->handle, nullptr);
    ObjectTableClear(table, 3);  // frees without the hook
    EXPECT_FALSE(ObjectTableExists(table, 3));
    EXPECT_EQ(g_heldWhenHooked.size(), 1u);
}

TEST_F(RegistryTest, AscendingIterationSurvivesReleasingTheCurrentRecord) {
    for (int n : {40, 0, 1, 2, 15, 100})
        Put(n, n);
    std::vector<int> seen;
    int n = -1;
    ObjectTableFirst(table);
    while (ObjectTableNext(table, &n)) {
        seen.push_back(n);
        Hook(n);  // what ImageReleaseAll does
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 15, 40, 100}));
    EXPECT_EQ(ObjectTableNext(table, &n), nullptr);  // stays at the end
    ObjectTableFirst(table);
    EXPECT_EQ(ObjectTableNext(table, &n), nullptr);
}
