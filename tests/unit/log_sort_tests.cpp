// The action sort: its exact order for equal keys, its comparisons, its depth and signed keys.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <algorithm>
#include <climits>
#include "log/log.h"

namespace {

// Entries whose records are tags that tell equal keys apart.
struct Entries {
    std::vector<ActionEntry> entries;
    std::vector<std::string> tags;
    explicit Entries(const std::vector<std::pair<int, std::string>>& keyed)
    {
        tags.reserve(keyed.size());
        for (const auto& k : keyed)
            tags.push_back(k.second);
        for (size_t i = 0; i < keyed.size(); i++)
            entries.push_back({keyed[i].first, (char*)tags[i].c_str()});
    }
    std::string Show() const
    {
        std::string out;
        for (const auto& e : entries)
            out += (out.empty() ? "" : ", ") + std::to_string(e.key) + e.record;
        return out;
    }
};

std::vector<std::string> g_comparisons; // "scanned/pivot" of each comparison, in order
long g_comparisonCount;

int RecordingCompare(const void* a, const void* b)
{
    g_comparisons.push_back(std::string(((const ActionEntry*)a)->record) + "/" + ((const ActionEntry*)b)->record);
    return CompareKeys(a, b);
}

int CountingCompare(const void* a, const void* b)
{
    g_comparisonCount++;
    return CompareKeys(a, b);
}

void Sort(Entries& e, CompareFunction compare = CompareKeys)
{
    SortActions(e.entries.data(), (int)e.entries.size(), (unsigned short)sizeof(ActionEntry), compare);
}

} // namespace

