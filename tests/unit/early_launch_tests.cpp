// Program launches: the command line the program gets, its current directory, the wait, and what starts nothing.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "early_support.h"
#include "actions/actions.h"

using namespace early;

namespace {

// trace.exe appends "<its command line>\t<its current directory>" to the file in its first
// argument (or, without arguments, to UNINST_TRACE_FILE).
struct LaunchFixture {
    std::string folder;
    std::string longFolder;  // has a blank, so its short form differs
    std::string traceInLong;
    std::string plainTrace;  // no blank anywhere in its path
    std::string traces;
    LaunchFixture()
    {
        folder = FreshFolder(TestName());
        longFolder = folder + "\\Long Folder Name";
        CreateDirectoryA(longFolder.c_str(), NULL);
        CreateDirectoryA((folder + "\\plain").c_str(), NULL);
        traceInLong = longFolder + "\\trace.exe";
        plainTrace = folder + "\\plain\\trace.exe";
        traces = folder + "\\traces.txt";
        std::string source = TestBin("trace.exe");
        EXPECT_TRUE(CopyFileA(source.c_str(), traceInLong.c_str(), FALSE)) << source;
        EXPECT_TRUE(CopyFileA(source.c_str(), plainTrace.c_str(), FALSE)) << source;
        SetEnvironmentVariableA("UNINST_TRACE_FILE", traces.c_str());
    }
    ~LaunchFixture()
    {
        SetEnvironmentVariableA("UNINST_TRACE_FILE", NULL);
        DeleteTree(folder);
    }
};

std::string ShortPath(const std::string& path)
{
    char buffer[MAX_PATH + 1];
    DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer) : std::string();
}

std::string CurrentDirectory()
{
    char buffer[MAX_PATH + 1];
    GetCurrentDirectoryA(sizeof buffer, buffer);
    return buffer;
}

} // namespace

// The command line as the started program sees it: a leading quoted path replaced by its short
// form with the rest appended unchanged; other command lines as written.
TEST(EarlyLaunch, CommandLines)
{
    LaunchFixture f;
    std::string shortTrace = ShortPath(f.traceInLong);
    std::string shortFolder = ShortPath(f.longFolder);
    ASSERT_FALSE(shortTrace.empty());
    ASSERT_EQ(std::string::npos, shortTrace.find(' ')) << shortTrace;
    std::string here = CurrentDirectory();
    std::string T = f.traces;
    struct Case {
        int row;
        std::string commandLine;
        std::vector<std::string> expected;  // lines of the traces file
    } cases[] = {
        {1, "\"" + f.traceInLong + "\" " + T, {shortTrace + " " + T + "\t" + here}},
        // The rest is appended directly: here it continues the short folder name into a path.
        {2, "\"" + f.longFolder + "\"\\trace.exe " + T, {shortFolder + "\\trace.exe " + T + "\t" + here}},
        {3, "\"" + f.traceInLong + "\" \"" + T + "\" \"an argument\"", {shortTrace + " \"" + T + "\" \"an argument\"\t" + here}},
        {4, "\"" + f.traceInLong + "\"", {shortTrace + "\t" + here}},
        {5, f.plainTrace + " " + T + " \"quoted, with a comma\"", {f.plainTrace + " " + T + " \"quoted, with a comma\"\t" + here}},
        {6, "\"" + f.plainTrace + "\" " + T + " sleep=300", {ShortPath(f.plainTrace) + " " + T + " sleep=300\t" + here}},
        // Without its closing quote the program's path has no end: nothing starts.
        {7, "\"" + f.plainTrace, {}},
        {8, "\"" + f.plainTrace + " " + T, {}},
        {9, "\"" + f.folder + "\\no such program.exe\" " + T, {}},
        {10, f.folder + "\\missing.exe " + T, {}},
        {11, "", {}},
    };
    for (const Case& c : cases) {
        DeleteFileA(f.traces.c_str());
        {
            CurrentRecord record("E" + c.commandLine);
            LaunchProgram();
        }
        // The handler waits for the program, so its trace is complete when it returns.
        EXPECT_EQ(Join(c.expected), Join(ReadLines(f.traces))) << "row " << c.row << ": " << c.commandLine;
    }
}

// A quoted path with no short form to take (here a bare name found on the search path) runs as
// written, quotes and all, instead of as whatever a failed conversion leaves.
TEST(EarlyLaunch, PathWithoutShortFormRunsAsWritten)
{
    LaunchFixture f;
    std::string path = Env("PATH");
    SetEnvironmentVariableA("PATH", (f.folder + "\\plain;" + path).c_str());
    ASSERT_TRUE(ShortPath("trace.exe").empty()) << "trace.exe must not be in the current directory";
    std::string commandLine = "\"trace.exe\" " + f.traces + " x";
    {
        CurrentRecord record("E" + commandLine);
        LaunchProgram();
    }
    SetEnvironmentVariableA("PATH", path.c_str());
    EXPECT_EQ(Join({commandLine + "\t" + CurrentDirectory()}), Join(ReadLines(f.traces)));
}

// The program starts in the uninstaller's current directory.
TEST(EarlyLaunch, CurrentDirectoryIsInherited)
{
    LaunchFixture f;
    std::string before = CurrentDirectory();
    std::string start = f.folder + "\\start here";
    CreateDirectoryA(start.c_str(), NULL);
    ASSERT_TRUE(SetCurrentDirectoryA(start.c_str()));
    {
        CurrentRecord record("E" + f.plainTrace + " " + f.traces);
        LaunchProgram();
    }
    SetCurrentDirectoryA(before.c_str());
    EXPECT_EQ(Join({f.plainTrace + " " + f.traces + "\t" + start}), Join(ReadLines(f.traces)));
}

// Command lines at and beyond their 511 characters: one that fits runs as written, a longer one
// is not cut into another command (nothing starts).
TEST(EarlyLaunch, CommandLineLength)
{
    LaunchFixture f;
    std::string start = f.plainTrace + " " + f.traces + " ";
    std::string fits = start + std::string(511 - start.size(), 'p');
    std::string here = CurrentDirectory();
    struct Case {
        int row;
        std::string commandLine;
        std::vector<std::string> expected;
    } cases[] = {
        {1, fits, {fits + "\t" + here}},
        {2, fits + "p", {}},
        {3, fits + std::string(3000, 'p'), {}},
        // A quoted form of 511 characters whose short form is shorter still runs.
        {4, "\"" + f.traceInLong + "\" " + f.traces + " " + std::string(511 - f.traceInLong.size() - 4 - f.traces.size(), 'q'),
         {ShortPath(f.traceInLong) + " " + f.traces + " " + std::string(511 - f.traceInLong.size() - 4 - f.traces.size(), 'q') + "\t" + here}},
    };
    for (const Case& c : cases) {
        DeleteFileA(f.traces.c_str());
        {
            CurrentRecord record("E" + c.commandLine);
            LaunchProgram();
        }
        EXPECT_EQ(Join(c.expected), Join(ReadLines(f.traces))) << "row " << c.row << ": " << c.commandLine.size() << " characters";
    }
}
