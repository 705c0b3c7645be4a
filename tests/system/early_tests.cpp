// The early phase in the real program: running-application checks, library calls and program launches in the first stage.
#include "harness.h"

using namespace sys;

namespace {

const char* const ARP_PREFIX = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";


HWND MakeWindow(const std::string& title);

class Early : public SystemTest {
protected:
    // An installation in app\ with an Add/Remove Programs entry, a log with the records, and a
    // caption of its own ("Uninstall" and a product name unique to the test).
    void Install(const std::vector<std::string>& records)
    {
        ASSERT_EQ(Path("trace.txt"), trace_) << "TraceRecord needs trace_ set before it";
        app_ = Path("app");
        start_ = Path("start here");
        ASSERT_TRUE(MakeFolders(start_));
        exe_ = CopyUninst(app_, "uninst.exe", "uninstal.ini");
        ASSERT_FALSE(exe_.empty());
        calls_ = Path("calls.txt");
        product_ = "Early " + name_.substr(name_.find('.') + 1) + " " + std::to_string(GetCurrentProcessId());
        caption_ = "Uninstall " + product_;
        arpKey_ = std::string(ARP_PREFIX) + "UninstEarly_" + name_;
        RegDeleteKeyTree(HKEY_LOCAL_MACHINE, arpKey_);
        ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, arpKey_, "DisplayName", product_));
        std::vector<std::string> lines = {"A10," + product_, "A48,Uninstall", "J0,2," + arpKey_ + ","};
        lines.insert(lines.end(), records.begin(), records.end());
        ASSERT_TRUE(WriteLog(Join(app_, "uninstal.ini"), lines));
    }
    void TearDown() override
    {
        if (!arpKey_.empty())
            RegDeleteKeyTree(HKEY_LOCAL_MACHINE, arpKey_);
        SystemTest::TearDown();
    }
    // Runs the uninstall silently from the start folder; testlib writes its calls to calls_.
    void Run(Process& p)
    {
        ASSERT_TRUE(p.Start("\"" + exe_ + "\" -s", start_, temp_, {"UNINST_TESTLIB_LOG=" + calls_})) << p.error;
    }
    // An E record that traces itself, with the tag as its last argument.
    std::string TraceRecord(const std::string& key, const std::string& tag)
    {
        trace_ = Path("trace.txt");
        return "E" + key + "," + TraceCommand(trace_, tag);
    }
    std::vector<TraceLine> Traces() { return ReadTraces(trace_); }
    std::vector<std::string> Tags()
    {
        std::vector<std::string> tags;
        for (const TraceLine& t : Traces())
            tags.push_back(t.tag);
        return tags;
    }
    std::vector<std::string> Lines(const std::string& path)
    {
        std::vector<std::string> lines;
        std::string text = ReadBytes(path);
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    // The uninstall ended in the first stage: the copy stays in the work folder, the entry stays.
    void ExpectEndedInFirstStage(const std::string& what)
    {
        EXPECT_EQ(std::vector<std::string>{"uninst.exe"}, ListTree(temp_)) << what << ": the copy is not left alone in the work folder";
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, arpKey_)) << what << ": the Add/Remove Programs entry went";
    }
    // The uninstall went through both stages and cleaned up after itself.
    void ExpectWentThrough(const std::string& what)
    {
        EXPECT_EQ(std::vector<std::string>{}, ListTree(temp_)) << what << ": the work folder is not empty";
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, arpKey_)) << what << ": the Add/Remove Programs entry stays";
    }

    std::string app_, start_, exe_, trace_, calls_, product_, caption_, arpKey_;
};