TEST(SortActions, OrderOfEqualKeys)
{
    struct Row { std::vector<std::pair<int, std::string>> before; std::string after; } rows[] = {
        {{{5, "x"}, {5, "y"}}, "5y, 5x"},
        {{{5, "x"}, {5, "y"}, {5, "z"}}, "5z, 5y, 5x"},
        {{{5, "a"}, {5, "b"}, {5, "c"}, {5, "d"}}, "5d, 5c, 5a, 5b"},
        {{{30001, "a"}, {20000, "b"}, {30001, "c"}, {20000, "d"}, {30001, "e"}},
         "20000b, 20000d, 30001e, 30001c, 30001a"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Entries e(rows[i].before);
        Sort(e);
        EXPECT_EQ(rows[i].after, e.Show()) << "row " << i;
    }
}

TEST(SortActions, ComparesScannedElementWithPivotInTraceOrder)
{
    Entries e({{30001, "a"}, {20000, "b"}, {30001, "c"}, {20000, "d"}, {30001, "e"}});
    g_comparisons.clear();
    Sort(e, RecordingCompare);
    std::vector<std::string> expected = {
        "b/c", "a/c", "e/c",        // first scans: stop at a and at e, swap
        "d/c", "a/c", "d/c",        // crossed at a and d; pivot c to index 3
        "d/b", "e/b", "d/b",        // left part d, b, e with pivot b: both scans stop at d
        "e/b",                      // left scan stops at e; the right scan reaches the pivot unasked
    };
    EXPECT_EQ(expected, g_comparisons);
    EXPECT_EQ("20000b, 20000d, 30001e, 30001c, 30001a", e.Show());
}

TEST(SortActions, SmallArrays)
{
    struct Row { std::vector<std::pair<int, std::string>> before; std::string after; unsigned short size; } rows[] = {
        {{}, "", sizeof(ActionEntry)},
        {{{7, "a"}}, "7a", sizeof(ActionEntry)},
        {{{9, "a"}, {3, "b"}}, "9a, 3b", 0},           // size 0: nothing is touched
        {{{9, "a"}, {3, "b"}}, "3b, 9a", sizeof(ActionEntry)},
        {{{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}}, "1a, 2b, 3c, 4d, 5e", sizeof(ActionEntry)},
        {{{5, "a"}, {4, "b"}, {3, "c"}, {2, "d"}, {1, "e"}}, "1e, 2d, 3c, 4b, 5a", sizeof(ActionEntry)},
        // Keys compare as signed numbers.
        {{{1001, "a"}, {-5, "b"}, {30001, "c"}}, "-5b, 1001a, 30001c", sizeof(ActionEntry)},
        {{{INT_MAX, "a"}, {INT_MIN, "b"}, {0, "c"}}, "-2147483648b, 0c, 2147483647a", sizeof(ActionEntry)},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Entries e(rows[i].before);
        SortActions(e.entries.data(), (int)e.entries.size(), rows[i].size, CompareKeys);
        EXPECT_EQ(rows[i].after, e.Show()) << "row " << i;
    }
}

TEST(CompareKeys, SignedThreeWay)
{
    struct Row { int a; int b; int expected; } rows[] = {
        {1, 2, -1}, {2, 1, 1}, {5, 5, 0}, {-5, 1001, -1},
        {INT_MIN, INT_MAX, -1}, {INT_MAX, INT_MIN, 1}, {INT_MIN, 1, -1}, {-1, -1, 0},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        ActionEntry a = {rows[i].a, nullptr};
        ActionEntry b = {rows[i].b, nullptr};
        EXPECT_EQ(rows[i].expected, CompareKeys(&a, &b))
            << "row " << i << ": " << rows[i].a << " against " << rows[i].b;
    }
}

TEST(SwapBytes, ExchangesAndLeavesTheRest)
{
    char text[] = "abcdefgh";
    SwapBytes(text, text + 5, 3);
    EXPECT_STREQ("fghdeabc", text);
    SwapBytes(text + 2, text + 2, 4);
    EXPECT_STREQ("fghdeabc", text);
    SwapBytes(text, text + 1, 0);
    EXPECT_STREQ("fghdeabc", text);
}

TEST(SortActions, FullListsStayShallow)
{
    const int n = MAX_ACTIONS;
    unsigned int seed = 12345;
    auto next = [&seed]() { seed = seed * 1103515245u + 12345u; return (int)((seed >> 16) & 0x7FFF); };
    struct Row { const char* what; std::vector<int> keys; } rows[] = {
        {"all equal", std::vector<int>(n, 30001)},
        {"ascending", {}},
        {"descending", {}},
        {"small key set", {}},
        {"random", {}},
    };
    for (int k = 0; k < n; k++) {
        rows[1].keys.push_back(1001 + k);
        rows[2].keys.push_back(64999 - k);
        rows[3].keys.push_back(3999 + 1000 * (next() % 4));
        rows[4].keys.push_back(next() * 3 - 40000);
    }
    // About n log2 n comparisons; a bad pivot would take about n * n / 2.
    const long bound = 2L * n * 15;
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        std::vector<ActionEntry> entries;
        std::vector<std::string> tags(n);
        for (int k = 0; k < n; k++) {
            tags[k] = std::to_string(k);
            entries.push_back({rows[i].keys[k], (char*)tags[k].c_str()});
        }
        g_comparisonCount = 0;
        SortActions(entries.data(), n, (unsigned short)sizeof(ActionEntry), CountingCompare);
        EXPECT_LE(g_sortMaxDepth, 13) << "row " << i << " (" << rows[i].what << ")";
        EXPECT_GE(g_sortMaxDepth, 1) << "row " << i << " (" << rows[i].what << ")";
        EXPECT_LE(g_comparisonCount, bound) << "row " << i << " (" << rows[i].what << ")";
        std::vector<int> expected = rows[i].keys;
        std::sort(expected.begin(), expected.end());
        std::vector<int> got;
        std::vector<bool> seen(n, false);
        bool permutation = true;
        for (const auto& e : entries) {
            got.push_back(e.key);
            int tag = std::stoi(e.record);
            if (seen[tag] || rows[i].keys[tag] != e.key)
                permutation = false;
            seen[tag] = true;
        }
        EXPECT_EQ(expected, got) << "row " << i << " (" << rows[i].what << ") is not sorted";
        EXPECT_TRUE(permutation) << "row " << i << " (" << rows[i].what << ") lost or changed entries";
    }
}
