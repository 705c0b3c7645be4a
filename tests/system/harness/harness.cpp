// System-test harness: implementation of the helpers declared in harness.h.
#include "harness.h"
#include <algorithm>
#include <cstring>

namespace sys {

// ---- Environment ---------------------------------------------------------------------------

std::string Env(const char* name)
{
    char value[4096];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::string UninstExe() { return Env("UNINST_EXE"); }
std::string TestBin(const std::string& name) { return Join(Env("UNINST_TESTBIN"), name); }
std::string SourceRoot() { return Env("UNINST_SOURCE"); }

bool IsWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL; }

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    std::string rest = name;
    while (!rest.empty() && rest[0] == '\\')
        rest.erase(0, 1);
    return folder.back() == '\\' ? folder + rest : folder + "\\" + rest;
}

static std::string ParentOf(const std::string& path)
{
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// ---- Files ---------------------------------------------------------------------------------

static bool WriteWith(const std::string& path, const std::string& bytes, DWORD creation)
{
    std::string parent = ParentOf(path);
    if (!parent.empty())
        MakeFolders(parent);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, creation, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    if (creation == OPEN_ALWAYS)
        SetFilePointer(file, 0, NULL, FILE_END);
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool WriteBytes(const std::string& path, const std::string& bytes) { return WriteWith(path, bytes, CREATE_ALWAYS); }
bool WriteText(const std::string& path, const std::string& text) { return WriteWith(path, text, CREATE_ALWAYS); }
bool AppendBytes(const std::string& path, const std::string& bytes) { return WriteWith(path, bytes, OPEN_ALWAYS); }

std::string ReadBytes(const std::string& path, bool* ok)
{
    if (ok)
        *ok = false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD n = 0;
    bool good = true;
    for (;;) {
        if (!ReadFile(file, chunk, sizeof chunk, &n, NULL)) {
            good = false;
            break;
        }
        if (n == 0)
            break;
        bytes.append(chunk, n);
    }
    CloseHandle(file);
    if (ok)
        *ok = good;
    return bytes;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolders(const std::string& path)
{
    if (path.empty() || IsFolder(path))
        return true;
    std::string parent = ParentOf(path);
    // A bare drive ("C:") ends the climb.
    if (!parent.empty() && parent.size() > 2)
        MakeFolders(parent);
    return CreateDirectoryA(path.c_str(), NULL) || IsFolder(path);
}

HeldFile::HeldFile(const std::string& path)
{
    handle_ = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
}

HeldFile::~HeldFile() { Release(); }

void HeldFile::Release()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

// ---- Uninstall logs ------------------------------------------------------------------------

std::string LogText(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

bool WriteLog(const std::string& path, const std::vector<std::string>& lines) { return WriteBytes(path, LogText(lines)); }

// ---- The trace program ---------------------------------------------------------------------

std::string TraceCommand(const std::string& traceFile, const std::string& tag)
{
    return "\"" + TestBin("trace.exe") + "\" " + traceFile + " " + tag;
}

std::vector<TraceLine> ReadTraces(const std::string& traceFile)
{
    std::vector<TraceLine> out;
    std::string text = ReadBytes(traceFile);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = text.substr(start, end - start);
        size_t tab = line.find('\t');
        TraceLine t;
        t.command = line.substr(0, tab);
        t.tag = t.command.substr(t.command.find_last_of(' ') + 1);
        t.directory = tab == std::string::npos ? "" : line.substr(tab + 1);
        out.push_back(t);
    }
    return out;
}

// ---- Copies of the program -----------------------------------------------------------------

std::string CopyUninstWithTail(const std::string& folder, const std::string& name, const std::string& tail)
{
    std::string target = Join(folder, name);
    MakeFolders(folder);
    if (!CopyFileA(UninstExe().c_str(), target.c_str(), FALSE))
        return std::string();
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!tail.empty() && !AppendBytes(target, tail))
        return std::string();
    return target;
}

std::string CopyUninst(const std::string& folder, const std::string& name, const std::string& logName)
{
    return CopyUninstWithTail(folder, name, logName.empty() ? std::string() : logName + std::string(1, '\0'));
}

// ---- INI files -----------------------------------------------------------------------------

bool IniWrite(const std::string& file, const std::string& section, const std::string& key, const std::string& value)
{
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

std::string IniRead(const std::string& file, const std::string& section, const std::string& key)
{
    char value[4096];
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "<missing>", value, sizeof value, file.c_str());
    return value;
}

static std::vector<std::string> SplitZeroList(const char* list, DWORD length)
{
    std::vector<std::string> out;
    for (DWORD i = 0; i < length && list[i];) {
        std::string item = list + i;
        out.push_back(item);
        i += (DWORD)item.size() + 1;
    }
    return out;
}

std::vector<std::string> IniSections(const std::string& file)
{
    static char list[65536];
    DWORD n = GetPrivateProfileSectionNamesA(list, sizeof list, file.c_str());
    return SplitZeroList(list, n);
}

std::vector<std::string> IniKeys(const std::string& file, const std::string& section)
{
    static char list[65536];
    DWORD n = GetPrivateProfileStringA(section.c_str(), NULL, "", list, sizeof list, file.c_str());
    return SplitZeroList(list, n);
}

// ---- Processes -----------------------------------------------------------------------------

Process::Process() : job_(NULL), process_(NULL), pid_(0) {}

Process::~Process()
{
    Kill();
    if (process_)
        CloseHandle(process_);
    if (job_)
        CloseHandle(job_);
}

std::string EnvironmentBlock(const std::string& tempDir, const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> replaced = extraEnv;
    if (!tempDir.empty()) {
        replaced.push_back("TEMP=" + tempDir);
        replaced.push_back("TMP=" + tempDir);
    }
    auto nameOf = [](const std::string& entry) {
        std::string name = entry.substr(0, entry.find('=', 1));
        std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        return name;
    };
    std::vector<std::string> entries;
    char* block = GetEnvironmentStringsA();
    for (char* p = block; *p; p += strlen(p) + 1) {
        std::string entry = p;
        bool overridden = false;
        for (const std::string& r : replaced)
            overridden = overridden || nameOf(r) == nameOf(entry);
        if (!overridden)
            entries.push_back(entry);
    }
    FreeEnvironmentStringsA(block);
    entries.insert(entries.end(), replaced.begin(), replaced.end());
    std::string out;
    for (const std::string& e : entries)
        out += e + std::string(1, '\0');
    out += '\0';
    return out;
}

void StartDesktopOutsideJobs()
{
    DestroyWindow(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL));
}

HANDLE CreateKillingJob()
{
    HANDLE job = CreateJobObjectA(NULL, NULL);
    if (!job)
        return NULL;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE; // 0x2000
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

bool StartSuspendedInJob(HANDLE job, const std::string& commandLine, const std::string& currentDir,
                         const std::string& environment, PROCESS_INFORMATION* info, std::string* error)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    *info = PROCESS_INFORMATION();
    // Suspended until it is in the job, so that nothing it starts can escape.
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, CREATE_SUSPENDED, (void*)environment.data(),
                        currentDir.empty() ? NULL : currentDir.c_str(), &startup, info)) {
        *error = "CreateProcess failed with error " + std::to_string(GetLastError()) + " for: " + commandLine;
        return false;
    }
    if (!AssignProcessToJobObject(job, info->hProcess)) {
        *error = "AssignProcessToJobObject failed with error " + std::to_string(GetLastError());
        TerminateProcess(info->hProcess, 1);
        CloseHandle(info->hThread);
        CloseHandle(info->hProcess);
        return false;
    }
    return true;
}

