// Test library planted under the names of system libraries: records every process that loads it.
#include <windows.h>

// On load, creates "<its own path>.loaded" beside itself, so a test sees which copy was taken.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameA(instance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return TRUE;
    lstrcatA(path, ".loaded");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return TRUE;
}

// Something to call by name, so a library-call record has a function to find.
extern "C" __declspec(dllexport) int WINAPI PlantedCall(void)
{
    return 1;
}
