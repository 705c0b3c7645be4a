// System-test harness: private folders, files, registry, copies of uninst.exe, processes in a job, other processes' windows.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "boxes.h"
#include "fixtures.h"
#include "registry.h"

namespace sys {

// Bounds of every wait, in milliseconds. A hung test fails; it never hangs the run.
const DWORD WAIT_SHORT = 5000;     // a window or box that should be there already
const DWORD WAIT_LONG = 60000;     // a whole uninstall, both stages and the script
const DWORD POLL_STEP = 20;

// ---- Environment ---------------------------------------------------------------------------
std::string Env(const char* name);               // empty when unset
std::string UninstExe();                         // UNINST_EXE: the uninst.exe of the test build
std::string TestBin(const std::string& name);    // UNINST_TESTBIN\name: a helper program or library
std::string SourceRoot();                        // UNINST_SOURCE
std::string Join(const std::string& folder, const std::string& name); // exactly one backslash between
bool IsWine();                                   // the tests run under Wine, not Windows

// ---- Files ---------------------------------------------------------------------------------
bool WriteBytes(const std::string& path, const std::string& bytes);   // creates parent folders
bool WriteText(const std::string& path, const std::string& text);     // same, bytes as given
bool AppendBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path, bool* ok = nullptr);
bool Exists(const std::string& path);            // file or folder
bool IsFolder(const std::string& path);
bool MakeFolders(const std::string& path);       // every missing level
using fixtures::DeleteTree;  // clears attributes first; true when gone
// Every file and folder below root, relative, sorted; folders end with a backslash.
using fixtures::ListTree;
using fixtures::Without; // the entries of a list that are not in another, sorted
// Names the ANSI code page lacks characters of, given in UTF-8 and made with the W functions.
using fixtures::MakeUtf8;      // a file, or a folder when the path ends with a backslash
using fixtures::ExistsUtf8;
using fixtures::ListTreeUtf8;  // ListTree with the names as they are, in UTF-8
using fixtures::ShortNameOf;   // empty when there is none
using fixtures::AnsiNameOf;    // what the ANSI search shows for the entry with a short name
using fixtures::ReachingPath;  // the path an ANSI program reaches it by: short names where needed
// Holds a file open without sharing, so that it cannot be deleted, until the object goes.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release();
private:
    HANDLE handle_;
};

// ---- Uninstall logs ------------------------------------------------------------------------
// Lines joined with CR LF, with a final CR LF.
std::string LogText(const std::vector<std::string>& lines);
bool WriteLog(const std::string& path, const std::vector<std::string>& lines);

// ---- The trace program ---------------------------------------------------------------------
// testbin\trace.exe appends one line to the file named by its first argument: its command line,
// a tab, and its current folder.
struct TraceLine {
    std::string command;   // the command line the program got
    std::string tag;       // its last word
    std::string directory; // the program's current folder
};
// The command that traces itself into traceFile, with the tag as its last argument.
std::string TraceCommand(const std::string& traceFile, const std::string& tag);
std::vector<TraceLine> ReadTraces(const std::string& traceFile); // in the order they ran

// ---- Copies of the program -----------------------------------------------------------------
// Copies UNINST_EXE to folder\name and, as an installer does, appends logName and one zero
// byte; an empty logName appends nothing. Returns the copy's path, empty on failure.
std::string CopyUninst(const std::string& folder, const std::string& name = "uninst.exe",
                       const std::string& logName = "uninstal.ini");
// Same, with the tail given as raw bytes (several names, missing zeros...).
std::string CopyUninstWithTail(const std::string& folder, const std::string& name, const std::string& tail);

// ---- Registry ------------------------------------------------------------------------------
using fixtures::RegCreate;
using fixtures::RegDeleteKeyTree;
using fixtures::RegKeyExists;
using fixtures::RegSetString;
using fixtures::RegSetDword;
using fixtures::RegValueExists;
using fixtures::RegGetString;
using fixtures::RegGetDword;
using fixtures::RegSubkeys;
using fixtures::RegValueNames;

// ---- INI files -----------------------------------------------------------------------------
bool IniWrite(const std::string& file, const std::string& section, const std::string& key, const std::string& value);
// The value, or the text "<missing>" when the key (or file) is not there.
std::string IniRead(const std::string& file, const std::string& section, const std::string& key);
std::vector<std::string> IniSections(const std::string& file);
std::vector<std::string> IniKeys(const std::string& file, const std::string& section);

// ---- Processes -----------------------------------------------------------------------------
// The program's exit codes, as docs/decisions.md lists them.
enum ExitCode : DWORD {
    CODE_DONE = 0,                  // did its work, handed over to the second stage, or a second instance
    CODE_APPLICATION_RUNNING = 170, // an end chosen in a running-application check
    CODE_DECLINED = 1602,           // the confirmation answered No
    CODE_FATAL = 1603,              // a fatal error box
    CODE_CALL_REFUSED = 1627        // a C record's function returned 0
};
// Known Wine difference: Wine starts its desktop process (explorer.exe) for the first window of a
// session, from the process that makes it, and that process never ends; started from a process
// of a job it would join the job and keep WaitAll waiting. A window of the test's own starts it
// outside. Process::Start calls this; a test with a job of its own calls it first.
void StartDesktopOutsideJobs();
// The caller's environment with TEMP and TMP (when tempDir is not empty) and the extra entries
// ("NAME=value") replaced, as a block for CreateProcess.
std::string EnvironmentBlock(const std::string& tempDir, const std::vector<std::string>& extraEnv);
// A job that kills its processes when its last handle goes; null on failure.
HANDLE CreateKillingJob();
// Starts the command line suspended inside the job, so that nothing it starts can escape; the caller
// resumes info->hThread and closes both handles. An empty currentDir keeps the caller's; error says
// why it failed.
bool StartSuspendedInJob(HANDLE job, const std::string& commandLine, const std::string& currentDir,
                         const std::string& environment, PROCESS_INFORMATION* info, std::string* error);

