// Sorted string sets: search, insertion order, capacity, the path pool and overlapping moves.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <algorithm>
#include <cstdio>
#include <cctype>
#include <cstring>
#include "fixtures.h"
#include "log/log.h"
#include "common/common.h"

namespace {

using fixtures::IsWine;

// A set over its own blocks with one slot more than the capacity, holding a canary. With keys it
// keeps the sort keys of its strings in a pool of its own, as the run's sets do; without, every
// comparison goes to CompareStringA, as for a string whose key cannot be made.
struct TestSet {
    SortedStringSet set;
    std::vector<char*> block;
    std::vector<char*> keyBlock;
    StringPoolType pool = {};
    char canary[8] = "canary";
    explicit TestSet(bool withKeys) : block(SET_CAPACITY + 1, nullptr), keyBlock(SET_CAPACITY + 1, nullptr)
    {
        set = {};
        set.items = block.data();
        set.capacity = SET_CAPACITY;
        set.grows = 0;
        block[SET_CAPACITY] = canary;
        keyBlock[SET_CAPACITY] = canary;
        if (withKeys) {
            AllocatePool(&pool);
            set.keys = keyBlock.data();
            set.keyPool = &pool;
        }
    }
    ~TestSet() { ReleasePool(&pool); }
    std::vector<std::string> Items() const
    {
        return std::vector<std::string>(block.begin(), block.begin() + set.count);
    }
};

// The set tests run once over sort keys and once with CompareStringA for every comparison.
class StringSet : public ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(Comparison, StringSet, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "SortKeys" : "CompareString"; });

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

std::string SortKey(LCID locale, const std::string& s)
{
    char key[8192];
    int n = LCMapStringA(locale, LCMAP_SORTKEY | NORM_IGNORECASE, s.c_str(), -1, key, sizeof key); // 0x400 | 0x1
    return n > 0 ? std::string(key, (size_t)n) : std::string();
}

// Every slot's key is the sort key of the string in the same slot.
std::string KeyFault(const SortedStringSet& set)
{
    for (int i = 0; set.keys && i < set.count; i++) {
        std::string expected = SortKey(LOCALE_USER_DEFAULT, set.items[i]);
        if (!set.keys[i] || std::string(set.keys[i], strlen(set.keys[i]) + 1) != expected)
            return "slot " + std::to_string(i) + " (" + set.items[i] + "): its key is not the string's";
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

TEST_P(StringSet, LocateAndInsert)
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
        TestSet t(GetParam());
        for (const char* s : rows[i].items)
            ASSERT_EQ(1, SetInsert(&t.set, s)) << "row " << i << " " << s;
        EXPECT_EQ(rows[i].locate, SetLocate(&t.set, rows[i].s)) << "row " << i << " locate " << rows[i].s;
        EXPECT_EQ(rows[i].pos, t.set.pos) << "row " << i << " pos after locating " << rows[i].s;
        EXPECT_EQ(rows[i].inserted, SetInsert(&t.set, rows[i].s)) << "row " << i << " insert " << rows[i].s;
        EXPECT_EQ(rows[i].after, Join(t.Items())) << "row " << i;
        if (rows[i].inserted)
            EXPECT_STREQ(rows[i].s, t.block[t.set.pos]) << "row " << i << ": pos names the new slot";
    }
}