bool Process::Start(const std::string& commandLine, const std::string& currentDir, const std::string& tempDir,
                    const std::vector<std::string>& extraEnv)
{
    error.clear();
    StartDesktopOutsideJobs();
    job_ = CreateKillingJob();
    if (!job_) {
        error = "CreateJobObject failed";
        return false;
    }
    PROCESS_INFORMATION info;
    if (!StartSuspendedInJob(job_, commandLine, currentDir, EnvironmentBlock(tempDir, extraEnv), &info, &error))
        return false;
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    return true;
}

bool Process::WaitFirst(DWORD timeoutMs)
{
    return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

int Process::ActiveCount()
{
    if (!job_)
        return 0;
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (!QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, NULL))
        return -1;
    return (int)accounting.ActiveProcesses;
}

bool Process::WaitAll(DWORD timeoutMs)
{
    if (!job_)
        return false;
    bool done = WaitUntil([&] { return ActiveCount() == 0 && !FirstRunning(); }, timeoutMs);
    if (!done)
        Kill();
    return done;
}

bool Process::FirstRunning() { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

DWORD Process::ExitCode()
{
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_, &code);
    return code;
}

void Process::Kill()
{
    if (job_ && ActiveCount() > 0) {
        TerminateJobObject(job_, 1);
        WaitUntil([&] { return ActiveCount() == 0; }, WAIT_SHORT);
    }
}

