// Start-up: the command line, the log name in the executable tail and the work-folder rule.
#include <gtest/gtest.h>
#include <string>
#include "common/common.h"
#include "startup/startup.h"

namespace {
const std::string PROGRAM = "\"C:\\App\\uninst.exe\"";
}

TEST(ParseCommandLine, Table)
{
    struct Row { std::string line; int silent; std::string logPath; } rows[] = {
        {PROGRAM, 0, ""},
        {"", 0, ""},
        {PROGRAM + " -s", 1, ""},
        {PROGRAM + " \"C:\\My App\\uninstal.ini\"", 0, "C:\\My App\\uninstal.ini"},
        {PROGRAM + " -S -s \"C:\\Temp\\uninstal.ini\"", 1, "C:\\Temp\\uninstal.ini"},
        {PROGRAM + " -silent", 1, ""},
        {PROGRAM + " -s\"C:\\Temp\\uninstal.ini\"", 1, ""},             // a path glued to the switch is lost
        {"C:\\My App\\uninst.exe", 0, "App\\uninst.exe"},               // unquoted blank: taken for a log path
        {PROGRAM + " C:\\a b\\log.ini", 0, "C:\\a b\\log.ini"},         // runs to the end, spaces included
        {PROGRAM + "   \"\" \"C:\\x.ini\"", 0, "C:\\x.ini"},            // blanks and quotes are skipped, the final quote dropped
        {PROGRAM + " \"C:\\x.ini\"\"", 0, "C:\\x.ini\""},               // only one final quote goes
        {"\"C:\\My App\\uninst.exe\" -s", 1, ""},                       // a blank inside quotes does not separate
        {PROGRAM + " -s -x", 1, "-x"},
        {PROGRAM + " ", 0, ""},
        {PROGRAM + " -sC:\\x.ini", 1, ""},
        {"\"C:\\Odd\"quote\" path.ini", 0, ""},                          // the quote state flips at each quote
        {"prog -s \"log\"", 1, "log"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        g_silent = 0;
        CopyText(g_argLogPath, PATH_BUFFER, "stale");
        EXPECT_EQ(1, ParseCommandLineText(rows[i].line.c_str())) << "row " << i;
        EXPECT_EQ(rows[i].silent, g_silent) << "row " << i << ": " << rows[i].line;
        EXPECT_EQ(rows[i].logPath, std::string(g_argLogPath)) << "row " << i << ": " << rows[i].line;
    }
    g_silent = 0;
    g_argLogPath[0] = 0;
}

// g_argLogPath holds 511 characters: a longer log path is refused whole (the caller ends with the
// log error), never cut into another path.
TEST(ParseCommandLine, LogPathBound)
{
    std::string exact(PATH_BUFFER - 1, 'p');
    struct Row { std::string argument; int accepted; std::string logPath; } rows[] = {
        {exact, 1, exact},                                   // fits exactly
        {"\"" + exact + "\"", 1, exact},                     // the same in quotes: the closing quote does not count
        {exact + "q", 0, ""},                                // one too long
        {"\"" + exact + "q\"", 0, ""},
        {std::string(10000, 'f'), 0, ""},                    // far too long
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        g_silent = 0;
        std::string line = PROGRAM + " -s " + rows[i].argument;
        EXPECT_EQ(rows[i].accepted, ParseCommandLineText(line.c_str())) << "row " << i << " length " << rows[i].argument.size();
        EXPECT_EQ(rows[i].logPath, std::string(g_argLogPath)) << "row " << i;
        EXPECT_EQ(1, g_silent) << "row " << i;
    }
    g_silent = 0;
    g_argLogPath[0] = 0;
}

namespace {
// The 256 tail bytes: filler, then the given ending placed so that it ends the tail.
std::string Tail(const std::string& ending, char filler = 'F')
{
    std::string tail(TAIL_SIZE, filler);
    tail.replace(TAIL_SIZE - ending.size(), ending.size(), ending);
    return tail;
}
std::string Z(const char* text) { return std::string(text) + '\0'; }
} // namespace

TEST(TakeLogNameFromTail, Table)
{
    std::string noZero = Tail("", 'N');
    std::string withName = Tail(Z("x.ini") + std::string(1, '\0'));
    struct Row { std::string tail; std::string expected; } rows[] = {
        {Tail(Z("uninstal.ini") + Z("uninstall.ini")), "uninstall.ini"},
        {withName, "uninstal.ini"},                                         // two zeros at the end: no name
        {Tail(std::string(2, '\0')), "uninstal.ini"},
        {noZero, std::string(TAIL_SIZE - 1, 'N')},                          // T[1] to T[255], T[0] dropped
        {Tail(Z("a.ini"), '\0'), "a.ini"},
        {Tail(Z("a.ini")), std::string(TAIL_SIZE - 7, 'F') + "a.ini"},                            // no zero before it: the name starts at T[1]
        {Tail(std::string(1, '\0') + std::string(254, 'm') + '\0', 'X'), std::string(254, 'm')}, // zero at T[0] only
        {Tail("last", 'L'), std::string(TAIL_SIZE - 5, 'L') + "last"},                            // no final zero: runs to the end
        {Tail(Z("name.ini") + "qq"), "qq"},                                                      // a zero at T[253] starts the name at T[254]
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        ASSERT_EQ((size_t)TAIL_SIZE, rows[i].tail.size()) << "row " << i;
        char name[TAIL_SIZE + 1];
        memset(name, 'q', sizeof name);
        name[TAIL_SIZE] = 0x5A;
        TakeLogNameFromTail(rows[i].tail.data(), name, TAIL_SIZE);
        EXPECT_EQ(rows[i].expected, std::string(name)) << "row " << i;
        EXPECT_EQ(0x5A, name[TAIL_SIZE]) << "row " << i << ": canary overwritten";
    }
}

TEST(ApplyWorkFolderRule, Table)
{
    struct Row { const char* temp; const char* start; const char* work; const char* startAfter; } rows[] = {
        {"C:\\Temp\\", "c:\\temp", "c:\\", "c:\\temp"},
        {"C:\\Temp\\", "C:\\Temp\\Sub", "C:\\Temp", "C:\\Temp\\Sub"},
        {"C:\\", "C:\\", "c:\\", "C:"},
        {"C:\\Temp\\", "C:\\Temp\\", "c:\\", "C:\\Temp"},
        {"C:\\Temp\\\\", "C:\\Temp\\", "C:\\Temp\\", "C:\\Temp"},   // only one backslash is removed
        {"C:\\Temp", "D:\\Temp", "C:\\Temp", "D:\\Temp"},
        {"C:\\Users\\me\\AppData\\Local\\Temp\\", "C:\\App", "C:\\Users\\me\\AppData\\Local\\Temp", "C:\\App"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        CopyText(g_workDir, PATH_BUFFER, rows[i].temp);
        CopyText(g_startDir, SCRATCH_BUFFER, rows[i].start);
        ApplyWorkFolderRule();
        EXPECT_STREQ(rows[i].work, g_workDir) << "row " << i << ": temp " << rows[i].temp << ", start " << rows[i].start;
        EXPECT_STREQ(rows[i].startAfter, g_startDir) << "row " << i;
    }
    g_workDir[0] = 0;
    g_startDir[0] = 0;
}
