// Sorted string sets: search, insertion order, capacity, the path pool and overlapping moves.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <algorithm>
#include <cstdio>
#include <cctype>
#include "log/log.h"
#include "common/common.h"

namespace {

// A set over its own block with one slot more than the capacity, holding a canary.
struct TestSet {
    SortedStringSet set;
    std::vector<char*> block;
    char canary[8] = "canary";
    TestSet() : block(SET_CAPACITY + 1, nullptr)
    {
        set.items = block.data();
        set.count = 0;
        set.pos = 0;
        set.span = 0;
        block[SET_CAPACITY] = canary;
    }
    std::vector<std::string> Items() const
    {
        return std::vector<std::string>(block.begin(), block.begin() + set.count);
    }
};

int Compare(const char* a, const char* b)
{
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1); // 0x400, 1
}

// Slots 0 to count - 1 strictly ascending: sorted and without an equal pair.
std::string OrderFault(const SortedStringSet& set)
{
    for (int i = 1; i < set.count; i++) {
        if (Compare(set.items[i - 1], set.items[i]) != CSTR_LESS_THAN)
            return "slots " + std::to_string(i - 1) + " and " + std::to_string(i) + ": " + set.items[i - 1] +
                   ", " + set.items[i];
    }
    return "";
}

std::string Join(const std::vector<std::string>& items)
{
    std::string out;
    for (const auto& s : items)
        out += (out.empty() ? "" : ", ") + s;
    return out;
}

} // namespace

