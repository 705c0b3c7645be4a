// The exit code of every process of the real program for each way a run ends, with the state each end leaves.
#include "harness.h"
#include "chain.h"
#include <functional>
#include <iostream>
#include <winioctl.h>

using namespace sys;

namespace {

const char* const ARP_PREFIX = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const LONGLONG UNALLOCATABLE_LOG = 0xC0000000LL; // 3 GB: no 32-bit process can take a block of it

// The paths and names of one row's installation.
struct Installation {
    std::string app, exe, log, temp, trace, arpKey, product, mutexName;
    HANDLE mutex = NULL;
    std::string Trace(const std::string& key, const std::string& tag) const { return "E" + key + "," + TraceCommand(trace, tag); }
};

struct Row {
    int row;
    const char* end;                  // the end as the exit-code table names it
    bool silent;
    const char* logName;              // named in the executable's tail; the log is written under this name unless missing
    bool logMissing;
    std::function<std::vector<std::string>(const Installation&)> records;
    std::function<bool(Installation&)> prepare;  // after the log is written, before the start; may be empty
    std::vector<int> answers;         // to the boxes with the row's caption, in order
    bool captionlessBox;              // one fatal box before the caption exists, answered OK
    std::function<std::vector<std::string>(const Installation&)> boxes; // every box text, in order
    std::vector<DWORD> codes;         // of the program's processes, in the order they started
    bool entryStays;                  // the Add/Remove Programs entry
    std::vector<std::string> workFolder;
    std::vector<std::string> tags;    // the traced programs that ran, in order
    bool smallAddressSpace = false;   // the end needs a process of 2 GB: left out in a 64-bit build
};

bool MakeLogUnallocatable(Installation& s)
{
    HANDLE file = CreateFileA(s.log.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // Sparse, so that the size costs no disk space; the program fails to take the block before it reads.
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, NULL, 0, NULL, 0, &ignored, NULL);
    LARGE_INTEGER at;
    at.QuadPart = UNALLOCATABLE_LOG;
    bool ok = SetFilePointerEx(file, at, NULL, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

bool HoldMutex(Installation& s)
{
    s.mutex = CreateMutexA(NULL, FALSE, s.mutexName.c_str());
    return s.mutex != NULL;
}

bool BlockTheCopy(Installation& s) { return MakeFolders(Join(s.temp, "uninst.exe")); }

std::vector<std::string> NoBoxes(const Installation&) { return {}; }

class ExitCodes : public SystemTest {};

} // namespace

// One row for each end of the exit-code table (the second-instance end is in the start-up tests).
// The state each end leaves is the same as before the ends had codes of their own: what ran, the
// copy in the work folder, the Add/Remove Programs entry. The first stage's code says how the
// first stage ended; a second stage that fails has a code of its own (row 9).
TEST_F(ExitCodes, OneForEachEnd)
{
    std::string testlib = TestBin("testlib.dll");
    const std::vector<Row> rows = {
        {1, "did its work", true, "uninstal.ini", false,
         [](const Installation& s) { return std::vector<std::string>{s.Trace("0", "early"), s.Trace("20000", "main")}; },
         nullptr, {}, false, NoBoxes, {CODE_DONE, CODE_DONE}, false, {}, {"early", "main"}},
        {2, "confirmation answered No", false, "uninstal.ini", false,
         [](const Installation& s) { return std::vector<std::string>{s.Trace("0", "early")}; },
         nullptr, {IDNO}, false, [](const Installation& s) { return std::vector<std::string>{"Remove " + s.product + "?"}; },
         {CODE_DECLINED}, true, {}, {}},
        {3, "fatal: the log cannot be opened", true, "gone.ini", true, nullptr, nullptr, {}, true,
         [](const Installation& s) { return std::vector<std::string>{"Can't open uninstal log file " + Join(s.app, "gone.ini") + "!"}; },
         {CODE_FATAL}, true, {}, {}},
        {4, "fatal: not enough memory", true, "uninstal.ini", false,
         [](const Installation& s) { return std::vector<std::string>{s.Trace("0", "early")}; },
         MakeLogUnallocatable, {}, true, [](const Installation&) { return std::vector<std::string>{"Not enough memory"}; },
         {CODE_FATAL}, true, {}, {}, true},
        {5, "fatal: the copy cannot be made", true, "uninstal.ini", false,
         [](const Installation& s) { return std::vector<std::string>{s.Trace("0", "early")}; },
         BlockTheCopy, {IDOK}, false,
         [](const Installation& s) { return std::vector<std::string>{"Cannot copy " + s.exe + " to " + Join(s.temp, "uninst.exe")}; },
         {CODE_FATAL}, true, {"uninst.exe\\"}, {}},
        {6, "fatal: the second stage cannot be started", true, "uninstal.ini", false,
         [](const Installation& s) {
             return std::vector<std::string>{s.Trace("0", "early"), "E0,cmd /c del \"" + Join(s.temp, "uninst.exe") + "\""};
         },
         nullptr, {IDOK}, false,
         [](const Installation& s) {
             return std::vector<std::string>{"Cannot start \"" + Join(s.temp, "uninst.exe") + "\" -s \"" + s.log + "\""};
         },
         {CODE_FATAL}, false, {}, {"early"}},
        {7, "end chosen in a running-application check", true, "uninstal.ini", false,
         [](const Installation& s) { return std::vector<std::string>{"B0,1," + s.mutexName + ",Close the viewer,1", s.Trace("0", "early")}; },
         HoldMutex, {IDOK}, false, [](const Installation&) { return std::vector<std::string>{"Close the viewer"}; },
         {CODE_APPLICATION_RUNNING}, true, {"uninst.exe"}, {}},
        {8, "C record returned 0", true, "uninstal.ini", false,
         [testlib](const Installation& s) { return std::vector<std::string>{"C0," + testlib + ",ReturnZero,0", s.Trace("0", "early")}; },
         nullptr, {}, false, NoBoxes, {CODE_CALL_REFUSED}, true, {"uninst.exe"}, {}},
        {9, "C record returned 0 in the second stage", true, "uninstal.ini", false,
         [testlib](const Installation& s) {
             return std::vector<std::string>{s.Trace("0", "early"), "C16000," + testlib + ",ReturnZero,0", s.Trace("20000", "main")};
         },
         nullptr, {}, false, NoBoxes, {CODE_DONE, CODE_CALL_REFUSED}, false, {"uninst.exe"}, {"early"}},
    };
    for (const Row& r : rows) {
        std::string what = "row " + std::to_string(r.row) + " (" + r.end + ")";
        // A block of 3 GB fails only where the address space is 2 GB.
        if (r.smallAddressSpace && sizeof(void*) != 4) {
            std::cout << what << ": left out, a 64-bit process can take the block" << std::endl;
            continue;
        }
        Installation s;
        std::string folder = Path("row" + std::to_string(r.row));
        ASSERT_TRUE(DeleteTree(folder)) << what;
        s.app = Join(folder, "app");
        s.temp = Join(folder, "temp");
        s.trace = Join(folder, "trace.txt");
        ASSERT_TRUE(MakeFolders(s.temp)) << what;
        s.product = "Exit " + std::to_string(r.row) + " " + std::to_string(GetCurrentProcessId());
        s.mutexName = "UninstExitRunning_" + std::to_string(r.row) + "_" + std::to_string(GetCurrentProcessId());
        s.arpKey = std::string(ARP_PREFIX) + "UninstExit_" + std::to_string(r.row) + "_" + std::to_string(GetCurrentProcessId());
        RegDeleteKeyTree(HKEY_LOCAL_MACHINE, s.arpKey);
        ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, s.arpKey, "DisplayName", s.product)) << what;
        s.exe = CopyUninst(s.app, "uninst.exe", r.logName);
        ASSERT_FALSE(s.exe.empty()) << what;
        s.log = Join(s.app, r.logName);
        if (!r.logMissing) {
            std::vector<std::string> lines = {"A10," + s.product, "A48,Uninstall", "A43,Remove %s?", "A36,Cannot copy %s to %s",
                                              "A49,Cannot start %s", "J0,2," + s.arpKey + ","};
            for (const std::string& record : r.records(s))
                lines.push_back(record);
            ASSERT_TRUE(WriteLog(s.log, lines)) << what;
        }
        if (r.prepare) {
            ASSERT_TRUE(r.prepare(s)) << what << ": the fixture cannot be made";
        }

        std::vector<std::string> boxes;
        {
            BoxAnswerer answerer(("Uninstall " + s.product).c_str(), r.answers);
            ChainRun run;
            ASSERT_TRUE(run.Start("\"" + s.exe + "\"" + (r.silent ? " -s" : ""), s.app, s.temp)) << what;
            if (r.captionlessBox) {
                HWND box = WaitForBox("", WAIT_LONG, run.Pid());
                EXPECT_TRUE(box != NULL) << what << ": no fatal box";
                if (box) {
                    boxes.push_back(BoxText(box));
                    EXPECT_TRUE(AnswerBox(box, IDOK)) << what;
                }
            }
            EXPECT_TRUE(run.WaitAll(WAIT_LONG)) << what << ": the run did not end";
            answerer.Stop();
            for (const std::string& text : answerer.Texts())
                boxes.push_back(text);
            std::vector<DWORD> codes;
            for (const ChainRun::Member& m : run.Members()) {
                EXPECT_FALSE(m.abnormal) << what << ": " << m.image << " ended abnormally";
                if (m.image == "uninst.exe")
                    codes.push_back(m.exitCode);
            }
            EXPECT_EQ(r.codes, codes) << what << ": exit codes of the program's processes, first stage first; all: "
                                      << ::testing::PrintToString(Endings(run));
        }
        if (s.mutex)
            CloseHandle(s.mutex);
        EXPECT_EQ(r.boxes(s), boxes) << what;
        EXPECT_EQ(r.entryStays, RegKeyExists(HKEY_LOCAL_MACHINE, s.arpKey)) << what << ": the Add/Remove Programs entry";
        EXPECT_EQ(r.workFolder, ListTree(s.temp)) << what << ": the work folder";
        std::vector<std::string> tags;
        for (const TraceLine& t : ReadTraces(s.trace))
            tags.push_back(t.tag);
        EXPECT_EQ(r.tags, tags) << what << ": the programs that ran";
        EXPECT_TRUE(Exists(s.exe)) << what << ": the installed program went";
        RegDeleteKeyTree(HKEY_LOCAL_MACHINE, s.arpKey);
        DeleteTree(folder);
    }
}
