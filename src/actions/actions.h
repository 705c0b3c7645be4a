// The action dispatcher and the handler of every record type.
#pragma once
#include <windows.h>
#include "../log/log.h"

enum {
    PHASE_BOUNDARY = 15000,
    MODE_DELETE = 0,
    MODE_ASK = 1,
    MODE_LIST = 2,
    SPLIT_REFUSED = -2          // SplitExtension: a half did not fit its buffer
};

// FoundEntryPath: how the path it built reaches the entry.
enum {
    ENTRY_REFUSED = 0,          // the path did not fit; nothing is built
    ENTRY_NAMED = 1,            // by the entry's name
    ENTRY_SHORT = 2,            // by its short name: the name holds characters the ANSI code page lacks
    ENTRY_UNREACHED = 3         // by no name: the path shows the name as found, '?' and all
};

extern ActionEntry* g_currentAction; // the entry being run
extern ActionEntry* g_lastAction;    // the last entry of ActionList

void RunActions(int earlyPhase);

void CheckRunningApplication(void);              // B
BOOL CALLBACK WindowTitleContains(HWND window, LPARAM name);
void CallLibraryFunction(int stopOnZero);        // C, D
void LaunchProgram(void);                        // E
void RemoveRegistryEntry(void);                  // J
int DeleteRegistryTree(HKEY root, const char* keyPath);
void RemoveUninstallEntries(void);
void ReleaseSharedLibrary(void);                 // K
void RemoveIniEntry(void);                       // M
void RemoveFilesAction(int recursive);           // P (0) and U (1)
void RemoveFiles(const char* pattern, int recursive, BYTE mode);
void RemoveOneFile(const char* path, BYTE mode);
int SplitExtension(const char* name, char* base, int baseSize, char* extension, int extensionSize);
int FoundEntryPath(char* path, int pathSize, const char* folder, const WIN32_FIND_DATAA* found);