TEST(SortedStringSet, LocateAndInsert)
{
    struct Row {
        std::vector<const char*> items;
        const char* s;
        int locate;          // SetLocate's result
        int pos;             // pos after SetLocate
        int inserted;        // SetInsert's result
        std::string after;
    } rows[] = {
        {{}, "x", 1, 0, 1, "x"},
        {{"a", "c", "e", "g"}, "f", -1, 2, 1, "a, c, e, f, g"},
        {{"a", "c", "e", "g"}, "C", 0, 1, 0, "a, c, e, g"},
        {{"a", "c"}, "B", -1, 0, 1, "a, B, c"},
        {{"a", "c"}, "A", 0, 0, 0, "a, c"},
        {{"b", "c"}, "a", 1, 0, 1, "a, b, c"},
        {{"a", "b"}, "z", -1, 1, 1, "a, b, z"},
        {{"a", "b", "c"}, "C", 0, 2, 0, "a, b, c"},
        {{"P", "PA"}, "p", 0, 0, 0, "P, PA"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        TestSet t;
        for (const char* s : rows[i].items)
            t.block[t.set.count++] = (char*)s;
        EXPECT_EQ(rows[i].locate, SetLocate(&t.set, rows[i].s)) << "row " << i << " locate " << rows[i].s;
        EXPECT_EQ(rows[i].pos, t.set.pos) << "row " << i << " pos after locating " << rows[i].s;
        EXPECT_EQ(rows[i].inserted, SetInsert(&t.set, rows[i].s)) << "row " << i << " insert " << rows[i].s;
        EXPECT_EQ(rows[i].after, Join(t.Items())) << "row " << i;
        if (rows[i].inserted)
            EXPECT_STREQ(rows[i].s, t.block[t.set.pos]) << "row " << i << ": pos names the new slot";
    }
}

TEST(SortedStringSet, InsertionOrdersKeepTheSetSorted)
{
    unsigned int seed = 777;
    auto next = [&seed]() { seed = seed * 1103515245u + 12345u; return (seed >> 8) & 0xFFFFFF; };
    // Distinct names, also in letter case, with a copy in other case that must be found.
    const int n = 3000;
    std::vector<std::string> names, others;
    char buffer[64];
    for (int i = 0; i < n; i++) {
        snprintf(buffer, sizeof buffer, "c:\\App\\File%05d.txt", i);
        names.push_back(buffer);
        std::string other = buffer;
        std::transform(other.begin(), other.end(), other.begin(), [](char c) { return (char)toupper((unsigned char)c); });
        others.push_back(other);
    }
    struct Row { const char* what; std::vector<int> order; } rows[] = {
        {"ascending", {}}, {"descending", {}}, {"random", {}}, {"every size up to 40, random", {}},
    };
    for (int i = 0; i < n; i++) {
        rows[0].order.push_back(i);
        rows[1].order.push_back(n - 1 - i);
        rows[2].order.push_back(i);
    }
    for (int i = n - 1; i > 0; i--)
        std::swap(rows[2].order[i], rows[2].order[next() % (i + 1)]);
    for (size_t r = 0; r < 3; r++) {
        TestSet t;
        for (int k : rows[r].order)
            ASSERT_EQ(1, SetInsert(&t.set, names[k].c_str())) << "row " << r << " (" << rows[r].what << ") " << names[k];
        EXPECT_EQ(n, t.set.count) << "row " << r;
        EXPECT_EQ("", OrderFault(t.set)) << "row " << r << " (" << rows[r].what << ")";
        for (int k : rows[r].order) {
            EXPECT_EQ(0, SetInsert(&t.set, others[k].c_str())) << "row " << r << " " << others[k];
            EXPECT_STREQ(names[k].c_str(), t.set.items[t.set.pos]) << "row " << r << ": pos of " << others[k];
        }
        EXPECT_EQ(n, t.set.count) << "row " << r;
    }
    // Small sets of every size, where the halving meets odd and even spans.
    for (int size = 1; size <= 40; size++) {
        TestSet t;
        std::vector<int> order;
        for (int i = 0; i < size; i++)
            order.push_back((int)(next() % n));
        for (int k : order)
            SetInsert(&t.set, names[k].c_str());
        std::sort(order.begin(), order.end());
        order.erase(std::unique(order.begin(), order.end()), order.end());
        EXPECT_EQ((int)order.size(), t.set.count) << "row 3, size " << size;
        EXPECT_EQ("", OrderFault(t.set)) << "row 3, size " << size;
    }
}

TEST(SortedStringSet, FullSetTakesNothingMore)
{
    TestSet t;
    std::vector<std::string> names;
    char buffer[32];
    for (int i = 0; i < SET_CAPACITY; i++) {
        snprintf(buffer, sizeof buffer, "r%05d", i);
        names.push_back(buffer);
    }
    for (int i = 0; i < SET_CAPACITY; i++)
        ASSERT_EQ(1, SetInsert(&t.set, names[i].c_str())) << i;
    EXPECT_EQ(0, SetInsert(&t.set, "r99999"));   // would go at the end
    EXPECT_EQ(0, SetInsert(&t.set, "a"));        // would go at the start
    EXPECT_EQ(0, SetInsert(&t.set, "R00007"));   // present
    EXPECT_EQ(7, t.set.pos);
    EXPECT_EQ(SET_CAPACITY, t.set.count);
    EXPECT_EQ(t.canary, t.block[SET_CAPACITY]);
    EXPECT_EQ("", OrderFault(t.set));
}

TEST(MarkProcessed, PoolHoldsEachPathOnce)
{
    std::vector<char*> items(SET_CAPACITY, nullptr);
    std::vector<char> pool(STRING_POOL_SIZE + 1, 0);
    pool[STRING_POOL_SIZE] = 'Z'; // canary after the pool
    SortedStringSet savedSet = ProcessedFiles;
    StringPoolType savedPool = StringPool;
    ProcessedFiles = {items.data(), 0, 0, 0};
    StringPool.block = pool.data();
    StringPool.next = pool.data();

    struct Row { const char* path; int result; int growth; } rows[] = {
        {"c:\\app\\a.dll", 1, 13},
        {"C:\\APP\\A.DLL", 0, 0},             // same path in other case: the copy is not kept
        {"app\\a.dll", 1, 10},                // relative and absolute paths are different
        {"c:\\app\\b.dll", 1, 13},
        {"c:\\app\\a.dll", 0, 0},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char* before = StringPool.next;
        EXPECT_EQ(rows[i].result, MarkProcessed(rows[i].path)) << "row " << i << " " << rows[i].path;
        EXPECT_EQ(rows[i].growth, StringPool.next - before) << "row " << i << " " << rows[i].path;
    }
    EXPECT_EQ(3, ProcessedFiles.count);

    // The pool's end: a path that fits exactly, then one that is one byte too long and one far too long.
    std::string fill(STRING_POOL_SIZE - (StringPool.next - StringPool.block) - 1 - 7, 'f');
    ASSERT_EQ(1, MarkProcessed(fill.c_str()));
    char* before = StringPool.next;
    EXPECT_EQ(1, MarkProcessed("x12345"));            // 6 characters and the zero: exactly the rest
    EXPECT_EQ(pool.data() + STRING_POOL_SIZE, StringPool.next);
    EXPECT_EQ(0, MarkProcessed("y"));                 // no byte left: counted as handled
    EXPECT_EQ(0, MarkProcessed(std::string(5000, 'z').c_str()));
    EXPECT_EQ(pool.data() + STRING_POOL_SIZE, StringPool.next);
    EXPECT_EQ('Z', pool[STRING_POOL_SIZE]);
    EXPECT_STREQ("x12345", before);

    ProcessedFiles = savedSet;
    StringPool = savedPool;
}

TEST(MoveBytes, OverlapsBothWays)
{
    struct Row { int destination; int source; int n; const char* expected; } rows[] = {
        {2, 0, 5, "ababcdeh"},   // destination inside the source: copied from the end
        {0, 2, 5, "cdefgfgh"},   // source inside the destination's range: copied from the start
        {0, 4, 4, "efghefgh"},
        {3, 3, 4, "abcdefgh"},
        {1, 0, 0, "abcdefgh"},
        {1, 0, 7, "aabcdefg"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char text[] = "abcdefgh";
        MoveBytes(text + rows[i].destination, text + rows[i].source, (DWORD)rows[i].n);
        EXPECT_STREQ(rows[i].expected, text) << "row " << i;
    }
}

TEST(MoveBytes, WholePointersOverlapBothWays)
{
    struct Row { int destination; int source; int n; std::vector<int> expected; } rows[] = {
        {1, 0, 6, {0, 0, 1, 2, 3, 4, 5, 7}},  // the set's insertion shift
        {0, 1, 6, {1, 2, 3, 4, 5, 6, 6, 7}},
        {0, 4, 4, {4, 5, 6, 7, 4, 5, 6, 7}},
        {2, 2, 3, {0, 1, 2, 3, 4, 5, 6, 7}},
        {5, 0, 0, {0, 1, 2, 3, 4, 5, 6, 7}},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char* items[9];
        char marks[9];
        for (int k = 0; k < 9; k++)
            items[k] = &marks[k];
        MoveBytes(&items[rows[i].destination], &items[rows[i].source], (DWORD)(rows[i].n * sizeof(char*)));
        std::vector<int> got;
        for (int k = 0; k < 8; k++)
            got.push_back((int)(items[k] - marks));
        EXPECT_EQ(rows[i].expected, got) << "row " << i;
        EXPECT_EQ(&marks[8], items[8]) << "row " << i << ": slot after the array";
    }
}
