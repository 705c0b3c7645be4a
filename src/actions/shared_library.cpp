// Shared library release (K records): the SharedDLLs reference count.
#include "actions.h"
#include "../common/common.h"
#include "../ui/ui.h"

enum {
    COUNT_SIZE = 4 // bytes of a reference count
};

static const char SHARED_DLLS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

void ReleaseSharedLibrary(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED_DLLS_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) // 0xF003F
        return;
    char path[PATH_BUFFER];
    DWORD type = 0;
    DWORD count = 0;
    DWORD size = COUNT_SIZE;
    // An empty name would be the key's default value, no library's count.
    if (GetField(path, sizeof path, g_currentAction->record + 1, 0) && path[0] &&
        RegQueryValueExA(key, path, 0, &type, (BYTE*)&count, &size) == ERROR_SUCCESS &&
        // Only a whole 4-byte count of at least 1 can be lowered; text data would be corrupted.
        size == COUNT_SIZE && count > 0 && (type == REG_DWORD || type == REG_BINARY || type == REG_NONE)) { // 4, 3, 0
        count--;
        if (count == 0) {
            RegDeleteValueA(key, path);
            AddLeftover(path);
            MarkProcessed(path);
        } else {
            RegSetValueExA(key, path, 0, type, (const BYTE*)&count, COUNT_SIZE);
        }
    }
    RegCloseKey(key);
}
