// Times whole uninstalls against the bare delete loop and an idle program, and the set of handled
// files within a removal. Prints one line per measurement for script/bench:
//   <measurement> TAB <files> TAB <milliseconds of each run, comma-separated> [TAB <note>]
//
//   removal_bench runs UNINST.EXE BARE.EXE IDLE.EXE N... times the removal of a tree of N files
//       (N / 50 folders) by the bare loop, by a silent uninstall with one U record, and by one with
//       a P record per file (where the action list holds them), and the fixed cost of a silent
//       uninstall with an empty log beside two starts of a program that does nothing;
//   removal_bench set N...   the share of MarkProcessed in the removal of N files, in process.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <algorithm>
#include "actions/actions.h"
#include "common/common.h"
#include "log/log.h"
#include "clock.h"
#include "fixtures.h"

namespace {

const int FILES_PER_FOLDER = 50;
const int MAX_P_RECORDS = 19999; // the action list's limit
const char* const ROOT = "C:\\uninst-bench";
const std::string TREE = std::string(ROOT) + "\\tree";
const std::string APP = std::string(ROOT) + "\\app";
const std::string TEMP = std::string(ROOT) + "\\temp";
const DWORD RUN_LIMIT = 30 * 60 * 1000; // a run that takes longer is reported as hung

// n files in n / FILES_PER_FOLDER folders under TREE, named like an application's locale files.
bool LayTree(int n)
{
    CreateDirectoryA(ROOT, NULL);
    CreateDirectoryA(TREE.c_str(), NULL);
    char path[MAX_PATH];
    for (int d = 0; d < n / FILES_PER_FOLDER; d++) {
        snprintf(path, sizeof path, "%s\\resources%05d", TREE.c_str(), d);
        CreateDirectoryA(path, NULL);
        for (int f = 0; f < FILES_PER_FOLDER; f++) {
            snprintf(path, sizeof path, "%s\\resources%05d\\locale-%05d-%02d.pak", TREE.c_str(), d, d, f);
            HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (h == INVALID_HANDLE_VALUE)
                return false;
            CloseHandle(h);
        }
    }
    return true;
}

// Every file below a folder, in the order a U record's walk meets it.
void WalkOrder(const std::string& folder, std::vector<std::string>& paths)
{
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            WalkOrder(folder + "\\" + name, paths);
        else
            paths.push_back(folder + "\\" + name);
    } while (FindNextFileA(h, &found));
    FindClose(h);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FolderEmpty(const std::string& folder)
{
    std::vector<std::string> left;
    WalkOrder(folder, left);
    return left.empty();
}

// The uninstaller in APP with its log, as an installer leaves them: the log's name in the tail.
bool Install(const std::string& uninst, const std::vector<std::string>& records)
{
    CreateDirectoryA(APP.c_str(), NULL);
    std::string image = fixtures::ReadFileText(uninst);
    if (image.empty() || !fixtures::WriteFileText(APP + "\\uninst.exe", image + "uninstal.ini" + std::string(1, '\0')))
        return false;
    std::string log;
    for (const std::string& r : records)
        log += r + "\r\n";
    return fixtures::WriteFileText(APP + "\\uninstal.ini", log);
}

// Runs a command line in a job of its own, with TEMP and TMP pointing at the bench's temp folder,
// and gives the milliseconds until the last process of the chain has ended; -1 on failure.
double TimeChain(const std::string& commandLine, const std::string& directory)
{
    HANDLE job = CreateJobObjectA(NULL, NULL);
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, NULL, 0, 1);
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association = {job, port};
    SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &association, sizeof association);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE; // 0x2000
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    std::string environment;
    for (const char* e = GetEnvironmentStringsA(); *e; e += strlen(e) + 1)
        if (_strnicmp(e, "TEMP=", 5) != 0 && _strnicmp(e, "TMP=", 4) != 0)
            environment += std::string(e) + '\0';
    environment += "TEMP=" + TEMP + '\0' + "TMP=" + TEMP + '\0' + '\0';

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back(0);
    double start = Now();
    if (!CreateProcessA(NULL, command.data(), NULL, NULL, FALSE, CREATE_SUSPENDED, &environment[0], directory.c_str(),
                        &startup, &process)) {
        CloseHandle(job);
        CloseHandle(port);
        return -1;
    }
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    double elapsed = -1;
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED detail = NULL;
    while (GetQueuedCompletionStatus(port, &message, &key, &detail, RUN_LIMIT)) {
        if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) { // 4
            elapsed = Now() - start;
            break;
        }
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(job); // kills what is left after a time-out
    CloseHandle(port);
    return elapsed;
}

std::string Joined(const std::vector<double>& times)
{
    std::string text;
    char number[32];
    for (double t : times) {
        snprintf(number, sizeof number, "%.1f", t);
        text += (text.empty() ? "" : ",") + std::string(number);
    }
    return text;
}

