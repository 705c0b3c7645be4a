// Self-removal script: the batch file that deletes the copy once the second stage has ended.
#include "startup.h"
#include "../common/common.h"
#include "../common/security.h"

enum {
    SCRIPT_PATH_BUFFER = 260,   // path of guninst.bat
    SCRIPT_TEXT_BUFFER = 1040,  // the five lines in the program's code page
    SCRIPT_WIDE_BUFFER = 1040,  // the same text as UTF-16 on its way to the interpreter's code page
    SCRIPT_OEM_BUFFER = 3120,   // room for a code page that needs up to three bytes per character
    UTF8_CODE_PAGE = 65001
};

int BuildRemovalScriptText(char* destination, int destinationSize, const char* exePath, const char* scriptPath)
{
    // The same five lines as the format "@echo off\r\n:try\r\ndel \"%s\"\r\nif exist \"%s\" goto try\r\ndel \"%s\"\r\n",
    // refused whole when they do not fit: a cut line could delete something else.
    const char* parts[] = {"@echo off\r\n:try\r\ndel \"", exePath, "\"\r\nif exist \"", exePath, "\" goto try\r\ndel \"",
                           scriptPath, "\"\r\n"};
    destination[0] = 0;
    for (unsigned i = 0; i < sizeof parts / sizeof parts[0]; i++)
        if (!AppendText(destination, destinationSize, parts[i])) {
            destination[0] = 0;
            return 0;
        }
    return TextLength(destination);
}

static int IsAscii(const char* text)
{
    for (; *text; text++)
        if ((unsigned char)*text >= 0x80)
            return 0;
    return 1;
}

int ToInterpreterCodePage(char* destination, int destinationSize, const char* text)
{
    // The command interpreter reads a batch file in the OEM code page; our paths are ANSI.
    // ASCII is the same in both and stays byte for byte.
    if (IsAscii(text))
        return CopyText(destination, destinationSize, text) ? TextLength(destination) : 0;
    destination[0] = 0;
    WCHAR wide[SCRIPT_WIDE_BUFFER];
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide, SCRIPT_WIDE_BUFFER)) // 0x8
        return 0;
    UINT oem = GetOEMCP();
    BOOL lost = FALSE;
    // A character without an OEM form would come out as '?', a wildcard for del: refuse instead.
    int n = (oem == UTF8_CODE_PAGE)
                ? WideCharToMultiByte(oem, 0, wide, -1, destination, destinationSize, NULL, NULL)
                : WideCharToMultiByte(oem, WC_NO_BEST_FIT_CHARS, wide, -1, destination, destinationSize, NULL, &lost); // 0x400
    if (n <= 0 || lost) {
        destination[0] = 0;
        return 0;
    }
    return n - 1;
}

int PrepareRemovalScript(char* scriptPath, int scriptPathSize, char* text, int textSize, const char* workDir, const char* exePath)
{
    text[0] = 0;
    if (!JoinPath(scriptPath, scriptPathSize, workDir, "guninst.bat"))
        return 0;
    char ansi[SCRIPT_TEXT_BUFFER];
    if (!BuildRemovalScriptText(ansi, sizeof ansi, exePath, scriptPath))
        return 0;
    int n = ToInterpreterCodePage(text, textSize, ansi);
    if (n || IsAscii(ansi))
        return n;
    // Some character has no OEM form: the short names the system keeps may do without it.
    char shortExe[PATH_BUFFER];
    char shortDir[PATH_BUFFER];
    char shortScript[SCRIPT_PATH_BUFFER];
    DWORD e = GetShortPathNameA(exePath, shortExe, sizeof shortExe);
    DWORD d = GetShortPathNameA(workDir, shortDir, sizeof shortDir);
    if (e == 0 || e >= sizeof shortExe || d == 0 || d >= sizeof shortDir)
        return 0;
    if (!JoinPath(shortScript, sizeof shortScript, shortDir, "guninst.bat"))
        return 0;
    if (!BuildRemovalScriptText(ansi, sizeof ansi, shortExe, shortScript))
        return 0;
    return ToInterpreterCodePage(text, textSize, ansi);
}

void WriteSelfRemovalScript(void)
{
    char scriptPath[SCRIPT_PATH_BUFFER];
    char text[SCRIPT_OEM_BUFFER];
    int length = PrepareRemovalScript(scriptPath, sizeof scriptPath, text, sizeof text, g_workDir, g_exePath);
    if (!length)
        return;
    // The interpreter reads the script again while it loops: a file of this run that others cannot change.
    HANDLE file = CreateOwnFile(scriptPath);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (!WriteFile(file, text, (DWORD)length, &written, NULL) || written != (DWORD)length) {
        // A cut line could name another file for del.
        DeleteFileA(scriptPath);
        CloseHandle(file);
        return;
    }
    CloseHandle(file);

    STARTUPINFOA startup;
    ZeroBytes(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW; // 0x1
    startup.wShowWindow = SW_HIDE;          // 0
    // Quoted, so that a folder with blanks cannot make the system start a program named by a prefix of it.
    char command[SCRIPT_PATH_BUFFER + 2];
    command[0] = 0;
    AppendText(command, sizeof command, "\"");
    AppendText(command, sizeof command, scriptPath);
    AppendText(command, sizeof command, "\"");
    PROCESS_INFORMATION process;
    ZeroBytes(&process, sizeof process);
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, NULL, NULL, &startup, // 0x44
                        &process))
        return;
    SetThreadPriority(process.hThread, THREAD_PRIORITY_LOWEST); // -2
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