TEST_P(StringSet, InsertionOrdersKeepTheSetSorted)
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
        TestSet t(GetParam());
        for (int k : rows[r].order)
            ASSERT_EQ(1, SetInsert(&t.set, names[k].c_str())) << "row " << r << " (" << rows[r].what << ") " << names[k];
        EXPECT_EQ(n, t.set.count) << "row " << r;
        EXPECT_EQ("", OrderFault(t.set)) << "row " << r << " (" << rows[r].what << ")";
        EXPECT_EQ("", KeyFault(t.set)) << "row " << r << " (" << rows[r].what << ")";
        for (int k : rows[r].order) {
            EXPECT_EQ(0, SetInsert(&t.set, others[k].c_str())) << "row " << r << " " << others[k];
            EXPECT_STREQ(names[k].c_str(), t.set.items[t.set.pos]) << "row " << r << ": pos of " << others[k];
        }
        EXPECT_EQ(n, t.set.count) << "row " << r;
    }
    // Small sets of every size, where the halving meets odd and even spans.
    for (int size = 1; size <= 40; size++) {
        TestSet t(GetParam());
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

// Strings whose keys could not be made sit among keyed ones and are compared with CompareStringA;
// the set still finds every string in other letter case and stays sorted as new ones come.
TEST(StringSetKeys, ItemsWithoutKeysAreFoundAndKeptInOrder)
{
    TestSet t(true);
    std::vector<std::string> names, later;
    char buffer[64];
    for (int i = 0; i < 2000; i++) {
        snprintf(buffer, sizeof buffer, "c:\\App\\Dir%02d\\File%05d.txt", i % 37, (i * 7919) % 10007);
        (i % 2 ? later : names).push_back(buffer);
    }
    for (const std::string& n : names)
        ASSERT_EQ(1, SetInsert(&t.set, n.c_str())) << n;
    for (int i = 0; i < t.set.count; i += 3)
        t.set.keys[i] = nullptr;
    for (const std::string& n : names) {
        std::string upper = n;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return (char)toupper((unsigned char)c); });
        EXPECT_EQ(0, SetInsert(&t.set, upper.c_str())) << upper;
        EXPECT_STREQ(n.c_str(), t.set.items[t.set.pos]) << upper;
    }
    for (const std::string& n : later)
        ASSERT_EQ(1, SetInsert(&t.set, n.c_str())) << n;
    EXPECT_EQ((int)(names.size() + later.size()), t.set.count);
    EXPECT_EQ("", OrderFault(t.set));
}

TEST_P(StringSet, FullSetTakesNothingMore)
{
    TestSet t(GetParam());
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
    EXPECT_EQ(t.canary, t.keyBlock[SET_CAPACITY]);
    EXPECT_EQ("", OrderFault(t.set));
}

