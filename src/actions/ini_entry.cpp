// INI entry removal (M records): a key, a whole section, a section left without keys.
#include "actions.h"
#include "../common/common.h"

enum {
    INI_KEY_BUFFER = 256,  // a key name, then the names left in the section
    KEY_LIST_SIZE = 200    // room the profile call is given for that list
};

void RemoveIniEntry(void)
{
    const char* fields = g_currentAction->record + 1;
    char file[PATH_BUFFER];
    char section[PATH_BUFFER];
    char keyName[INI_KEY_BUFFER];
    if (!GetField(file, sizeof file, fields, 0) || !GetField(section, sizeof section, fields, 1) ||
        !GetField(keyName, sizeof keyName, fields, 2))
        return;
    // A name without a folder is looked for in the current folder but written in the Windows
    // folder by the profile calls: two different files, so it is refused.
    int hasFolder = 0;
    for (const char* p = file; *p; p++)
        if (*p == '\\')
            hasFolder = 1;
    if (!hasFolder || !FileExists(file))
        return;
    if (!keyName[0]) {
        WritePrivateProfileStringA(section, 0, 0, file);
        return;
    }
    WritePrivateProfileStringA(section, keyName, 0, file);
    GetPrivateProfileStringA(section, 0, "", keyName, KEY_LIST_SIZE, file);
    if (!keyName[0])
        WritePrivateProfileStringA(section, 0, 0, file);
}