void Report(const char* measurement, int files, const std::vector<double>& times, const std::string& note = "")
{
    printf("%s\t%d\t%s%s%s\n", measurement, files, Joined(times).c_str(), note.empty() ? "" : "\t", note.c_str());
    fflush(stdout);
}

int RunsFor(int files)
{
    return files >= 100000 ? 3 : 5;
}

void RemoveEverything()
{
    fixtures::DeleteTree(ROOT);
}

// Writes what the layout left in the system's caches to disk first, so that no run pays for it.
void Settle()
{
    TimeChain("start.exe /wait /unix /bin/sync", "C:\\");
}

// The removal rows for one size: the bare loop, the U record, and the P records.
void MeasureRemoval(const std::string& uninst, const std::string& bare, int files)
{
    std::vector<double> bareTimes, uTimes, pTimes;
    std::string note;
    std::vector<std::string> uLog = {"U0," + TREE + ",1"};
    for (int run = 0; run < RunsFor(files); run++) {
        RemoveEverything();
        CreateDirectoryA(ROOT, NULL);
        CreateDirectoryA(TEMP.c_str(), NULL);
        if (!LayTree(files)) {
            printf("error\t%d\tcould not lay the tree\n", files);
            return;
        }
        Settle();
        bareTimes.push_back(TimeChain("\"" + bare + "\" " + TREE, ROOT));
        if (Exists(TREE))
            note += "bare loop left the tree; ";

        LayTree(files);
        Install(uninst, uLog);
        Settle();
        uTimes.push_back(TimeChain("\"" + APP + "\\uninst.exe\" -s", APP));
        if (Exists(TREE))
            note += "U record left the tree; ";
        if (!FolderEmpty(TEMP))
            note += "work folder not clean after the U run; ";

        if (files <= MAX_P_RECORDS - 1) {
            LayTree(files);
            std::vector<std::string> paths, pLog;
            WalkOrder(TREE, paths);
            for (const std::string& p : paths)
                pLog.push_back("P0," + p + ",0");
            pLog.push_back("U0," + TREE + ",1"); // the emptied folders, last
            Install(uninst, pLog);
            Settle();
            pTimes.push_back(TimeChain("\"" + APP + "\\uninst.exe\" -s", APP));
            if (Exists(TREE))
                note += "P records left the tree; ";
        }
    }
    Report("bare", files, bareTimes, note);
    Report("u", files, uTimes, note);
    if (!pTimes.empty())
        Report("p", files, pTimes, note);
}

void MeasureFixed(const std::string& uninst, const std::string& idle)
{
    std::vector<double> empty, idleTimes;
    std::string note;
    for (int run = 0; run < 9; run++) {
        RemoveEverything();
        CreateDirectoryA(ROOT, NULL);
        CreateDirectoryA(TEMP.c_str(), NULL);
        Install(uninst, {});
        Settle();
        empty.push_back(TimeChain("\"" + APP + "\\uninst.exe\" -s", APP));
        if (!FolderEmpty(TEMP))
            note = "work folder not clean";
        double a = TimeChain("\"" + idle + "\"", ROOT);
        double b = TimeChain("\"" + idle + "\"", ROOT);
        idleTimes.push_back(a + b);
    }
    Report("fixed", 0, empty, note);
    Report("idle2", 0, idleTimes);
}

void MeasureSet(int files)
{
    RemoveEverything();
    if (!LayTree(files)) {
        printf("error\t%d\tcould not lay the tree\n", files);
        return;
    }
    std::vector<std::string> paths;
    WalkOrder(TREE, paths);
    AllocateRunTables();
    double start = Now();
    for (const std::string& p : paths)
        MarkProcessed(p.c_str());
    double marking = Now() - start;
    ReleaseRunTables();
    AllocateRunTables();
    start = Now();
    RemoveFiles(TREE.c_str(), 1, 1); // a U record in mode 1
    double removal = Now() - start;
    ReleaseRunTables();
    Report("set-marking", files, {marking});
    Report("set-removal", files, {removal}, Exists(TREE) ? "tree not removed whole" : "");
}

} // namespace

int main(int argc, char** argv)
{
    // The desktop process starts with the first window; made here, it stays outside the jobs.
    DestroyWindow(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL));
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "runs" && argc >= 5) {
        for (int i = 5; i < argc; i++)
            MeasureRemoval(argv[2], argv[3], atoi(argv[i]));
        MeasureFixed(argv[2], argv[4]);
    } else if (mode == "set") {
        for (int i = 2; i < argc; i++)
            MeasureSet(atoi(argv[i]));
    } else {
        fprintf(stderr, "usage: removal_bench runs UNINST.EXE BARE.EXE IDLE.EXE N... | set N...\n");
        return 2;
    }
    RemoveEverything();
    return 0;
}