// Moves what the pipe holds now into text, without waiting for more.
static void DrainPipe(HANDLE pipe, std::string& text)
{
    DWORD ready = 0;
    while (PeekNamedPipe(pipe, NULL, 0, NULL, &ready, NULL) && ready > 0) {
        char chunk[4096];
        DWORD n = 0;
        if (!ReadFile(pipe, chunk, ready < sizeof chunk ? ready : sizeof chunk, &n, NULL) || n == 0)
            return;
        text.append(chunk, n);
    }
}

Captured RunCaptured(const std::string& commandLine, const std::string& currentDir, DWORD timeoutMs)
{
    Captured result = {-1, std::string(), std::string()};
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0))
        return result;
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return result;
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    BOOL started = CreateProcessA(NULL, line.data(), NULL, NULL, TRUE, 0, NULL, currentDir.empty() ? NULL : currentDir.c_str(),
                                  &startup, &info);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (started) {
        CloseHandle(info.hThread);
        // Read while it runs, so that a full pipe cannot stop it.
        bool ended = WaitUntil([&] {
            DrainPipe(outRead, result.output);
            DrainPipe(errRead, result.errors);
            return WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0;
        }, timeoutMs);
        DrainPipe(outRead, result.output);
        DrainPipe(errRead, result.errors);
        DWORD code = 0;
        if (ended && GetExitCodeProcess(info.hProcess, &code))
            result.status = (int)code;
        else
            TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

// ---- Windows of other processes ------------------------------------------------------------

std::string ClassOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) { return WindowTextOf(window); }

namespace {
struct Search {
    const char* className;
    const char* title;
    DWORD pid;
    int control;    // a dialog item the window must hold, 0 for none
    HWND found;
};
BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    Search* search = (Search*)parameter;
    if (!IsWindowVisible(window))
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (search->pid && pid != search->pid)
        return TRUE;
    if (search->className && ClassOf(window) != search->className)
        return TRUE;
    if (search->title && WindowTextOf(window) != search->title)
        return TRUE;
    if (search->control && !GetDlgItem(window, search->control))
        return TRUE;
    search->found = window;
    return FALSE;
}
BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter)
{
    std::pair<DWORD, std::vector<HWND>*>* collect = (std::pair<DWORD, std::vector<HWND>*>*)parameter;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == collect->first && IsWindowVisible(window))
        collect->second->push_back(window);
    return TRUE;
}
} // namespace

HWND FindTopWindow(const char* className, const char* title, DWORD pid)
{
    Search search = {className, title, pid, 0, NULL};
    EnumWindows(MatchWindow, (LPARAM)&search);
    return search.found;
}

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs, DWORD pid)
{
    HWND found = NULL;
    WaitUntil([&] { return (found = FindTopWindow(className, title, pid)) != NULL; }, timeoutMs);
    return found;
}

bool WaitWindowGone(HWND window, DWORD timeoutMs)
{
    return WaitUntil([&] { return !IsWindow(window); }, timeoutMs);
}

// A visible dialog-class window with the caption that holds the given dialog item.
static HWND WaitForDialogWith(const char* caption, int control, DWORD timeoutMs, DWORD pid)
{
    HWND found = NULL;
    WaitUntil([&] {
        Search search = {"#32770", caption, pid, control, NULL};
        EnumWindows(MatchWindow, (LPARAM)&search);
        return (found = search.found) != NULL;
    }, timeoutMs);
    return found;
}

HWND WaitForBox(const char* caption, DWORD timeoutMs, DWORD pid)
{
    return WaitForDialogWith(caption, 0xFFFF, timeoutMs, pid); // a message box's text
}

HWND WaitForUninstallDialog(const char* caption, DWORD timeoutMs, DWORD pid)
{
    return WaitForDialogWith(caption, 1005, timeoutMs, pid); // IDC_PROGRESS_LIST
}

std::string BoxText(HWND box) { return WindowTextOf(GetDlgItem(box, 0xFFFF)); }

bool AnswerBox(HWND box, int button, DWORD timeoutMs)
{
    if (!box)
        return false;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return WaitWindowGone(box, timeoutMs);
}

HWND Control(HWND dialog, int id) { return GetDlgItem(dialog, id); }
bool IsShown(HWND window) { return window && IsWindowVisible(window); }
bool IsEnabledWindow(HWND window) { return window && IsWindowEnabled(window); }

