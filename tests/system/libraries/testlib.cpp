// Test library for C and D records: stdcall exports that record their calls and return what the test asks.
#include <windows.h>
#include <cstdlib>
#include <string>
#include "../../common/append.h"

// Every event appends one line to the file named by UNINST_TESTLIB_LOG (nothing when unset):
//   "load"                         the library was loaded
//   "unload"                       FreeLibrary released it
//   "unload at exit"               the process ended with the library still loaded
//   "RecordN" then "\t<argument>"  RecordN was called, one field per argument, as received
//   "ReturnZero", "ReturnNegative" those functions were called
// RecordN returns the number in UNINST_TESTLIB_RESULT (1 when unset); ReturnZero returns 0 and
// ReturnNegative -1, so that one log can ask for different results.

static void Note(const std::string& line)
{
    char file[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableA("UNINST_TESTLIB_LOG", file, sizeof file);
    if (n == 0 || n >= sizeof file)
        return;
    AppendRecord(file, line + "\r\n");
}

static int Result()
{
    char value[64];
    DWORD n = GetEnvironmentVariableA("UNINST_TESTLIB_RESULT", value, sizeof value);
    return n == 0 || n >= sizeof value ? 1 : atoi(value);
}

static int Record(const char* name, const char* const* arguments, int count)
{
    std::string line = name;
    for (int i = 0; i < count; i++)
        line += std::string("\t") + arguments[i];
    Note(line);
    return Result();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        Note("load");
    else if (reason == DLL_PROCESS_DETACH)
        Note(reserved ? "unload at exit" : "unload");
    return TRUE;
}

extern "C" __declspec(dllexport) int WINAPI Record0(void)
{
    return Record("Record0", nullptr, 0);
}

extern "C" __declspec(dllexport) int WINAPI Record1(const char* a)
{
    const char* arguments[] = {a};
    return Record("Record1", arguments, 1);
}

extern "C" __declspec(dllexport) int WINAPI Record2(const char* a, const char* b)
{
    const char* arguments[] = {a, b};
    return Record("Record2", arguments, 2);
}

extern "C" __declspec(dllexport) int WINAPI Record3(const char* a, const char* b, const char* c)
{
    const char* arguments[] = {a, b, c};
    return Record("Record3", arguments, 3);
}

extern "C" __declspec(dllexport) int WINAPI Record4(const char* a, const char* b, const char* c, const char* d)
{
    const char* arguments[] = {a, b, c, d};
    return Record("Record4", arguments, 4);
}

extern "C" __declspec(dllexport) int WINAPI Record5(const char* a, const char* b, const char* c, const char* d, const char* e)
{
    const char* arguments[] = {a, b, c, d, e};
    return Record("Record5", arguments, 5);
}

extern "C" __declspec(dllexport) int WINAPI ReturnZero(void)
{
    Note("ReturnZero");
    return 0;
}

extern "C" __declspec(dllexport) int WINAPI ReturnNegative(void)
{
    Note("ReturnNegative");
    return -1;
}
