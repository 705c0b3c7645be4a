// Start-up and stage control: the process-wide paths and flags, the entry and the two stages.
#pragma once
#include <windows.h>

enum {
    TAIL_SIZE = 256,        // bytes at the end of the executable that may name the log
    TEXT_FIELD = 128,       // g_productName and g_caption
    RELAUNCH_BUFFER = 1024  // g_relaunchCommand
};

extern volatile LONG g_instanceCounter; // shared by all processes of one executable file, starts at -1
extern HMODULE g_moduleHandle;          // the running executable
extern char g_exePath[];                // full path of the running executable (512)
extern char g_exeDir[];                 // its folder without trailing backslash (512)
extern int g_silent;                    // set by every -s switch, never cleared
extern char g_argLogPath[];             // log path from the command line; non-empty only in the second stage (512)
extern char g_workDir[];                // temp folder without trailing backslash, or "c:\" (512)
extern char g_startDir[];               // start folder; later scratch for tail, copy path, leftover entry (1024)
extern char g_logPath[];                // full path of the uninstall log (512)
extern char g_productName[];            // text 10 (128)
extern char g_caption[];                // text 48, a space, text 10 (128)
extern char g_relaunchCommand[];        // command line of the second stage (1024)

// Start-up: clears the state, applies the single-instance rule and finds every path.
// Returns 0 when this process is a second instance and must end at once.
int StartUp(void);
void ClearRunState(void);
void ParseCommandLine(void);
int ParseCommandLineText(const char* commandLine); // 0 when the log path does not fit g_argLogPath
void TakeLogNameFromTail(const char* tail, char* name, int nameSize);
void ApplyWorkFolderRule(void);
void FindLogPath(void);

// Library search: only the system folder for every load by name from here on; called first.
extern int g_librarySearchRestricted;   // 1 when the search is limited to the system folder
void RestrictLibrarySearch(void);

// Stage control: tables, then the first or the second stage; never returns.
void RunStages(void);
void WriteSelfRemovalScript(void);

// Stage control's pieces. The builders return 0 and leave an empty text when the result would not fit.
void CopyForDisplay(char* destination, int destinationSize, const char* text); // cut at a character boundary
void BuildTitles(void);                                                      // g_productName and g_caption
int BuildCopyPath(char* destination, int destinationSize, const char* workDir, const char* exePath, const char* exeDir);
int BuildRelaunchCommand(char* destination, int destinationSize, const char* copyPath, int silent, const char* logPath);
// The copy: a new file of this run (CreateOwnFile) with the executable's bytes, returned still open
// for writing; INVALID_HANDLE_VALUE, and no file left, when it cannot be made whole.
HANDLE WriteOwnCopy(const char* source, const char* copyPath);
// Closes the written handle and opens the copy again for reading, shared for reading only, so that it
// can be started but not changed, renamed or deleted; INVALID_HANDLE_VALUE when the file at that name
// is gone or is another one than the file written.
HANDLE HoldCopyForStart(HANDLE written, const char* copyPath);

// The self-removal script's pieces: the five lines, and the same in the interpreter's code page
// (0 when a character has no form there). PrepareRemovalScript gives the length to write, 0 for no script.
int BuildRemovalScriptText(char* destination, int destinationSize, const char* exePath, const char* scriptPath);
int ToInterpreterCodePage(char* destination, int destinationSize, const char* text);
int PrepareRemovalScript(char* scriptPath, int scriptPathSize, char* text, int textSize, const char* workDir, const char* exePath);
