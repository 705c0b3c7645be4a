// Start-up of the real program: the single-instance rule, the log location from tail and command line, a too long log path.
#include "harness.h"

using namespace sys;

const int LOG_PATH_MAX = 511; // characters a command-line log path may have

class StartUp : public SystemTest {
protected:
    // An installed copy with a log whose confirmation (text 43) keeps the first stage waiting.
    std::string Install(const std::string& folder)
    {
        std::string exe = CopyUninst(Path(folder), "uninst.exe", "uninstal.ini");
        EXPECT_FALSE(exe.empty());
        EXPECT_TRUE(WriteLog(Path(folder + "\\uninstal.ini"), {"A10," + Product(), "A48,Remove", "A43,Remove %s now?"}));
        return exe;
    }
    std::string Product() const { return "Startup " + name_; }
    static std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
    // A log path longer than the program keeps: start-up ends with the log error before anything else.
    static std::string TooLongArgument() { return std::string(600, 'L'); }
};

// While a first process of a file waits in a box, a second start of the same file ends at once
// with exit code 0 and shows nothing; the first goes on undisturbed and ends with its own code.
TEST_F(StartUp, SecondStartOfTheSameFileEndsAtOnce)
{
    std::string exe = Install("app");
    struct Row { std::string arguments; std::string caption; std::string text; int answer; DWORD firstCode; } rows[] = {
        {"", "Remove " + Product(), "Remove " + Product() + " now?", IDNO, CODE_DECLINED}, // waiting for the confirmation
        {" " + TooLongArgument(), "", "", IDOK, CODE_FATAL},                              // waiting in the fatal log error
    };
    rows[1].text = "Can't open uninstal log file " + Quoted(exe) + rows[1].arguments + "!";
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Process first;
        ASSERT_TRUE(Start(first, Quoted(exe) + rows[i].arguments, Path("app"))) << "row " << i;
        HWND box = WaitForBox(rows[i].caption.c_str(), WAIT_LONG, first.Pid());
        ASSERT_TRUE(box != NULL) << "row " << i << ": the first process shows no box";
        EXPECT_EQ(rows[i].text, BoxText(box)) << "row " << i;

        Process second;
        ASSERT_TRUE(Start(second, Quoted(exe), Path("app"))) << "row " << i;
        ASSERT_TRUE(second.WaitAll(WAIT_SHORT)) << "row " << i << ": the second start did not end at once";
        EXPECT_EQ(CODE_DONE, second.ExitCode()) << "row " << i;
        EXPECT_TRUE(IsWindow(box) && first.FirstRunning()) << "row " << i << ": the first process was disturbed";

        ASSERT_TRUE(AnswerBox(box, rows[i].answer)) << "row " << i;
        ASSERT_TRUE(first.WaitAll()) << "row " << i;
        EXPECT_EQ(rows[i].firstCode, first.ExitCode()) << "row " << i;
    }
    // Declining the confirmation leaves the installation as it was.
    EXPECT_EQ((std::vector<std::string>{"app\\", "app\\uninst.exe", "app\\uninstal.ini", "temp\\"}), ListTree(dir_));
}

// The second start minimizes and then restores the top-level window titled "Uninstall".
TEST_F(StartUp, SecondStartRestoresTheUninstallWindow)
{
    std::string exe = Install("app");
    std::string sizes = Path("sizes.txt");
    Process window;
    ASSERT_TRUE(Start(window, "\"" + TestBin("harness_child.exe") + "\" window Uninstall \"" + sizes + "\"", dir_));
    HWND uninstallWindow = WaitForWindow("HarnessChildWindow", "Uninstall", WAIT_SHORT, window.Pid());
    ASSERT_TRUE(uninstallWindow != NULL);

    Process first;
    ASSERT_TRUE(Start(first, Quoted(exe) + " " + TooLongArgument(), Path("app")));
    HWND box = WaitForBox("", WAIT_LONG, first.Pid());
    ASSERT_TRUE(box != NULL);
    // Only what the window sees from here on counts.
    ASSERT_TRUE(WriteText(sizes, ""));

    Process second;
    ASSERT_TRUE(Start(second, Quoted(exe), Path("app")));
    ASSERT_TRUE(second.WaitAll(WAIT_SHORT));
    EXPECT_EQ(CODE_DONE, second.ExitCode());
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(sizes) == "size 1\nsize 0\n"; }))
        << "sizes seen by the window: " << ReadBytes(sizes);   // SIZE_MINIMIZED, then SIZE_RESTORED
    EXPECT_FALSE(IsIconic(uninstallWindow));

    ASSERT_TRUE(AnswerBox(box, IDOK));
    ASSERT_TRUE(first.WaitAll());
    PostMessageA(uninstallWindow, WM_CLOSE, 0, 0);
    ASSERT_TRUE(window.WaitAll(WAIT_SHORT));
}

