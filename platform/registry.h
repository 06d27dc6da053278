// Numbered object registry: a growable table of fixed-size records indexed directly by the
// caller-chosen number of the object. Images, windows and controls all live in such tables.
//
// A number is in use exactly when its record's `handle` is non-null; free records are
// value-initialised (all zero). Growth is linear: obtaining a number at or beyond the capacity
// makes the capacity number + growStep. Tables never shrink.
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

template <class Record>
struct ObjectTable {
    static_assert(std::is_trivially_copyable_v<Record>, "records are moved with memcpy");

    int recordSize = sizeof(Record);
    int growStep = 0;                           // slots added beyond the requested number
    int capacity = 0;                           // slots in `records`
    void (*releaseHook)(int number) = nullptr;  // destroys the object held under a number
    int cursor = 0;                             // iteration position: next number to look at
    Record* records = nullptr;

    ObjectTable() = default;
    ObjectTable(const ObjectTable&) = delete;
    ObjectTable& operator=(const ObjectTable&) = delete;
    ~ObjectTable() { std::free(records); }
};

// ---------------------------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------------------------

// Sets up `table` with `count` zero-filled slots; capacity and growth step both become `count`.
// Returns false when the memory cannot be had.
template <class Record>
bool ObjectTableCreate(ObjectTable<Record>& table, int count, void (*releaseHook)(int)) {
    std::free(table.records);
    table.records = static_cast<Record*>(std::calloc(count > 0 ? count : 1, sizeof(Record)));
    table.growStep = count;
    table.capacity = table.records ? count : 0;
    table.releaseHook = releaseHook;
    table.cursor = 0;
    return table.records != nullptr;
}

// The record for `number`, ready to be filled: grows the table if needed, then calls the release
// hook so that an object held under the number is destroyed first. Null for a negative number or
// when the table cannot grow (the table is then unchanged and the hook is not called).
template <class Record>
Record* ObjectTableObtain(ObjectTable<Record>& table, int number) {
    if (number < 0) return nullptr;
    if (number >= table.capacity) {
        long long want = static_cast<long long>(number) + table.growStep;
        if (want > 0x7fffffff) return nullptr;
        auto* grown = static_cast<Record*>(
            std::realloc(table.records, static_cast<size_t>(want) * sizeof(Record)));
        if (!grown) return nullptr;
        std::memset(static_cast<void*>(grown + table.capacity), 0,
                    static_cast<size_t>(want - table.capacity) * sizeof(Record));
        table.records = grown;
        table.capacity = static_cast<int>(want);
    }
    if (table.releaseHook) table.releaseHook(number);
    return &table.records[number];
}

// The record for `number` when it is in use, else null. Never grows the table.
template <class Record>
Record* ObjectTableFind(const ObjectTable<Record>& table, int number) {
    if (number < 0 || number >= table.capacity) return nullptr;
    Record* r = &table.records[number];
    return r->handle ? r : nullptr;
}

// Non-null (the record) when `number` is in use.
template <class Record>
Record* ObjectTableExists(const ObjectTable<Record>& table, int number) {
    return ObjectTableFind(table, number);
}

// Makes `number` free by zero-filling its record. Does not call the release hook.
template <class Record>
void ObjectTableClear(ObjectTable<Record>& table, int number) {
    if (number < 0 || number >= table.capacity) return;
    std::memset(static_cast<void*>(&table.records[number]), 0, sizeof(Record));
}

// Starts an ascending iteration over the numbers in use.
template <class Record>
void ObjectTableFirst(ObjectTable<Record>& table) {
    table.cursor = 0;
}

// The next record in use at or after the cursor, with its number in `outNumber`; null at the
// end. Releasing the object just returned during the iteration is allowed.
template <class Record>
Record* ObjectTableNext(ObjectTable<Record>& table, int* outNumber) {
    while (table.cursor < table.capacity) {
        int n = table.cursor++;
        Record* r = &table.records[n];
        if (r->handle) {
            if (outNumber) *outNumber = n;
            return r;
        }
    }
    return nullptr;
}
