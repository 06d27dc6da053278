#include "imagelib/registry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Rec {
    void* handle;
    int value;
};

ObjectTable<Rec>* g_table = nullptr;
std::vector<int> g_hookCalls;
std::vector<int> g_heldWhenHooked;  // the record's value when the hook ran

// Destroys the "object" under a number, as the libraries' release operations do.
void Hook(int number) {
    g_hookCalls.push_back(number);
    Rec* r = ObjectTableFind(*g_table, number);
    g_heldWhenHooked.push_back(r ? r->value : 0);
    if (r) ObjectTableClear(*g_table, number);
}

int g_token;  // any non-null address serves as a live handle

class RegistryTest : public testing::Test {
protected:
    void SetUp() override {
        g_table = &table;
        g_hookCalls.clear();
        g_heldWhenHooked.clear();
        ASSERT_TRUE(ObjectTableCreate(table, 16, Hook));
    }
    void Put(int number, int value) {
        Rec* r = ObjectTableObtain(table, number);
        ASSERT_TRUE(r);
        r->handle = &g_token;
        r->value = value;
    }
    std::vector<int> Iterate() {
        std::vector<int> seen;
        int n = -1;
        ObjectTableFirst(table);
        while (ObjectTableNext(table, &n))
            seen.push_back(n);
        return seen;
    }
    ObjectTable<Rec> table;
};

}  // namespace

TEST_F(RegistryTest, GrowthIsLinearAndKeepsRecords) {
    struct Case {
        int initial, number, capacity;
    } cases[] = {{16, 100, 116}, {50, 60, 110}, {16, 15, 16}, {16, 16, 32}};
    for (const Case& c : cases) {
        ObjectTable<Rec> t;
        ASSERT_TRUE(ObjectTableCreate(t, c.initial, nullptr));
        ASSERT_TRUE(ObjectTableObtain(t, c.number));
        EXPECT_EQ(t.capacity, c.capacity) << c.initial << " / " << c.number;
    }
    Put(3, 33);
    Put(100, 7);
    EXPECT_EQ(ObjectTableFind(table, 3)->value, 33);
    for (int n = 16; n < 116; ++n)
        EXPECT_EQ(ObjectTableFind(table, n) != nullptr, n == 100) << n;  // new slots zero-filled
    Put(200, 1);
    EXPECT_EQ(table.capacity, 216);
    EXPECT_EQ(ObjectTableFind(table, 100)->value, 7);
}

TEST_F(RegistryTest, HookRunsBeforeANumberIsHandedOutAgain) {
    Put(5, 55);
    g_hookCalls.clear();
    g_heldWhenHooked.clear();
    Rec* r = ObjectTableObtain(table, 5);
    ASSERT_TRUE(r);
    // The hook saw the old object and destroyed it: the record comes back free.
    EXPECT_EQ(g_hookCalls, std::vector<int>{5});
    EXPECT_EQ(g_heldWhenHooked, std::vector<int>{55});
    EXPECT_EQ(r->handle, nullptr);
    EXPECT_FALSE(ObjectTableFind(table, 5));
    // Clear frees without the hook.
    Put(4, 1);
    g_hookCalls.clear();
    ObjectTableClear(table, 4);
    EXPECT_FALSE(ObjectTableExists(table, 4));
    EXPECT_TRUE(g_hookCalls.empty());
}

TEST_F(RegistryTest, LookupsAndNegativeNumbersNeverGrowTheTable) {
    for (int n : {200, 16, 5000, 0, 15, -1}) {
        EXPECT_FALSE(ObjectTableFind(table, n));
        EXPECT_FALSE(ObjectTableExists(table, n));
    }
    EXPECT_EQ(ObjectTableObtain(table, -1), nullptr);
    ObjectTableClear(table, -1);  // harmless
    EXPECT_EQ(table.capacity, 16);
    EXPECT_TRUE(g_hookCalls.empty());
}

TEST_F(RegistryTest, AscendingIterationSurvivesReleasingTheCurrentRecord) {
    EXPECT_TRUE(Iterate().empty());
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
    EXPECT_TRUE(Iterate().empty());
}
