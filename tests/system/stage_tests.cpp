// Both stages of the real program: confirmation, copy, relaunch, phase split, work folder, self-removal, fatal boxes.
#include "harness.h"
#include "access.h"

using namespace sys;

namespace {

const char* const CAPTION = "Uninstall Stage Viewer";
const char* const QUESTION = "Remove Stage Viewer and all of its components?";
const char* const ARP_PREFIX = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";


class Stages : public SystemTest {
protected:
    // An installation in app (the folder may hold blanks): the program under exeName with the
    // log name in its tail, and a log whose E records trace the phase they run in.
    void Install(const std::string& app, const std::string& exeName, const std::string& logName,
                 const std::vector<std::string>& records)
    {
        app_ = Path(app);
        exe_ = CopyUninst(app_, exeName, logName);
        ASSERT_FALSE(exe_.empty());
        log_ = Join(app_, logName);
        trace_ = Path("trace.txt");
        arpKey_ = std::string(ARP_PREFIX) + "UninstStage_" + name_;
        RegDeleteKeyTree(HKEY_LOCAL_MACHINE, arpKey_);
        ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, arpKey_, "DisplayName", "Stage Viewer"));
        std::vector<std::string> lines = {"A10,Stage Viewer", "A48,Uninstall", "A43,Remove %s and all of its components?",
                                          "A13,Done", "A50,Finished", "J0,2," + arpKey_ + ","};
        lines.insert(lines.end(), records.begin(), records.end());
        ASSERT_TRUE(WriteLog(log_, lines));
    }
    void TearDown() override
    {
        if (!arpKey_.empty())
            RegDeleteKeyTree(HKEY_LOCAL_MACHINE, arpKey_);
        SystemTest::TearDown();
    }
    // An E record that traces itself under the tag.
    std::string TraceRecord(const std::string& key, const std::string& tag)
    {
        trace_ = Path("trace.txt");
        return "E" + key + "," + TraceCommand(trace_, tag);
    }
    std::vector<TraceLine> Traces() { return ReadTraces(trace_); }
    std::string Quoted(const std::string& s) { return "\"" + s + "\""; }
    // The non-silent second stage: the dialog runs the main phase; its single button ends it.
    void FinishDialog(Process& p)
    {
        HWND dialog = WaitForUninstallDialog(CAPTION, WAIT_LONG);
        ASSERT_TRUE(dialog != NULL) << "no uninstall dialog";
        HWND done = Control(dialog, 1006);
        ASSERT_TRUE(WaitUntil([&] { return IsShown(done) && IsEnabledWindow(done); }, WAIT_LONG)) << "no done button";
        Click(done);
        EXPECT_TRUE(WaitWindowGone(dialog, WAIT_LONG));
        (void)p;
    }
    static bool Same(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

    std::string app_, exe_, log_, trace_, arpKey_;
};

} // namespace

// The typical run, silent and with confirmation and dialog: keys below 15000 run in the first stage
// from the start folder, the rest in the second from the work folder; afterwards the work folder is empty.
TEST_F(Stages, TypicalRunSplitsThePhasesAndCleansTheWorkFolder)
{
    for (int silent = 1; silent >= 0; silent--) {
        SCOPED_TRACE(silent ? "silent" : "with confirmation");
        DeleteTree(Path("app"));
        DeleteTree(Path("trace.txt"));
        Install("app", "uninst.exe", "uninstal.ini",
                {TraceRecord("15000", "main15000"), TraceRecord("0", "early7001"), TraceRecord("14999", "early14999"),
                 TraceRecord("40000", "main40000"), TraceRecord("1001", "early1001")});
        Process p;
        ASSERT_TRUE(Start(p, Quoted(exe_) + (silent ? " -s" : ""), app_)) << p.error;
        if (!silent) {
            HWND box = WaitForBox(CAPTION, WAIT_LONG);
            ASSERT_TRUE(box != NULL) << "no confirmation";
            EXPECT_EQ(QUESTION, BoxText(box));
            ASSERT_TRUE(AnswerBox(box, IDYES));
            FinishDialog(p);
        }
        ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << "the run did not end";
        EXPECT_EQ(CODE_DONE, p.ExitCode());
        std::vector<TraceLine> t = Traces();
        const char* tags[] = {"early1001", "early7001", "early14999", "main15000", "main40000"};
        ASSERT_EQ(5u, t.size()) << ReadBytes(trace_);
        for (size_t i = 0; i < 5; i++) {
            EXPECT_EQ(tags[i], t[i].tag) << "line " << i;
            // The first stage runs from the start folder, the second from the work folder.
            EXPECT_TRUE(Same(i < 3 ? app_ : temp_, t[i].directory)) << "line " << i << " ran in " << t[i].directory;
        }
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, arpKey_)) << "the Add/Remove Programs entry stays";
        EXPECT_EQ(std::vector<std::string>{}, ListTree(temp_)) << "the copy or the script stays";
        EXPECT_TRUE(Exists(exe_)) << "the original is not the second stage's to delete";
    }
}

