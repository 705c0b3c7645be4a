// Library calls: what the called function receives, when the library is loaded and released, and when a result ends the run.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "early_support.h"
#include "actions/actions.h"
#include "common/common.h"

using namespace early;

namespace {

// testlib.dll appends its load, its calls (arguments separated by tabs) and its release to the
// file that UNINST_TESTLIB_LOG names; RecordN returns UNINST_TESTLIB_RESULT.
struct LibraryFixture {
    std::string folder;
    std::string calls;
    std::string library;
    LibraryFixture()
    {
        folder = FreshFolder(TestName());
        calls = folder + "\\calls.txt";
        library = TestBin("testlib.dll");
        SetEnvironmentVariableA("UNINST_TESTLIB_LOG", calls.c_str());
        SetEnvironmentVariableA("UNINST_TESTLIB_RESULT", NULL);
    }
    ~LibraryFixture()
    {
        SetEnvironmentVariableA("UNINST_TESTLIB_LOG", NULL);
        SetEnvironmentVariableA("UNINST_TESTLIB_RESULT", NULL);
        DeleteTree(folder);
    }
    void Reset(const char* result)
    {
        DeleteFileA(calls.c_str());
        SetEnvironmentVariableA("UNINST_TESTLIB_RESULT", result);
    }
};

} // namespace

// Both letters with calls that go on: the arguments in order and with their quotes, the library
// loaded for the call and released after it, and nothing loaded for a record that cannot be called.
TEST(EarlyLibraryCall, CallsThatGoOn)
{
    LibraryFixture f;
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(f.library.c_str())) << f.library;
    const std::string L = f.library;
    const std::string arg255(255, 'a');
    struct Case {
        int row;
        std::string record;
        const char* result;  // what RecordN returns; null: its default, 1
        std::vector<std::string> expected;
    } cases[] = {
        {1, "D" + L + ",Record0,0", nullptr, {"load", "Record0", "unload"}},
        {2, "D" + L + ",Record0,0,unread,fields", nullptr, {"load", "Record0", "unload"}},
        {3, "D" + L + ",Record1,1,one", nullptr, {"load", "Record1\tone", "unload"}},
        {4, "D" + L + ",Record3,3,a,b,c", nullptr, {"load", "Record3\ta\tb\tc", "unload"}},
        {5, "D" + L + ",Record5,5,1st,2nd,3rd,4th,5th", nullptr, {"load", "Record5\t1st\t2nd\t3rd\t4th\t5th", "unload"}},
        {6, "D" + L + ",Record2,2,\"x,y\",\"z\"", nullptr, {"load", "Record2\t\"x,y\"\t\"z\"", "unload"}},
        {7, "D" + L + ",Record2,2,,", nullptr, {"load", "Record2\t\t", "unload"}},
        // A missing argument field reads as the whole fields text.
        {8, "D" + L + ",Record2,2,only", nullptr, {"load", "Record2\tonly\t" + L + ",Record2,2,only", "unload"}},
        {9, "D" + L + ",Record4,4,a,b,c,d,e,f", nullptr, {"load", "Record4\ta\tb\tc\td", "unload"}},
        {10, "D" + L + ",ReturnZero,0", nullptr, {"load", "ReturnZero", "unload"}},
        {11, "D" + L + ",Record0,0", "0", {"load", "Record0", "unload"}},
        {12, "C" + L + ",Record0,0", "5", {"load", "Record0", "unload"}},
        {13, "C" + L + ",Record0,0", "-1", {"load", "Record0", "unload"}},
        {14, "C" + L + ",ReturnNegative,0", nullptr, {"load", "ReturnNegative", "unload"}},
        {15, "C" + L + ",Record1,1,-0", "-2147483648", {"load", "Record1\t-0", "unload"}},
        // Nothing to call: a missing export still releases the library; a missing library is passed over.
        {16, "D" + L + ",NoSuchExport,0", nullptr, {"load", "unload"}},
        {17, "C" + L + ",NoSuchExport,0", "0", {"load", "unload"}},
        {18, "C" + f.folder + "\\missing.dll,Record0,0", "0", {}},
        {19, "Dno such library.dll,Record0,0", nullptr, {}},
        // Counts without a call do not even load the library.
        {20, "C" + L + ",Record0,6,a,b,c,d,e,f", "0", {}},
        {21, "C" + L + ",Record0,-1", "0", {}},
        {22, "C" + L + ",Record0,4294967296", nullptr, {"load", "Record0", "unload"}}, // wraps to 0
        {23, "C" + L + ",Record0,x", nullptr, {"load", "Record0", "unload"}},          // no digits: 0
        // Fields beyond their buffers pass the record over before anything is loaded.
        {24, "D" + L + ",Record1,1," + arg255, nullptr, {"load", "Record1\t" + arg255, "unload"}},
        {25, "D" + L + ",Record1,1," + arg255 + "a", nullptr, {}},
        {26, "C" + L + ",Record2,2,a," + std::string(4000, 'a'), "0", {}},
        {27, "C" + L + ",Record" + std::string(58, '0') + ",0", "0", {}},   // a 64-character name
        {28, "D" + L + ",Record0," + std::string(63, '0'), nullptr, {"load", "Record0", "unload"}},
        {29, "C" + L + ",Record0," + std::string(64, '0'), "0", {}},
        {30, "C" + f.folder + "\\" + std::string(600, 'l') + ".dll,Record0,0", "0", {}},
    };
    for (const Case& c : cases) {
        f.Reset(c.result);
        {
            CurrentRecord record(c.record);
            CallLibraryFunction(c.record[0] == 'C');
        }
        std::vector<std::string> lines = ReadLines(f.calls);
        EXPECT_EQ(Join(c.expected), Join(lines)) << "row " << c.row << ": " << c.record.substr(0, 120);
        EXPECT_EQ(NULL, GetModuleHandleA(f.library.c_str())) << "row " << c.row << ": library still loaded";
    }
}

// A C function that returns 0 ends the process at once with its exit code, after the library is
// released; the calls file shows what ran in the child.
TEST(EarlyLibraryCallDeathTest, ZeroResultOfCEnds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    LibraryFixture f;
    const std::string L = f.library;
    struct Case {
        int row;
        std::string record;
        const char* result;
        std::vector<std::string> expected;
    } cases[] = {
        {1, "C" + L + ",ReturnZero,0", nullptr, {"load", "ReturnZero", "unload"}},
        {2, "C" + L + ",Record3,3,a,\"b,c\",d", "0", {"load", "Record3\ta\t\"b,c\"\td", "unload"}},
    };
    for (const Case& c : cases) {
        f.Reset(c.result);
        EXPECT_EXIT(
            {
                CurrentRecord record(c.record);
                CallLibraryFunction(1);
                ExitProcess(3); // returned: wrong
            },
            ::testing::ExitedWithCode(EXIT_CALL_REFUSED), "")
            << "row " << c.row;
        EXPECT_EQ(Join(c.expected), Join(ReadLines(f.calls))) << "row " << c.row;
    }
}