// The sets compare sort keys byte by byte, up to their zero, in the place of CompareStringA with
// NORM_IGNORECASE; Windows documents that the two order alike. Checked here against the comparison
// itself, in the user's locale and in locales of every kind of code page, over mixed-case,
// accented, double-byte and punctuation-heavy strings: the order of every neighbouring pair in key
// order and of many pairs at random, equality included. A key that holds a zero before its end is
// never used (its string is compared with CompareStringA); the rows say how many such keys they
// may meet. Known Wine difference: bytes that code page 1253 leaves undefined become private-use
// characters, whose keys under Wine hold zeros.
TEST(SortKeys, OrderAndEqualityAsCompareString)
{
    const char* const pieces[] = {
        "a", "A", "b", "B", "z", "Z", "ab", "aB", "Ab", "i", "I", "\xfd", "\xdd", "\xfe", // dotless i and thorn in 1254/1252
        "-", "'", " ", "_", ".", "\\", "~", "!", "#", "$", "%", "&", "(", ")", "[", "]", "{", "}", "+", "=", ";", ",", "^", "`",
        "0", "1", "2", "9", "10", "\xb2", "\xbd", "\xaa", "\xba",                                  // digits and their look-alikes
        "\xe9", "\xc9", "e", "E", "\xe8", "\xeb", "\xdf", "ss", "SS", "\xe6", "ae", "AE", "\xc6", "\xf1", "\xd1", "n",
        "\xf8", "\xd8", "o", "oe", "\x9c", "\x8c", "\xfc", "\xdc", "ue", "u", "\xe5", "aa", "\xc5", "ch", "CH", "ll",
        "\x7f", "\x01", "\x1f", "\xad", "\xa0", "\x80", "\x81", "\x8d", "\x9f", "\xff", "\x8a", "\x9a",
        "\x82\xa0", "\x83\x41", "\x88\x9f", "\x82\x60", "\xb1", "\x81\x5c", "\x81\x40",             // Shift-JIS: kana, kanji, wide A, narrow kana
        "\xb0\xa1", "\xc4\xe3", "\xa3\xc1", "\xa1\xa1",                                            // GBK, EUC-KR and Big5 pairs
        "\x82", "\xb0",                                                                            // lead bytes alone
        "C:\\Program Files\\App\\", "c:\\program files\\app\\", "C:\\PROGRA~1\\", "\\\\server\\share\\",
    };
    std::vector<std::string> corpus;
    for (const char* a : pieces)
        corpus.push_back(a);
    for (const char* a : pieces)
        for (const char* b : pieces)
            if (strlen(a) + strlen(b) <= 4 || (strlen(a) > 4) != (strlen(b) > 4))
                corpus.push_back(std::string(a) + b);
    for (const char* a : pieces)
        corpus.push_back(std::string("c:\\App\\") + a + "\\File" + a + ".DLL,0");
    corpus.push_back("");

    struct Row {
        int row;
        LCID locale;
        const char* what;
        bool zerosInKeys; // keys with a zero inside may occur (and are then not used)
    } rows[] = {
        {1, LOCALE_USER_DEFAULT, "the user's", false}, {2, 0x0409, "English (1252)", false}, {3, 0x0407, "German", false},
        {4, 0x041F, "Turkish (1254)", false}, {5, 0x041D, "Swedish", false}, {6, 0x0406, "Danish", false},
        {7, 0x040A, "Spanish, traditional", false}, {8, 0x0405, "Czech (1250)", false}, {9, 0x040E, "Hungarian", false},
        {10, 0x0419, "Russian (1251)", false}, {11, 0x0408, "Greek (1253)", IsWine()}, {12, 0x040D, "Hebrew (1255)", false},
        {13, 0x0401, "Arabic (1256)", false}, {14, 0x041E, "Thai (874)", false}, {15, 0x042A, "Vietnamese (1258)", false},
        {16, 0x0411, "Japanese (932)", false}, {17, 0x0804, "Chinese (936)", false}, {18, 0x0412, "Korean (949)", false},
        {19, 0x0404, "Chinese (950)", false},
    };
    unsigned int seed = 4242;
    auto next = [&seed]() { seed = seed * 1103515245u + 12345u; return (seed >> 8) & 0xFFFFFF; };
    for (const Row& r : rows) {
        std::vector<std::string> keys;
        std::vector<size_t> usable;
        for (size_t i = 0; i < corpus.size(); i++) {
            keys.push_back(SortKey(r.locale, corpus[i]));
            ASSERT_FALSE(keys.back().empty()) << "row " << r.row << " (" << r.what << "): no key for [" << corpus[i] << "]";
            if (keys.back().size() - 1 == strlen(keys.back().c_str()))
                usable.push_back(i);
        }
        if (!r.zerosInKeys)
            EXPECT_EQ(corpus.size(), usable.size()) << "row " << r.row << " (" << r.what << "): keys with a zero inside";
        EXPECT_LT(corpus.size() / 2, usable.size()) << "row " << r.row << " (" << r.what << "): too few keys to check";
        std::vector<size_t> order = usable;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return strcmp(keys[a].c_str(), keys[b].c_str()) < 0; });
        std::vector<std::pair<size_t, size_t>> pairs;
        for (size_t i = 1; i < order.size(); i++)
            pairs.push_back({order[i - 1], order[i]});
        for (int i = 0; i < 20000; i++)
            pairs.push_back({usable[next() % usable.size()], usable[next() % usable.size()]});
        int faults = 0;
        for (const auto& p : pairs) {
            int byKey = strcmp(keys[p.first].c_str(), keys[p.second].c_str());
            byKey = byKey < 0 ? CSTR_LESS_THAN : (byKey > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL);
            int byCompare = CompareStringA(r.locale, NORM_IGNORECASE, corpus[p.first].c_str(), -1, corpus[p.second].c_str(), -1);
            if (byKey != byCompare && faults++ < 5)
                ADD_FAILURE() << "row " << r.row << " (" << r.what << "): [" << corpus[p.first] << "] against ["
                              << corpus[p.second] << "]: CompareStringA gives " << byCompare << ", the keys give " << byKey;
        }
        EXPECT_EQ(0, faults) << "row " << r.row << " (" << r.what << "): " << usable.size() << " strings, " << pairs.size() << " pairs";
    }
}