TEST_F(Stages, DeclinedConfirmationChangesNothing)
{
    Install("app", "uninst.exe", "uninstal.ini", {TraceRecord("0", "early")});
    Process p;
    ASSERT_TRUE(Start(p, Quoted(exe_), app_)) << p.error;
    HWND box = WaitForBox(CAPTION, WAIT_LONG);
    ASSERT_TRUE(box != NULL) << "no confirmation";
    EXPECT_EQ(QUESTION, BoxText(box));
    ASSERT_TRUE(AnswerBox(box, IDNO));
    ASSERT_TRUE(p.WaitAll(WAIT_LONG));
    EXPECT_EQ(CODE_DECLINED, p.ExitCode());
    EXPECT_EQ(std::vector<std::string>{}, ListTree(temp_)) << "a copy was made";
    EXPECT_FALSE(Exists(trace_)) << "an action ran";
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, arpKey_)) << "the Add/Remove Programs entry went";
}

// Blanks in the application folder, the program's name, the log's name and the temp folder.
TEST_F(Stages, PathsWithBlanksSurviveTheRelaunch)
{
    Install("Program Files\\My App", "Remove My App.exe", "un install.ini", {TraceRecord("20000", "main")});
    std::string temp = Path("my temp");
    ASSERT_TRUE(MakeFolders(temp));
    Process p;
    ASSERT_TRUE(p.Start(Quoted(exe_) + " -s", app_, temp)) << p.error;
    ASSERT_TRUE(p.WaitAll(WAIT_LONG));
    std::vector<TraceLine> t = Traces();
    ASSERT_EQ(1u, t.size()) << "the second stage did not run the main phase";
    EXPECT_TRUE(Same(temp, t[0].directory)) << t[0].directory;
    EXPECT_EQ(std::vector<std::string>{}, ListTree(temp));
}

// The start folder is the temp folder: the copy and the script go to the root of c:. The copy
// keeps the program's own file name, which is made unique here for the shared prefix.
TEST_F(Stages, StartFolderEqualToTempUsesTheRootOfC)
{
    std::string name = "stage_root_" + std::to_string(GetCurrentProcessId()) + ".exe";
    exe_ = CopyUninst(temp_, name, "uninstal.ini");
    ASSERT_FALSE(exe_.empty());
    trace_ = Path("trace.txt");
    ASSERT_TRUE(WriteLog(Join(temp_, "uninstal.ini"), {"A10,Root", "A48,Uninstall", TraceRecord("20000", "main")}));
    Process p;
    ASSERT_TRUE(Start(p, Quoted(exe_) + " -s", temp_)) << p.error;
    // While the second stage runs its copy lies in c:\ (the trace program is quick; look early).
    ASSERT_TRUE(p.WaitAll(WAIT_LONG));
    std::vector<TraceLine> t = Traces();
    ASSERT_EQ(1u, t.size());
    EXPECT_TRUE(Same("c:\\", t[0].directory)) << t[0].directory;
    EXPECT_FALSE(Exists(std::string("c:\\") + name)) << "the copy stays in c:\\";
    EXPECT_FALSE(Exists("c:\\guninst.bat")) << "the script stays in c:\\";
}

TEST_F(Stages, MissingLogIsFatal)
{
    exe_ = CopyUninst(Path("app"), "uninst.exe", "gone.ini");
    ASSERT_FALSE(exe_.empty());
    Process p;
    ASSERT_TRUE(Start(p, Quoted(exe_) + " -s", Path("app"))) << p.error;
    // No caption exists yet: the box has an empty title.
    HWND box = WaitForBox("", WAIT_LONG, p.Pid());
    ASSERT_TRUE(box != NULL);
    EXPECT_EQ("Can't open uninstal log file " + Path("app\\gone.ini") + "!", BoxText(box));
    ASSERT_TRUE(AnswerBox(box, IDOK));
    ASSERT_TRUE(p.WaitAll(WAIT_LONG));
    EXPECT_EQ(CODE_FATAL, p.ExitCode());
    EXPECT_EQ(std::vector<std::string>{}, ListTree(temp_));
}