// Another file has a counter of its own: its start is no second instance, even with the same content.
TEST_F(StartUp, AnotherCopyIsNotAffected)
{
    std::string exeA = Install("a");
    std::string exeB = Install("b");
    Process first;
    ASSERT_TRUE(Start(first, Quoted(exeA), Path("a")));
    HWND boxA = WaitForBox(("Remove " + Product()).c_str(), WAIT_LONG, first.Pid());
    ASSERT_TRUE(boxA != NULL);

    Process other;
    ASSERT_TRUE(Start(other, Quoted(exeB), Path("b")));
    HWND boxB = WaitForBox(("Remove " + Product()).c_str(), WAIT_LONG, other.Pid());
    ASSERT_TRUE(boxB != NULL) << "the other copy took itself for a second instance";
    EXPECT_EQ("Remove " + Product() + " now?", BoxText(boxB));

    ASSERT_TRUE(AnswerBox(boxB, IDNO));
    ASSERT_TRUE(AnswerBox(boxA, IDNO));
    ASSERT_TRUE(other.WaitAll());
    ASSERT_TRUE(first.WaitAll());
    EXPECT_EQ(CODE_DECLINED, other.ExitCode());
    EXPECT_EQ(CODE_DECLINED, first.ExitCode());
}

// The log is found from the executable's tail in the first stage and from the command line in the
// second; a missing one ends with the log error naming the path that was looked for.
TEST_F(StartUp, LogLocation)
{
    struct Row { std::string tail; std::string arguments; std::string expectedLog; } rows[] = {
        {std::string("uninstal.ini") + '\0' + "uninstall.ini" + '\0', "", "uninstall.ini"},
        {"", "", "uninstal.ini"},                                          // no tail at all
        {std::string("named.ini") + '\0' + '\0', "", "uninstal.ini"},      // two zeros at the end: no name
        {std::string("x.ini") + '\0', " \"C:\\No Such\\given.ini\"", "C:\\No Such\\given.ini"},
        {std::string("x.ini") + '\0', " -s \"C:\\No Such\\given.ini\"", "C:\\No Such\\given.ini"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        std::string folder = "row" + std::to_string(i);
        std::string exe = CopyUninstWithTail(Path(folder), "uninst.exe", rows[i].tail);
        ASSERT_FALSE(exe.empty()) << "row " << i;
        std::string expected = rows[i].expectedLog.find('\\') == std::string::npos
                                   ? Path(folder + "\\" + rows[i].expectedLog) : rows[i].expectedLog;
        Process p;
        ASSERT_TRUE(Start(p, Quoted(exe) + rows[i].arguments, Path(folder))) << "row " << i;
        HWND box = WaitForBox("", WAIT_LONG, p.Pid());
        ASSERT_TRUE(box != NULL) << "row " << i;
        EXPECT_EQ("Can't open uninstal log file " + expected + "!", BoxText(box)) << "row " << i;
        ASSERT_TRUE(AnswerBox(box, IDOK)) << "row " << i;
        ASSERT_TRUE(p.WaitAll()) << "row " << i;
        EXPECT_EQ(CODE_FATAL, p.ExitCode()) << "row " << i;
    }
}

// A command-line log path longer than the program keeps is refused with the log error, which shows
// the command line; the longest that fits is taken (and, missing, reported by its own path).
TEST_F(StartUp, LogPathLength)
{
    std::string exe = CopyUninst(Path("app"), "uninst.exe", "");
    ASSERT_FALSE(exe.empty());
    std::string fits = "C:\\" + std::string(LOG_PATH_MAX - 3, 'p');
    struct Row { std::string arguments; std::string text; } rows[] = {
        {" \"" + fits + "\"", "Can't open uninstal log file " + fits + "!"},
        {" \"" + fits + "q\"", "Can't open uninstal log file " + Quoted(exe) + " \"" + fits + "q\"!"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Process p;
        ASSERT_TRUE(Start(p, Quoted(exe) + rows[i].arguments, Path("app"))) << "row " << i;
        HWND box = WaitForBox("", WAIT_LONG, p.Pid());
        ASSERT_TRUE(box != NULL) << "row " << i;
        EXPECT_EQ(rows[i].text, BoxText(box)) << "row " << i;
        ASSERT_TRUE(AnswerBox(box, IDOK)) << "row " << i;
        ASSERT_TRUE(p.WaitAll()) << "row " << i;
        EXPECT_EQ(CODE_FATAL, p.ExitCode()) << "row " << i;
    }
}
