// Library search limited to the system folder, so that nothing planted beside the copy is loaded.
#include "startup.h"

enum {
    SEARCH_SYSTEM32 = 0x800 // LOAD_LIBRARY_SEARCH_SYSTEM32
};

typedef BOOL (WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);
typedef BOOL (WINAPI* SetDllDirectoryFunction)(const char* path);

int g_librarySearchRestricted;

void RestrictLibrarySearch(void)
{
    // Both calls are looked up: systems without the update that brought the first one, and
    // the oldest without the second, simply keep their search order.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return;
    SetDefaultDllDirectoriesFunction setDefault =
        (SetDefaultDllDirectoriesFunction)(void*)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault && setDefault(SEARCH_SYSTEM32))
        g_librarySearchRestricted = 1;
    // An empty text takes the current folder out of the search where the call above is missing.
    SetDllDirectoryFunction setDirectory = (SetDllDirectoryFunction)(void*)GetProcAddress(kernel, "SetDllDirectoryA");
    if (setDirectory)
        setDirectory("");
}