// The copy cannot be written: text 36 names the program and the copy, and nothing runs.
TEST_F(Stages, CopyThatCannotBeMadeIsFatal)
{
    Install("app", "uninst.exe", "uninstal.ini", {TraceRecord("0", "early")});
    ASSERT_TRUE(WriteLog(log_, {"A10,Stage Viewer", "A48,Uninstall", "A36,Cannot copy %s to %s", TraceRecord("0", "early")}));
    // A folder in the copy's place makes CopyFileA fail.
    ASSERT_TRUE(MakeFolders(Join(temp_, "uninst.exe")));
    Process p;
    ASSERT_TRUE(Start(p, Quoted(exe_) + " -s", app_)) << p.error;
    HWND box = WaitForBox(CAPTION, WAIT_LONG, p.Pid());
    ASSERT_TRUE(box != NULL);
    EXPECT_EQ("Cannot copy " + exe_ + " to " + Join(temp_, "uninst.exe"), BoxText(box));
    ASSERT_TRUE(AnswerBox(box, IDOK));
    ASSERT_TRUE(p.WaitAll(WAIT_LONG));
    EXPECT_EQ(CODE_FATAL, p.ExitCode());
    EXPECT_FALSE(Exists(trace_));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, arpKey_));
}

// An accented application and temp folder: the copy runs, and its script, written in the
// interpreter's code page, still finds and deletes it.
TEST_F(Stages, AccentedFoldersLeaveNothingBehind)
{
    Install("Appl\xE9", "uninst.exe", "uninstal.ini", {TraceRecord("20000", "main")});
    std::string temp = Path("T\xE9mp");
    ASSERT_TRUE(MakeFolders(temp));
    Process p;
    ASSERT_TRUE(p.Start(Quoted(exe_) + " -s", app_, temp)) << p.error;
    ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << "the script loops or the run hangs";
    std::vector<TraceLine> t = Traces();
    ASSERT_EQ(1u, t.size());
    EXPECT_TRUE(Same(temp, t[0].directory)) << t[0].directory;
    EXPECT_EQ(std::vector<std::string>{}, ListTree(temp));
}

// The second stage cannot be started (an early action took the copy away): text 49 shows the
// relaunch command, after the early phase and the removal of the Add/Remove Programs entry.
TEST_F(Stages, SecondStageThatCannotStartIsFatal)
{
    Install("app", "uninst.exe", "uninstal.ini", {});
    std::string copy = Join(temp_, "uninst.exe");
    ASSERT_TRUE(WriteLog(log_, {"A10,Stage Viewer", "A48,Uninstall", "A49,Cannot start %s", "J0,2," + arpKey_ + ",",
                                "E0,cmd /c del \"" + copy + "\""}));
    Process p;
    ASSERT_TRUE(Start(p, Quoted(exe_) + " -s", app_)) << p.error;
    HWND box = WaitForBox(CAPTION, WAIT_LONG, p.Pid());
    ASSERT_TRUE(box != NULL);
    EXPECT_EQ("Cannot start \"" + copy + "\" -s \"" + log_ + "\"", BoxText(box));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, arpKey_)) << "the entry goes before the relaunch";
    ASSERT_TRUE(AnswerBox(box, IDOK));
    ASSERT_TRUE(p.WaitAll(WAIT_LONG));
    EXPECT_EQ(CODE_FATAL, p.ExitCode());
}