RECT ScreenRect(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

RECT ClientRectOf(HWND window)
{
    RECT r = ScreenRect(window);
    HWND parent = GetParent(window);
    if (parent)
        MapWindowPoints(HWND_DESKTOP, parent, (POINT*)&r, 2);
    return r;
}

static LRESULT SendW(HWND window, UINT message, WPARAM w, LPARAM l, bool* ok = nullptr)
{
    DWORD_PTR result = 0;
    BOOL sent = SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, 2000, &result);
    if (ok)
        *ok = sent != 0;
    return (LRESULT)result;
}

int ListCount(HWND list)
{
    bool ok;
    LRESULT n = SendW(list, LB_GETCOUNT, 0, 0, &ok);
    return ok ? (int)n : -1;
}

std::vector<std::string> ListItems(HWND list)
{
    std::vector<std::string> items;
    int n = ListCount(list);
    for (int i = 0; i < n; i++) {
        LRESULT length = SendW(list, LB_GETTEXTLEN, i, 0);
        if (length < 0)
            length = 0;
        std::vector<wchar_t> wide(length + 1024, 0);
        LRESULT got = SendW(list, LB_GETTEXT, i, (LPARAM)wide.data());
        if (got < 0)
            got = 0;
        wide[got < (LRESULT)wide.size() ? got : wide.size() - 1] = 0;
        char narrow[4096] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, narrow, sizeof narrow, NULL, NULL);
        items.push_back(narrow);
    }
    return items;
}

int ListSelection(HWND list) { return (int)SendW(list, LB_GETCURSEL, 0, 0); }

std::vector<int> ListSelections(HWND list)
{
    std::vector<int> out;
    LRESULT n = SendW(list, LB_GETSELCOUNT, 0, 0);
    if (n <= 0)
        return out;
    std::vector<int> ids(n);
    n = SendW(list, LB_GETSELITEMS, n, (LPARAM)ids.data());
    ids.resize(n > 0 ? n : 0);
    return ids;
}

bool ListSelect(HWND list, int index)
{
    bool ok;
    LRESULT r = SendW(list, LB_SETCURSEL, index, 0, &ok);
    return ok && (r != LB_ERR || index == -1);
}

bool WaitListCount(HWND list, int count, DWORD timeoutMs)
{
    return WaitUntil([&] { return ListCount(list) == count; }, timeoutMs);
}

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }
void PostCommand(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

std::vector<HWND> WindowsOf(DWORD pid)
{
    std::vector<HWND> out;
    std::pair<DWORD, std::vector<HWND>*> collect(pid, &out);
    EnumWindows(CollectWindow, (LPARAM)&collect);
    return out;
}

// ---- Fixture -------------------------------------------------------------------------------

void SystemTest::SetUp()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = std::string(info->test_suite_name()) + "." + info->name();
    // Parameterised names carry slashes, which are no file name characters.
    for (char& c : name_)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?')
            c = '_';
    dir_ = "C:\\systest\\" + name_;
    temp_ = dir_ + "\\temp";
    ASSERT_TRUE(DeleteTree(dir_)) << "cannot clear " << dir_;
    ASSERT_TRUE(MakeFolders(temp_)) << "cannot create " << temp_;
}

void SystemTest::TearDown()
{
    for (auto& key : keys_)
        RegDeleteKeyTree(key.first, key.second);
    keys_.clear();
}

std::string SystemTest::FreshKey(HKEY root)
{
    std::string path = "Software\\UninstSystemTests\\" + name_;
    RegDeleteKeyTree(root, path);
    RegCreate(root, path);
    keys_.push_back(std::make_pair(root, path));
    return path;
}

bool SystemTest::Start(Process& process, const std::string& commandLine, const std::string& currentDir)
{
    bool started = process.Start(commandLine, currentDir, temp_);
    EXPECT_TRUE(started) << process.error;
    return started;
}

HWND SystemTest::StartConfirmed(Process& process, const std::string& exe, const std::string& currentDir,
                                const std::string& caption)
{
    if (!Start(process, "\"" + exe + "\"", currentDir))
        return NULL;
    HWND box = WaitForBox(caption.c_str(), WAIT_LONG);
    if (!box) {
        ADD_FAILURE() << "no confirmation";
        return NULL;
    }
    EXPECT_TRUE(AnswerBox(box, IDYES));
    HWND dialog = WaitForUninstallDialog(caption.c_str(), WAIT_LONG);
    if (!dialog)
        ADD_FAILURE() << "no uninstall dialog";
    return dialog;
}

} // namespace sys