// ProcessedFiles and StringPool as stage control sets them up, released again at the end.
class GrowingTables : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedSet_ = ProcessedFiles;
        savedPool_ = StringPool;
        savedRecords_ = RecordSet;
        savedPathKeys_ = PathKeys;
        savedRecordKeys_ = RecordKeys;
        AllocateRunTables();
    }
    void TearDown() override
    {
        ReleaseSet(&ProcessedFiles);
        ReleaseSet(&RecordSet);
        ReleasePool(&StringPool);
        ReleasePool(&PathKeys);
        ReleasePool(&RecordKeys);
        ProcessedFiles = savedSet_;
        StringPool = savedPool_;
        RecordSet = savedRecords_;
        PathKeys = savedPathKeys_;
        RecordKeys = savedRecordKeys_;
    }
    // Bytes still free in the newest pool block.
    static INT_PTR Room() { return StringPool.end - StringPool.next; }
    // Fills the newest block up to `left` free bytes with one path of the right length.
    static void FillTo(INT_PTR left, const char* prefix)
    {
        std::string fill = prefix + std::string((size_t)(Room() - left - 1) - strlen(prefix), 'f');
        ASSERT_EQ(1, MarkProcessed(fill.c_str()));
        ASSERT_EQ(left, Room());
    }
private:
    SortedStringSet savedSet_, savedRecords_;
    StringPoolType savedPool_, savedPathKeys_, savedRecordKeys_;
};

TEST_F(GrowingTables, PoolHoldsEachPathOnce)
{
    struct Row { int row; const char* path; int result; int growth; } rows[] = {
        {1, "c:\\app\\a.dll", 1, 13},
        {2, "C:\\APP\\A.DLL", 0, 0},             // same path in other case: the copy is not kept
        {3, "app\\a.dll", 1, 10},                // relative and absolute paths are different
        {4, "c:\\app\\b.dll", 1, 13},
        {5, "c:\\app\\a.dll", 0, 0},
    };
    for (const Row& r : rows) {
        char* before = StringPool.next;
        EXPECT_EQ(r.result, MarkProcessed(r.path)) << "row " << r.row << " " << r.path;
        EXPECT_EQ(r.growth, StringPool.next - before) << "row " << r.row << " " << r.path;
    }
    EXPECT_EQ(3, ProcessedFiles.count);
    EXPECT_EQ(nullptr, StringPool.further) << "three paths take no further block";
}

// The first block's end: a path that fills it exactly stays in it, the next one goes to a further
// block, a path longer than a whole block gets a block of its own size, and every path already
// marked still reads as it was and is still found in other letter case.
TEST_F(GrowingTables, PoolTakesFurtherBlocksAtItsEdges)
{
    char* first = StringPool.block;
    FillTo(7, "c:\\fill\\");
    struct Row {
        int row;
        std::string path;
        bool newBlock;      // the copy lies in a further block taken for it
        SIZE_T blockSize;   // that block's size, 0 when none was taken
    } rows[] = {
        {1, "x12345", false, 0},                                            // 6 characters and the zero: exactly the rest
        {2, "y", true, STRING_POOL_SIZE},                                   // no byte left: the next block
        {3, std::string(STRING_POOL_SIZE, 'L'), true, sizeof(char*) + STRING_POOL_SIZE + 1}, // longer than a block
        {4, "z", true, STRING_POOL_SIZE},                                   // the long one's block is full
        {5, "w", false, 0},                                                 // shares the block with row 4
    };
    std::vector<char*> copies;
    for (const Row& r : rows) {
        char* further = StringPool.further;
        ASSERT_EQ(1, MarkProcessed(r.path.c_str())) << "row " << r.row;
        ASSERT_EQ(r.newBlock, StringPool.further != further) << "row " << r.row << ": path of " << r.path.size();
        char* copy = ProcessedFiles.items[ProcessedFiles.pos];
        copies.push_back(copy);
        EXPECT_EQ(r.path, std::string(copy)) << "row " << r.row;
        if (r.newBlock) {
            EXPECT_EQ(further, *(char**)StringPool.further) << "row " << r.row << ": link to the block before";
            EXPECT_EQ(StringPool.further + sizeof(char*), copy) << "row " << r.row << ": first string of the block";
            EXPECT_EQ((INT_PTR)r.blockSize, StringPool.end - StringPool.further) << "row " << r.row;
        }
        EXPECT_EQ(copy + r.path.size() + 1, StringPool.next) << "row " << r.row;
    }
    EXPECT_EQ(first + STRING_POOL_SIZE, copies[0] + 7) << "row 1 ends the first block exactly";
    EXPECT_EQ(first, StringPool.block) << "the first block never moves";
    for (size_t i = 0; i < copies.size(); i++) {
        EXPECT_EQ(rows[i].path, std::string(copies[i])) << "row " << rows[i].row << " after the growth";
        std::string upper = rows[i].path;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return (char)toupper((unsigned char)c); });
        EXPECT_EQ(0, MarkProcessed(upper.c_str())) << "row " << rows[i].row << " in other case";
    }
}