// A top-level window of the test's thread; other processes read its title without messages.
HWND MakeWindow(const std::string& title)
{
    return CreateWindowExA(0, "STATIC", title.c_str(), WS_OVERLAPPED, 0, 0, 50, 50, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

} // namespace

// Each ending answer ends the whole uninstall at once: nothing after the check runs, the copy
// stays in the work folder and the Add/Remove Programs entry stays. Look again shows the box
// again, go on lets the uninstall run to its end.
TEST_F(Early, CheckAnswersEndLookAgainOrGoOn)
{
    enum Effect { END, GO_ON };
    struct Case {
        int row;
        int style;
        std::vector<int> answers;  // one per box shown
        Effect effect;
    } cases[] = {
        {1, 0, {IDABORT}, END},
        {2, 0, {IDRETRY, IDIGNORE}, GO_ON},
        {3, 1, {IDOK}, END},
        {4, 2, {IDOK, IDCANCEL}, END},
        {5, 3, {IDRETRY, IDCANCEL}, END},
        {6, 4, {IDYES, IDNO}, GO_ON},
        {7, 5, {IDYES, IDNO}, GO_ON},
        {8, 5, {IDCANCEL}, END},
    };
    for (const Case& c : cases) {
        std::string what = "row " + std::to_string(c.row) + ": style " + std::to_string(c.style);
        DeleteTree(Path("app"));
        DeleteTree(Path("trace.txt"));
        DeleteTree(temp_);
        MakeFolders(temp_);
        std::string mutexName = "UninstEarlyRunning_" + std::to_string(GetCurrentProcessId());
        HANDLE mutex = CreateMutexA(NULL, FALSE, mutexName.c_str());
        ASSERT_TRUE(mutex != NULL);
        Install({"B0,1," + mutexName + ",\"Please close the viewer, then choose.\"," + std::to_string(c.style),
                 TraceRecord("0", "early"), TraceRecord("20000", "main")});
        BoxAnswerer answerer(caption_.c_str(), c.answers);
        Process p;
        Run(p);
        ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << what << ": the run did not end";
        answerer.Stop();
        CloseHandle(mutex);
        EXPECT_EQ(c.effect == END ? CODE_APPLICATION_RUNNING : CODE_DONE, p.ExitCode()) << what;
        std::vector<std::string> texts = answerer.Texts();
        EXPECT_EQ(std::vector<std::string>(c.answers.size(), "Please close the viewer, then choose."), texts) << what;
        if (c.effect == END) {
            EXPECT_EQ(std::vector<std::string>{}, Tags()) << what << ": actions ran after the check";
            ExpectEndedInFirstStage(what);
        } else {
            EXPECT_EQ((std::vector<std::string>{"early", "main"}), Tags()) << what;
            ExpectWentThrough(what);
        }
    }
}

// What each kind counts as the application running, with the signs made by the test; every box
// is answered No (go on), so the boxes shown are the checks that found something, in key order.
TEST_F(Early, CheckKindsFindTheSignsOfTheTest)
{
    std::string unique = std::to_string(GetCurrentProcessId());
    std::string held = Path("held.dat"), readOnly = Path("readonly.dat"), closed = Path("closed.dat");
    ASSERT_TRUE(WriteText(held, "held") && WriteText(readOnly, "read only") && WriteText(closed, "closed"));
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    HeldFile holder(held);
    ASSERT_TRUE(holder.ok());
    // Known Wine difference: as root, Wine opens a read-only file for writing, so it does not
    // count as in use there; on Windows it does.
    HANDLE probe = CreateFileA(readOnly.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    bool readOnlyOpens = probe != INVALID_HANDLE_VALUE;
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    ASSERT_TRUE(!readOnlyOpens || IsWine()) << "only Wine lets a read-only file be opened for writing";
    std::string mutexName = "UninstEarlyKinds_" + unique;
    HANDLE mutex = CreateMutexA(NULL, FALSE, mutexName.c_str());
    std::string title = "Early Kinds Viewer " + unique + " - Document";
    HWND window = MakeWindow(title);
    ASSERT_TRUE(mutex && window);
    struct Case {
        int row;
        int kind;
        std::string name;
        bool running;
    } cases[] = {
        {1, 0, held, true},
        {2, 0, readOnly, !readOnlyOpens},
        {3, 0, Path("app"), true},                       // a folder
        {4, 0, closed, false},
        {5, 0, Path("missing.dat"), false},
        {6, 1, mutexName, true},
        {7, 1, mutexName + "_none", false},
        {8, 2, title, true},
        {9, 2, "Early Kinds Viewer " + unique, false},   // only part of the title
        {10, 3, "KINDS VIEWER " + unique + " - doc", true}, // a fragment in other letter case
        {11, 3, "kinds viewer " + unique + " - letter", false},
        {12, 4, held, false},                            // kinds beyond 3 detect nothing
        {13, 7, title, false},
    };
    std::vector<std::string> records;
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        std::string message = "row " + std::to_string(c.row);
        // Explicit keys keep the log's order (automatic B keys count down).
        records.push_back("B" + std::to_string(1000 + c.row) + "," + std::to_string(c.kind) + ",\"" + c.name + "\"," + message + ",4");
        if (c.running)
            expected.push_back(message);
    }
    records.push_back(TraceRecord("0", "after"));
    Install(records);
    BoxAnswerer answerer(caption_.c_str(), {IDNO});
    Process p;
    Run(p);
    ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << "the run did not end";
    answerer.Stop();
    DestroyWindow(window);
    CloseHandle(mutex);
    EXPECT_EQ(expected, answerer.Texts());
    EXPECT_EQ(std::vector<std::string>{"after"}, Tags());
    ExpectWentThrough("after the checks");
}

// C and D records: the calls in log order with their arguments as written, the library loaded
// and released for each, missing exports and libraries passed over; a negative C result and a
// zero D result go on, and a zero C result ends the uninstall on the spot.
TEST_F(Early, LibraryCallsGoOnOrEnd)
{
    std::string lib = TestBin("testlib.dll");
    struct Case {
        int row;
        std::vector<std::string> records;
        std::vector<std::string> calls;
        bool ends;
    } cases[] = {
        {1,
         {"C0," + lib + ",ReturnNegative,0", "C0," + lib + ",NoSuchExport,0", "C0," + Path("missing.dll") + ",ReturnZero,0",
          "C0," + lib + ",Record3,3,first,\"second, with a comma\",\"third\"", "D0," + lib + ",ReturnZero,0",
          "D0," + lib + ",Record5,5,1,2,3,4,5"},
         {"load", "ReturnNegative", "unload", "load", "unload", "load", "Record3\tfirst\t\"second, with a comma\"\t\"third\"",
          "unload", "load", "ReturnZero", "unload", "load", "Record5\t1\t2\t3\t4\t5", "unload"},
         false},
        {2,
         {"C0," + lib + ",Record1,1,before", "C0," + lib + ",ReturnZero,0", "C0," + lib + ",Record1,1,after",
          "D0," + lib + ",Record1,1,later"},
         {"load", "Record1\tbefore", "unload", "load", "ReturnZero", "unload"},
         true},
    };
    for (const Case& c : cases) {
        std::string what = "row " + std::to_string(c.row);
        DeleteTree(Path("app"));
        DeleteTree(Path("trace.txt"));
        DeleteTree(Path("calls.txt"));
        DeleteTree(temp_);
        MakeFolders(temp_);
        trace_ = Path("trace.txt");
        std::vector<std::string> records = c.records;
        records.push_back(TraceRecord("0", "program"));
        Install(records);
        Process p;
        Run(p);
        ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << what << ": the run did not end";
        EXPECT_EQ(c.ends ? CODE_CALL_REFUSED : CODE_DONE, p.ExitCode()) << what;
        EXPECT_EQ(c.calls, Lines(calls_)) << what;
        if (c.ends) {
            EXPECT_EQ(std::vector<std::string>{}, Tags()) << what << ": the program after the call ran";
            ExpectEndedInFirstStage(what);
        } else {
            EXPECT_EQ(std::vector<std::string>{"program"}, Tags()) << what;
            ExpectWentThrough(what);
        }
    }
}

// E records in the first stage: the command lines the programs get, their current directory (the
// folder the uninstaller was started from), and a missing program passed over.
TEST_F(Early, ProgramLaunches)
{
    trace_ = Path("trace.txt");
    std::string folder = Path("My Tools");
    ASSERT_TRUE(MakeFolders(folder));
    std::string program = Join(folder, "trace.exe");
    ASSERT_TRUE(CopyFileA(TestBin("trace.exe").c_str(), program.c_str(), FALSE));
    char shortProgram[MAX_PATH], shortFolder[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(program.c_str(), shortProgram, MAX_PATH));
    ASSERT_NE(0u, GetShortPathNameA(folder.c_str(), shortFolder, MAX_PATH));
    Install({"E0,\"" + program + "\" " + trace_ + " blank",
             "E0,\"" + folder + "\"\\trace.exe " + trace_ + " attached",
             "E0,\"" + Path("no such program.exe") + "\" " + trace_ + " missing",
             "E0,\"" + program + " " + trace_ + " unclosed",
             "E0,\"" + program + "\" " + trace_ + " \"quoted argument\" last"});
    Process p;
    Run(p);
    ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << "the run did not end";
    std::vector<TraceLine> t = Traces();
    std::vector<std::string> commands, directories;
    for (const TraceLine& line : t) {
        commands.push_back(line.command);
        directories.push_back(line.directory);
    }
    EXPECT_EQ((std::vector<std::string>{std::string(shortProgram) + " " + trace_ + " blank",
                                        std::string(shortFolder) + "\\trace.exe " + trace_ + " attached",
                                        std::string(shortProgram) + " " + trace_ + " \"quoted argument\" last"}),
              commands);
    EXPECT_EQ(std::vector<std::string>(commands.size(), start_), directories);
    ExpectWentThrough("after the programs");
}