// A file named like the copy or the script, made beforehand by the test (as another account could in a
// shared temp folder) and left there or held open with read, write and delete sharing: the run never
// writes into it. It replaces it with a new file, or, where the name cannot be had (a file deleted
// while held stays until its last handle goes, except where the system frees the name at once), it
// takes the safe way: text 36 and nothing changed for the copy, no script (the copy stays) for the script.
TEST_F(Stages, FilesOfTheirNamesAreNeverWrittenInto)
{
    const std::string planted = "planted by the test";
    struct Row { const char* name; bool held; } rows[] = {
        /*0*/ {"uninst.exe", false},
        /*1*/ {"uninst.exe", true},
        /*2*/ {"guninst.bat", false},
        /*3*/ {"guninst.bat", true},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Row& r = rows[i];
        std::string where = "row " + std::to_string(i) + " (" + r.name + (r.held ? ", held)" : ")");
        DeleteTree(Path("app"));
        DeleteTree(Path("trace.txt"));
        ASSERT_TRUE(DeleteTree(temp_) && MakeFolders(temp_)) << where;
        Install("app", "uninst.exe", "uninstal.ini", {});
        ASSERT_TRUE(WriteLog(log_, {"A10,Stage Viewer", "A48,Uninstall", "A36,Cannot copy %s to %s", "J0,2," + arpKey_ + ",",
                                    TraceRecord("0", "early"), TraceRecord("20000", "main")}));
        std::string theirs = Join(temp_, r.name), copy = Join(temp_, "uninst.exe");
        HANDLE file = CreateFileA(theirs.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  NULL, CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << where;
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(file, planted.data(), (DWORD)planted.size(), &n, NULL)) << where;
        if (!r.held) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }

        Process p;
        ASSERT_TRUE(Start(p, Quoted(exe_) + " -s", app_)) << where << " " << p.error;
        HWND box = NULL;
        ASSERT_TRUE(WaitUntil([&] { return (box = WaitForBox(CAPTION, 0, p.Pid())) != NULL || p.ActiveCount() == 0; }, WAIT_LONG))
            << where << ": the run neither ended nor showed a box";
        bool copyRefused = box != NULL;
        if (copyRefused) {
            EXPECT_EQ("Cannot copy " + exe_ + " to " + copy, BoxText(box)) << where;
            ASSERT_TRUE(AnswerBox(box, IDOK)) << where;
        }
        ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << where;
        std::vector<TraceLine> t = Traces();
        if (file != INVALID_HANDLE_VALUE) {
            SetFilePointer(file, 0, NULL, FILE_BEGIN);
            char back[256];
            DWORD got = 0;
            EXPECT_TRUE(ReadFile(file, back, sizeof back, &got, NULL)) << where;
            EXPECT_EQ(planted, std::string(back, got)) << where << ": the run wrote into the test's file";
            CloseHandle(file);
        }
        bool scriptRefused = !copyRefused && Exists(copy);
        if (!r.held) {
            EXPECT_FALSE(copyRefused) << where << ": a file left there is replaced";
            EXPECT_FALSE(scriptRefused) << where << ": a file left there is replaced";
        }
        if (r.held && std::string(r.name) == "guninst.bat")
            EXPECT_FALSE(copyRefused) << where << ": the copy's name was free";
        if (copyRefused) {
            EXPECT_EQ(0u, t.size()) << where << ": an action ran";
            EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, arpKey_)) << where;
            // The test's file was deleted while held, and went with its handle.
            EXPECT_EQ(std::vector<std::string>{}, ListTree(temp_)) << where;
            continue;
        }
        ASSERT_EQ(2u, t.size()) << where << " " << ReadBytes(trace_);
        EXPECT_EQ("early", t[0].tag) << where;
        EXPECT_EQ("main", t[1].tag) << where;
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, arpKey_)) << where;
        if (scriptRefused)
            EXPECT_EQ(std::vector<std::string>{"uninst.exe"}, ListTree(temp_)) << where << ": no script, the copy stays";
        else
            EXPECT_TRUE(WaitUntil([&] { return ListTree(temp_).empty(); }, WAIT_SHORT)) << where << " left: " << ListTree(temp_).size();
    }
}

// Between its writing and its start the copy cannot be opened for writing, not even by a program of
// the run's own account (an early action here); the copy and the script get the run's access list.
TEST_F(Stages, NoOneElseWritesIntoTheCopyOrTheScript)
{
    std::string copy = Join(temp_, "uninst.exe"), script = Join(temp_, "guninst.bat"), result = Path("writer.txt");
    Install("app", "uninst.exe", "uninstal.ini",
            {"E0,\"" + TestBin("writer.exe") + "\" " + copy + " " + result, TraceRecord("20000", "main")});
    Process p;
    HWND dialog = StartConfirmed(p, exe_, app_, CAPTION);
    ASSERT_TRUE(dialog != NULL);
    EXPECT_EQ("error 32\r\n", ReadBytes(result)) << "the early action could open the copy for writing";
    EXPECT_EQ("", fixtures::OwnAccessFault(copy));
    // Held without delete sharing, the copy keeps the script looping, so that the script can be read.
    HANDLE held = CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held) << "error " << GetLastError();
    FinishDialog(p);
    EXPECT_TRUE(WaitUntil([&] { return Exists(script); }, WAIT_LONG)) << "no script";
    EXPECT_EQ("", fixtures::OwnAccessFault(script));
    CloseHandle(held);
    ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << "the script did not end";
    EXPECT_EQ(1u, Traces().size());
    EXPECT_EQ(std::vector<std::string>{}, ListTree(temp_));
}
