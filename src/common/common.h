// Path and text helpers, file access, memory blocks and the message box routine.
#pragma once
#include <windows.h>

// Buffer sizes shared by the whole program, terminating zero included.
enum {
    PATH_BUFFER = 512,      // every path buffer
    SYSTEM_PATH_MAX = 255,  // size passed when the system fills a path buffer
    SCRATCH_BUFFER = 1024,  // g_startDir: start folder, tail, copy path, leftover entry
    MESSAGE_MAX = 1024      // formatted message, terminating zero included
};

// Message kind word of ShowMessage: the low 8 bits pick the box, MSG_EXIT ends the process.
enum {
    MSG_INFO = 0,
    MSG_ERROR = 1,
    MSG_YESNO = 2,
    MSG_OKCANCEL = 4,
    MSG_EXIT = 0x1000
};

// Exit codes of the process, one for each way a run can end. The non-zero ones are system error
// codes whose system text says what happened, since deployment tools show that text.
enum {
    EXIT_DONE = 0,                  // the run did its work, handed over to the second stage, or was a second instance
    EXIT_APPLICATION_RUNNING = 170, // ERROR_BUSY: an end chosen in a running-application check
    EXIT_DECLINED = 1602,           // ERROR_INSTALL_USEREXIT: the confirmation was answered No
    EXIT_FATAL = 1603,              // ERROR_INSTALL_FAILURE: a fatal error box (log, copy, relaunch, memory)
    EXIT_CALL_REFUSED = 1627        // ERROR_FUNCTION_FAILED: a C record's function returned 0
};

// Paths. JoinPath and CopyText return 0 and leave an empty destination when the
// result would not fit: a cut path could name another file, so callers skip it.
char* JoinPath(char* destination, int destinationSize, const char* folder, const char* name);
void FileNameOf(const char* path, char* destination, int destinationSize);
void StripLastComponent(char* path);
int FileExists(const char* path);

// Texts, compared ignoring case in the user's default locale.
int SameText(const char* a, const char* b);
int StartsWithText(const char* text, const char* prefix);
int TextLength(const char* text);
int CopyText(char* destination, int destinationSize, const char* source);
int AppendText(char* destination, int destinationSize, const char* source);
// 1 when the text holds '?', which the system puts for a character of a name that the ANSI code
// page lacks: no real name holds it, and no byte of a double-byte character has its value.
int HoldsSubstitute(const char* text);

// Whole-file access. OpenForSize creates for writing when size is 0, else opens for reading.
HANDLE OpenForSize(const char* path, DWORD* size);
void ReadExact(HANDLE file, void* buffer, DWORD count, const char* name);

// Memory blocks, zero-filled from the system.
void* AllocBlock(DWORD size);
void FreeBlock(void** block);
void ZeroBytes(void* pointer, DWORD count);

// Message boxes. Only "%s" takes an argument (the ones the caller passes, in order) and "%%"
// gives a percent sign; every other directive, and a "%s" beyond the arguments, stays literal.
int FormatText(char* destination, int destinationSize, const char* format, const char* const* arguments, int argumentCount);
int ShowMessage(UINT kind, const char* format, const char* argument1 = 0, const char* argument2 = 0);
