// Stand-in for the Windows header in the native builds (fuzzers, authoring tool): only what the parsing code uses.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Windows widths, not the host's: LONG and DWORD stay 32 bits on a 64-bit host too.
typedef int BOOL;
typedef int LONG;
typedef unsigned int DWORD;
typedef unsigned int UINT;
typedef unsigned short WORD;
typedef unsigned char BYTE;
typedef int64_t INT_PTR;
typedef int64_t LONG_PTR;
typedef uint64_t UINT_PTR;
typedef uint64_t DWORD_PTR;
typedef size_t SIZE_T;
typedef int64_t SSIZE_T;
typedef unsigned int ULONG;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef unsigned int LCID;
typedef void* HANDLE;
typedef struct HostWindow* HWND;
typedef struct HostModule* HMODULE;
typedef struct HostKey* HKEY;
typedef void* FARPROC;
typedef struct _WIN32_FIND_DATAA WIN32_FIND_DATAA; // named by the action declarations, never filled here

#define WINAPI
#define CALLBACK
#define __stdcall
#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 1
#define FILE_SHARE_WRITE 2
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_BEGIN 0
#define MEM_COMMIT 0x1000
#define MEM_RESERVE 0x2000
#define MEM_RELEASE 0x8000
#define PAGE_READWRITE 4
#define LOCALE_USER_DEFAULT 0x0400
#define NORM_IGNORECASE 1
#define LCMAP_SORTKEY 0x400
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
#define MB_OK 0
#define MB_OKCANCEL 1
#define MB_YESNO 4
#define MB_ICONHAND 0x10
#define MB_ICONQUESTION 0x20
#define MB_ICONINFORMATION 0x40
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7
#define SW_MINIMIZE 6
#define SW_SHOWDEFAULT 10

extern "C" {
int CompareStringA(LCID locale, DWORD flags, const char* a, int aLength, const char* b, int bLength);
int LCMapStringA(LCID locale, DWORD flags, const char* source, int sourceLength, char* destination, int destinationSize);
int lstrlenA(const char* text);
HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* security, DWORD creation, DWORD attributes,
                   HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void* overlapped);
DWORD GetFileSize(HANDLE file, DWORD* high);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileAttributesA(const char* path);
void* VirtualAlloc(void* address, size_t size, DWORD type, DWORD protect);
BOOL VirtualFree(void* address, size_t size, DWORD type);
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT style);
int wsprintfA(char* destination, const char* format, ...);
[[noreturn]] void ExitProcess(UINT code);
const char* GetCommandLineA(void);
HMODULE GetModuleHandleA(const char* name);
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
DWORD GetTempPathA(DWORD size, char* buffer);
DWORD GetCurrentDirectoryA(DWORD size, char* buffer);
LONG InterlockedIncrement(volatile LONG* value);
HWND FindWindowA(const char* className, const char* title);
BOOL ShowWindow(HWND window, int command);
}
