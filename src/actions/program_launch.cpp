// Program launch (E records): start under the short path and wait.
#include "actions.h"
#include "../common/common.h"

enum {
    COMMAND_LINE_BUFFER = 512   // the command line, its copy and the quoted path
};

// Puts the leading quoted path, whose closing quote is at close, in its short form and appends
// the rest unchanged. Leaves the command line as written when that cannot be done: the quoted
// long path still starts the right program, where a failed or unfitting conversion would not.
static void UseShortPath(char* commandLine, int close)
{
    char copy[COMMAND_LINE_BUFFER];
    char path[COMMAND_LINE_BUFFER];
    char shortened[COMMAND_LINE_BUFFER];
    CopyText(copy, COMMAND_LINE_BUFFER, commandLine);
    int length = close - 1;
    for (int i = 0; i < length; i++)
        path[i] = copy[1 + i];
    path[length] = 0;
    DWORD got = GetShortPathNameA(path, shortened, COMMAND_LINE_BUFFER);
    if (got == 0 || got >= COMMAND_LINE_BUFFER)
        return;
    // Without 8.3 names the "short" form can keep its blanks; unquoted, they would split it.
    for (int i = 0; shortened[i]; i++) {
        if (shortened[i] == ' ')
            return;
    }
    if (!AppendText(shortened, COMMAND_LINE_BUFFER, copy + close + 1))
        return;
    CopyText(commandLine, COMMAND_LINE_BUFFER, shortened);
}

void LaunchProgram(void)
{
    char commandLine[COMMAND_LINE_BUFFER];
    if (!GetField(commandLine, COMMAND_LINE_BUFFER, g_currentAction->record + 1, 0))
        return; // a cut command line would start another program or pass other arguments
    STARTUPINFOA startup; // 68 bytes on PE32
    ZeroBytes(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (commandLine[0] == '"') {
        int close = 1;
        while (commandLine[close] && commandLine[close] != '"')
            close++;
        if (!commandLine[close])
            return; // no closing quote: where the program's path ends is unknown, so nothing starts
        UseShortPath(commandLine, close);
    }
    PROCESS_INFORMATION process;
    ZeroBytes(&process, sizeof process);
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, TRUE, CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS, // 0x04000020
                        NULL, NULL, &startup, &process))
        return;
    WaitForSingleObject(process.hThread, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