// The set's first block holds SET_CAPACITY pointers; the next path moves the set to a block twice as
// large, the strings stay where they were, and the order and the one-place rule hold across it.
TEST_F(GrowingTables, ProcessedFilesGrowsPastItsFirstBlock)
{
    std::vector<std::string> names;
    char buffer[64];
    for (int i = 0; i < 3 * SET_CAPACITY; i++) {
        snprintf(buffer, sizeof buffer, "c:\\app\\dir%03d\\File%06d.dat", (int)((i * 7919u) % 997u), (int)((i * 104729ull) % 1000003ull));
        names.push_back(buffer);
    }
    std::vector<char*> copies;
    for (int i = 0; i < SET_CAPACITY; i++) {
        ASSERT_EQ(1, MarkProcessed(names[i].c_str())) << names[i];
        copies.push_back(ProcessedFiles.items[ProcessedFiles.pos]);
    }
    char** firstItems = ProcessedFiles.items;
    EXPECT_EQ(SET_CAPACITY, ProcessedFiles.count) << "the 20000th entry fits the first block";
    EXPECT_EQ(SET_CAPACITY, ProcessedFiles.capacity);
    ASSERT_EQ(1, MarkProcessed(names[SET_CAPACITY].c_str())) << "the 20001st entry";
    copies.push_back(ProcessedFiles.items[ProcessedFiles.pos]);
    EXPECT_NE(firstItems, ProcessedFiles.items) << "the set moved to a larger block";
    EXPECT_EQ(2 * SET_CAPACITY, ProcessedFiles.capacity);
    for (int i = SET_CAPACITY + 1; i < 3 * SET_CAPACITY; i++) {
        ASSERT_EQ(1, MarkProcessed(names[i].c_str())) << names[i];
        copies.push_back(ProcessedFiles.items[ProcessedFiles.pos]);
    }
    EXPECT_EQ(3 * SET_CAPACITY, ProcessedFiles.count);
    EXPECT_EQ(4 * SET_CAPACITY, ProcessedFiles.capacity);
    EXPECT_EQ("", OrderFault(ProcessedFiles));
    EXPECT_EQ("", KeyFault(ProcessedFiles)) << "the keys moved with their strings";
    for (size_t i = 0; i < names.size(); i++) {
        ASSERT_EQ(names[i], std::string(copies[i])) << "entry " << i + 1 << " after the growth";
        std::string upper = names[i];
        std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return (char)toupper((unsigned char)c); });
        ASSERT_EQ(0, MarkProcessed(upper.c_str())) << "entry " << i + 1 << " in other case";
    }
    EXPECT_EQ(3 * SET_CAPACITY, ProcessedFiles.count);
}

// RecordSet keeps the limit the log format documents: it never grows.
TEST_F(GrowingTables, RecordSetKeepsItsLimit)
{
    std::vector<std::string> names;
    char buffer[32];
    for (int i = 0; i <= SET_CAPACITY; i++) {
        snprintf(buffer, sizeof buffer, "P%05d,x", i);
        names.push_back(buffer);
    }
    for (int i = 0; i < SET_CAPACITY; i++)
        ASSERT_EQ(1, SetInsert(&RecordSet, names[i].c_str())) << i;
    char** items = RecordSet.items;
    EXPECT_EQ(0, SetInsert(&RecordSet, names[SET_CAPACITY].c_str()));
    EXPECT_EQ(items, RecordSet.items);
    EXPECT_EQ(SET_CAPACITY, RecordSet.count);
    EXPECT_EQ(SET_CAPACITY, RecordSet.capacity);
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