// One started process inside a job of its own: everything it starts joins the job, so the whole
// chain (second stage, the script's cmd.exe, programs of the log) can be waited for together.
// The job is killed when the object goes, so nothing outlives a test.
class Process {
public:
    Process();
    ~Process();
    // commandLine exactly as the child will see it; an empty currentDir keeps the caller's;
    // a non-empty tempDir becomes TEMP and TMP of the child; extraEnv entries ("NAME=value")
    // replace a variable of that name. error says why it failed.
    bool Start(const std::string& commandLine, const std::string& currentDir, const std::string& tempDir,
               const std::vector<std::string>& extraEnv = {});
    bool WaitFirst(DWORD timeoutMs = WAIT_LONG);   // the first process has ended
    bool WaitAll(DWORD timeoutMs = WAIT_LONG);     // every process of the job has ended; kills the job on timeout
    bool FirstRunning();
    int ActiveCount();                             // processes of the job still running
    DWORD ExitCode();                              // of the first process; STILL_ACTIVE while it runs
    DWORD Pid() const { return pid_; }
    void Kill();
    std::string error;                             // why Start failed
private:
    HANDLE job_;
    HANDLE process_;
    DWORD pid_;
};

// Runs a console program to its end and gives its exit code, or -1 when it cannot start or does not
// end in time (it is then killed). Its standard output and its error output are collected apart.
struct Captured {
    int status;
    std::string output;
    std::string errors;
};
Captured RunCaptured(const std::string& commandLine, const std::string& currentDir, DWORD timeoutMs = WAIT_LONG);

// ---- Windows of other processes ------------------------------------------------------------
// A visible top-level window with the class and the exact title (either may be null = any),
// of the process pid (0 = any). Polls up to timeoutMs; null when none came.
HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs = WAIT_SHORT, DWORD pid = 0);
HWND FindTopWindow(const char* className, const char* title, DWORD pid = 0);
// Waits until the window is gone (or never was); false on timeout.
bool WaitWindowGone(HWND window, DWORD timeoutMs = WAIT_SHORT);
// A message box (#32770 with a text control) with the caption, ready to be read and answered.
HWND WaitForBox(const char* caption, DWORD timeoutMs = WAIT_SHORT, DWORD pid = 0);
// The uninstall dialog with the caption (it holds the progress list), never a message box of the
// same caption that sits above it.
HWND WaitForUninstallDialog(const char* caption, DWORD timeoutMs = WAIT_LONG, DWORD pid = 0);
std::string BoxText(HWND box);
// Answers a box with a button id (IDOK, IDYES...) and waits for it to close; false if it stays.
bool AnswerBox(HWND box, int button, DWORD timeoutMs = WAIT_SHORT);
std::string ClassOf(HWND window);
std::string TextOf(HWND window);                    // WindowTextOf
HWND Control(HWND dialog, int id);
bool IsShown(HWND window);
bool IsEnabledWindow(HWND window);
RECT ScreenRect(HWND window);
RECT ClientRectOf(HWND window);                     // in the dialog's client coordinates
// List boxes of another process, read with the W messages.
int ListCount(HWND list);
std::vector<std::string> ListItems(HWND list);
int ListSelection(HWND list);                       // LB_GETCURSEL, -1 when none
std::vector<int> ListSelections(HWND list);         // multiple-selection boxes
bool ListSelect(HWND list, int index);              // LB_SETCURSEL
// Waits until the list has count items; false on timeout.
bool WaitListCount(HWND list, int count, DWORD timeoutMs = WAIT_SHORT);
void Click(HWND button);                            // posts BM_CLICK
void PostCommand(HWND dialog, int id);              // posts WM_COMMAND with the id, BN_CLICKED
// Every visible top-level window of a process.
std::vector<HWND> WindowsOf(DWORD pid);
// Polls cond() until it is true; false on timeout.
template <class F> bool WaitUntil(F cond, DWORD timeoutMs = WAIT_SHORT)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(POLL_STEP);
    }
}

// ---- Fixture -------------------------------------------------------------------------------
// Every test gets C:\systest\<suite>.<test>\ (deleted and recreated) with its own temp folder.
class SystemTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string Path(const std::string& relative) const { return Join(dir_, relative); }
    // Starts a command line with the test's temp folder as TEMP and TMP.
    bool Start(Process& process, const std::string& commandLine, const std::string& currentDir);
    // Starts the first stage of exe with the dialog, answers its confirmation (caption) with Yes, and
    // returns the second stage's uninstall dialog; null, with the failure added, when one does not come.
    HWND StartConfirmed(Process& process, const std::string& exe, const std::string& currentDir, const std::string& caption);
    // A registry key private to the test under HKCU (or another root), deleted and recreated.
    std::string FreshKey(HKEY root = HKEY_CURRENT_USER);
    std::string dir_;   // the test's folder, no trailing backslash
    std::string temp_;  // dir_\temp
    std::string name_;  // <suite>.<test>, safe as a file and key name
private:
    std::vector<std::pair<HKEY, std::string>> keys_;
};

} // namespace sys
