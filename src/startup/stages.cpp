// Stage control: the tables, the first stage with its relaunch, the second stage.
#include "startup.h"
#include "../common/common.h"
#include "../common/security.h"
#include "../log/log.h"
#include "../actions/actions.h"
#include "../ui/ui.h"
#include <shlobj.h>

enum {
    STAGE_PAUSE = 100,   // milliseconds the second stage gives the first to end
    CAPTION_WORK = 1024, // text 48, a space and the product name before the cut to TEXT_FIELD
    COPY_CHUNK = 2048    // bytes moved per read while the executable is copied; frames stay under a page
};

void CopyForDisplay(char* destination, int destinationSize, const char* text)
{
    // Cut at a character boundary so that a double-byte character is never split.
    int used = 0;
    const char* p = text;
    while (*p) {
        const char* next = CharNextA(p);
        int n = (int)(next - p);
        if (n <= 0 || used + n >= destinationSize)
            break;
        for (int i = 0; i < n; i++)
            destination[used + i] = p[i];
        used += n;
        p = next;
    }
    destination[used] = 0;
}

void BuildTitles(void)
{
    CopyForDisplay(g_productName, TEXT_FIELD, GetLogString(10));
    char caption[CAPTION_WORK];
    // Text 48 holds at most 511 characters and the product name 127: both always fit here.
    CopyText(caption, sizeof caption, GetLogString(48));
    AppendText(caption, sizeof caption, " ");
    AppendText(caption, sizeof caption, g_productName);
    CopyForDisplay(g_caption, TEXT_FIELD, caption);
}

int BuildCopyPath(char* destination, int destinationSize, const char* workDir, const char* exePath, const char* exeDir)
{
    // The copy keeps the executable's own file name: the part of its path after its folder.
    return JoinPath(destination, destinationSize, workDir, exePath + TextLength(exeDir)) != 0;
}

int BuildRelaunchCommand(char* destination, int destinationSize, const char* copyPath, int silent, const char* logPath)
{
    // A cut command would start another program or name another log, so it is refused whole.
    destination[0] = 0;
    if (AppendText(destination, destinationSize, "\"") && AppendText(destination, destinationSize, copyPath) &&
        AppendText(destination, destinationSize, "\" ") && AppendText(destination, destinationSize, silent ? "-s " : "") &&
        AppendText(destination, destinationSize, "\"") && AppendText(destination, destinationSize, logPath) &&
        AppendText(destination, destinationSize, "\""))
        return 1;
    destination[0] = 0;
    return 0;
}

