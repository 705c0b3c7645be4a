// Registry removal (J records) and the first-stage pass over Add/Remove Programs entries.
#include "actions.h"
#include "../common/common.h"
#include "../startup/startup.h"

enum {
    ROOT_COUNT = 4,           // root numbers 0 to 3
    VALUE_NAME_BUFFER = 128,  // a value name, terminating zero included
    SUBKEY_NAME_BUFFER = 128, // one subkey name as RegEnumKeyExA is told
    UNINSTALL_COPY = PATH_BUFFER // the first-stage copy: key path, comma, value name
};

static const char UNINSTALL_PREFIX[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// True for a path that names no key below the root: empty, or nothing but backslashes.
static int NamesNoKey(const char* keyPath)
{
    for (const char* p = keyPath; *p; p++)
        if (*p != '\\')
            return 0;
    return 1;
}

void RemoveRegistryEntry(void)
{
    static const HKEY roots[ROOT_COUNT] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    const char* fields = g_currentAction->record + 1;
    char keyPath[PATH_BUFFER];
    char valueName[VALUE_NAME_BUFFER];
    if (!GetField(keyPath, sizeof keyPath, fields, 0))
        return;
    // Root numbers other than 0 to 3 name no root; guessing one could delete a stranger's key.
    unsigned int rootNumber = (BYTE)ParseInt(keyPath);
    if (rootNumber >= ROOT_COUNT)
        return;
    HKEY root = roots[rootNumber];
    if (!GetField(keyPath, sizeof keyPath, fields, 1) || !GetField(valueName, sizeof valueName, fields, 2))
        return;
    if (!valueName[0]) {
        DeleteRegistryTree(root, keyPath);
        return;
    }
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_WRITE, &key) != ERROR_SUCCESS) // 0x20006
        return;
    RegDeleteValueA(key, SameText(valueName, "default") ? "" : valueName);
    RegCloseKey(key);
}

int DeleteRegistryTree(HKEY root, const char* keyPath)
{
    // Opening an empty path would open the root itself and empty it.
    if (NamesNoKey(keyPath))
        return ERROR_BAD_PATHNAME;
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) { // 0x2001F
        DWORD index = 0;
        for (;;) {
            char name[SUBKEY_NAME_BUFFER];
            DWORD capacity = sizeof name;
            FILETIME written;
            if (RegEnumKeyExA(key, index, name, &capacity, 0, 0, 0, &written) != ERROR_SUCCESS)
                break;
            char child[PATH_BUFFER];
            // A child whose full path has no room stays, and so does this key.
            if (!JoinPath(child, sizeof child, keyPath, name) || DeleteRegistryTree(root, child) != ERROR_SUCCESS)
                index++;
        }
        RegCloseKey(key);
    }
    return RegDeleteKeyA(root, keyPath);
}

// One LogRecord of the second reading: deletes the Add/Remove Programs key that it names.
static void RemoveUninstallKeyOf(const char* record)
{
    if (record[0] != 'J' || TextLength(record) < 4 || !StartsWithText(record + 3, UNINSTALL_PREFIX))
        return;
    char keyPath[UNINSTALL_COPY];
    if (!CopyText(keyPath, sizeof keyPath, record + 3))
        return;
    int comma = TextLength(keyPath) - 1;
    while (comma > 0 && keyPath[comma] != ',')
        comma--;
    // Without the value-name field there is no key path to take; the whole text is not one.
    if (comma <= 0)
        return;
    keyPath[comma] = 0;
    // The Uninstall key itself holds every program's entry: only a key below it, or beside it, goes.
    if (NamesNoKey(keyPath + sizeof UNINSTALL_PREFIX - 1))
        return;
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, keyPath);
}

void RemoveUninstallEntries(void)
{
    DWORD size = 1; // non-zero: open for reading
    HANDLE file = OpenForSize(g_logPath, &size);
    if (file == INVALID_HANDLE_VALUE)
        ShowMessage(MSG_ERROR | MSG_EXIT, "Can't open uninstal log file %s!", g_logPath);
    if (size == INVALID_FILE_SIZE) {
        CloseHandle(file);
        return;
    }
    char* block = (char*)AllocBlock(size + 1);
    ReadExact(file, block, size, g_logPath);
    g_logBuffer = block;

    // The reader's own line rules: a line it passes over (one holding a zero byte too) changes nothing here.
    char* end = block + size;
    char* p = block;
    char* line;
    while ((line = NextRecordLine(&p, end)) != 0) {
        ParseRecordKey(&line);
        RemoveUninstallKeyOf(line);
    }
    CloseHandle(file);
}
