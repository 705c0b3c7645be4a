// Start-up: the global paths and flags, the single-instance rule and the log location.
#include "startup.h"
#include "../common/common.h"
#include "../log/log.h"
#include "../actions/actions.h"
#include "../ui/ui.h"

// Shared by every process started from this executable file; a copy of the file has its own.
__attribute__((section(".shared"), shared)) volatile LONG g_instanceCounter = -1;

HMODULE g_moduleHandle;
char g_exePath[PATH_BUFFER];
char g_exeDir[PATH_BUFFER];
int g_silent;
char g_argLogPath[PATH_BUFFER];
char g_workDir[PATH_BUFFER];
char g_startDir[SCRATCH_BUFFER];
char g_logPath[PATH_BUFFER];
char g_productName[TEXT_FIELD];
char g_caption[TEXT_FIELD];
char g_relaunchCommand[RELAUNCH_BUFFER];

void ClearRunState(void)
{
    g_moduleHandle = 0;
    g_dialog = 0;
    g_productName[0] = 0;
    g_caption[0] = 0;
    g_currentAction = 0;
    g_lastAction = 0;
    ResetLogState();
}

// A result that does not fit its buffer leaves the buffer empty: a cut path names another file.
static void KeepIfFits(char* buffer, DWORD length)
{
    if (length == 0 || length >= SYSTEM_PATH_MAX)
        buffer[0] = 0;
}

static void DropTrailingBackslash(char* path)
{
    int n = TextLength(path);
    if (n > 0 && path[n - 1] == '\\')
        path[n - 1] = 0;
}

void ApplyWorkFolderRule(void)
{
    DropTrailingBackslash(g_workDir);
    DropTrailingBackslash(g_startDir);
    if (SameText(g_startDir, g_workDir))
        CopyText(g_workDir, PATH_BUFFER, "c:\\");
}

void TakeLogNameFromTail(const char* tail, char* name, int nameSize)
{
    if (tail[TAIL_SIZE - 2] == 0) {
        CopyText(name, nameSize, "uninstal.ini");
        return;
    }
    int start = 1;
    for (int i = 1; i <= TAIL_SIZE - 3; i++)
        if (tail[i] == 0)
            start = i + 1;
    int n = 0;
    while (start + n < TAIL_SIZE && tail[start + n] != 0 && n < nameSize - 1) {
        name[n] = tail[start + n];
        n++;
    }
    name[n] = 0;
}

void FindLogPath(void)
{
    if (g_argLogPath[0]) {
        CopyText(g_logPath, PATH_BUFFER, g_argLogPath);
        return;
    }
    DWORD size = 1;
    HANDLE file = OpenForSize(g_exePath, &size);
    if (file == INVALID_HANDLE_VALUE)
        ShowMessage(MSG_ERROR | MSG_EXIT, "Don't open %s", g_exePath);
    // A file shorter than the tail cannot carry a name; the buffer keeps the start folder.
    if (size >= TAIL_SIZE) {
        SetFilePointer(file, (LONG)(size - TAIL_SIZE), NULL, FILE_BEGIN);
        ReadExact(file, g_startDir, TAIL_SIZE, g_exePath);
    }
    char name[TAIL_SIZE];
    TakeLogNameFromTail(g_startDir, name, sizeof name);
    JoinPath(g_logPath, PATH_BUFFER, g_exeDir, name);
    CloseHandle(file);
}

int StartUp(void)
{
    ClearRunState();
    g_moduleHandle = GetModuleHandleA(NULL);
    if (InterlockedIncrement(&g_instanceCounter) != 0) {
        HWND window = FindWindowA(NULL, "Uninstall");
        ShowWindow(window, SW_MINIMIZE);
        ShowWindow(window, SW_SHOWDEFAULT);
        return 0;
    }
    KeepIfFits(g_exePath, GetModuleFileNameA(g_moduleHandle, g_exePath, SYSTEM_PATH_MAX));
    ParseCommandLine();
    CopyText(g_exeDir, PATH_BUFFER, g_exePath);
    StripLastComponent(g_exeDir);
    KeepIfFits(g_workDir, GetTempPathA(SYSTEM_PATH_MAX, g_workDir));
    if (!g_workDir[0])
        CopyText(g_workDir, PATH_BUFFER, "c:\\");
    KeepIfFits(g_startDir, GetCurrentDirectoryA(SYSTEM_PATH_MAX, g_startDir));
    ApplyWorkFolderRule();
    FindLogPath();
    return 1;
}