HANDLE WriteOwnCopy(const char* source, const char* copyPath)
{
    DWORD size = 1; // read mode
    HANDLE from = OpenForSize(source, &size);
    if (from == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    HANDLE to = CreateOwnFile(copyPath);
    int copied = to != INVALID_HANDLE_VALUE;
    char chunk[COPY_CHUNK];
    while (copied) {
        DWORD got = 0, put = 0;
        if (!ReadFile(from, chunk, sizeof chunk, &got, NULL)) {
            copied = 0;
            break;
        }
        if (got == 0)
            break;
        if (!WriteFile(to, chunk, got, &put, NULL) || put != got)
            copied = 0;
    }
    CloseHandle(from);
    if (to != INVALID_HANDLE_VALUE && !copied) {
        // A part of the program must not stay behind to be started by someone.
        DeleteFileA(copyPath);
        CloseHandle(to);
        to = INVALID_HANDLE_VALUE;
    }
    return to;
}

static int SameFile(const BY_HANDLE_FILE_INFORMATION* a, const BY_HANDLE_FILE_INFORMATION* b)
{
    return a->dwVolumeSerialNumber == b->dwVolumeSerialNumber && a->nFileIndexHigh == b->nFileIndexHigh &&
           a->nFileIndexLow == b->nFileIndexLow;
}

HANDLE HoldCopyForStart(HANDLE written, const char* copyPath)
{
    // The system starts no image that a handle has open for writing, so the written handle goes, and
    // the name is opened again, shared for reading only: from here until the start nobody can write,
    // rename or delete the file. It must still be the file written, not one put in its place meanwhile.
    BY_HANDLE_FILE_INFORMATION mine, found;
    int known = GetFileInformationByHandle(written, &mine);
    CloseHandle(written);
    if (!known)
        return INVALID_HANDLE_VALUE;
    HANDLE held = CreateFileA(copyPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, // 0x1, 3
                              FILE_FLAG_OPEN_REPARSE_POINT, NULL);                          // 0x200000
    if (held == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    if (!GetFileInformationByHandle(held, &found) || !SameFile(&mine, &found)) {
        CloseHandle(held);
        return INVALID_HANDLE_VALUE;
    }
    return held;
}

static void PointCursorAtActions(void)
{
    g_currentAction = ActionList.entries;
    // For an empty list the last entry lies one before the first, so that nothing runs.
    g_lastAction = ActionList.entries ? ActionList.entries + (ActionList.count - 1) : 0;
}

// Returns 0 when the user declined, so that nothing is copied or changed.
static int RunFirstStage(void)
{
    if (!g_silent && ShowMessage(MSG_YESNO, GetLogString(43), g_productName) != IDYES)
        return 0;
    if (!BuildCopyPath(g_startDir, SCRATCH_BUFFER, g_workDir, g_exePath, g_exeDir))
        ShowMessage(MSG_ERROR | MSG_EXIT, GetLogString(36), g_exePath, g_workDir);
    // The copy stays open for writing until the start, so that no one else can write into it.
    HANDLE copy = WriteOwnCopy(g_exePath, g_startDir);
    if (copy == INVALID_HANDLE_VALUE)
        ShowMessage(MSG_ERROR | MSG_EXIT, GetLogString(36), g_exePath, g_startDir);
    if (!BuildRelaunchCommand(g_relaunchCommand, RELAUNCH_BUFFER, g_startDir, g_silent, g_logPath)) {
        // Stop before anything is changed: a second stage could never be started.
        DeleteFileA(g_startDir);
        CloseHandle(copy);
        ShowMessage(MSG_ERROR | MSG_EXIT, GetLogString(49), g_startDir);
    }
    RunActions(1);
    STARTUPINFOA startup;
    ZeroBytes(&startup, sizeof startup);
    startup.cb = sizeof startup;
    RemoveUninstallEntries();
    PROCESS_INFORMATION process;
    ZeroBytes(&process, sizeof process);
    // A copy that went or was replaced meanwhile cannot be started, as when the start itself fails.
    HANDLE image = HoldCopyForStart(copy, g_startDir);
    if (image == INVALID_HANDLE_VALUE ||
        !CreateProcessA(NULL, g_relaunchCommand, NULL, NULL, TRUE, CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS, // 0x04000020
                        NULL, NULL, &startup, &process))
        ShowMessage(MSG_ERROR | MSG_EXIT, GetLogString(49), g_relaunchCommand);
    CloseHandle(image);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

static void RunSecondStage(void)
{
    Sleep(STAGE_PAUSE);
    SetCurrentDirectoryA(g_workDir);
    if (g_silent)
        RunActions(0);
    else
        DialogBoxParamA(g_moduleHandle, MAKEINTRESOURCEA(IDD_UNINSTALL), NULL, UninstallDialogProc, 0);
}

void RunStages(void)
{
    AllocateRunTables();
    ReadUninstallLog();
    BuildTitles();
    PointCursorAtActions();
    int secondStage = g_argLogPath[0] != 0;
    int exitCode = EXIT_DONE;
    if (secondStage)
        RunSecondStage();
    else if (!RunFirstStage())
        exitCode = EXIT_DECLINED;
    if (secondStage) {
        SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA, g_startDir, NULL);                    // 0x4, 0x1
        SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHA, g_exeDir, NULL);                       // 0x10, 0x1
        SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA | SHCNF_FLUSH, g_exeDir, NULL);     // 0x1000, 0x1001
    }
    ReleaseRunTables();
    if (secondStage)
        WriteSelfRemovalScript();
    ExitProcess(exitCode);
}
