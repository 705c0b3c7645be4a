// File and folder removal (P and U records): patterns, modes, descent and the folders never taken.
#include "actions.h"
#include "../common/common.h"
#include "../ui/ui.h"
#include <shlobj.h>

enum {
    NAME_BUFFER = 256,          // a pattern's last component, its base and its extension
    NAME_MAX = NAME_BUFFER - 1, // longest last component a pattern may have
    WILDCARD_FOLDER_MIN = 4,    // a wildcard's folder part must be longer than a drive root
    PROTECTED_MAX = 32          // well-known folders that the system names
};

static char g_protectedFolders[PROTECTED_MAX][PATH_BUFFER]; // normalised well-known folders, no trailing backslash
static int g_protectedCount;                                // entries of g_protectedFolders in use
static int g_protectedReady;                                // set once the list has been asked for

// NormaliseFolder's results
enum {
    NORMAL_NONE = 0, // the path cannot be put in full form
    NORMAL_FULL = 1, // full form only: the system gave no long form
    NORMAL_LONG = 2  // full, long form
};

// Full, long form without a trailing backslash, so that "C:\PROGRA~1\" and "c:\windows\..\Program Files"
// compare equal to what the system names. A name the ANSI code page lacks characters of comes out
// with '?' in their place, as the system's own folder names do.
static int NormaliseFolder(const char* path, char* out, int outSize)
{
    char full[PATH_BUFFER];
    DWORD n = GetFullPathNameA(path, sizeof full, full, 0);
    if (n == 0 || n >= sizeof full)
        return NORMAL_NONE;
    char longForm[PATH_BUFFER];
    n = GetLongPathNameA(full, longForm, sizeof longForm);
    int normal = (n > 0 && n < sizeof longForm) ? NORMAL_LONG : NORMAL_FULL;
    if (!CopyText(out, outSize, normal == NORMAL_LONG ? longForm : full))
        return NORMAL_NONE;
    int length = TextLength(out);
    while (length > 0 && out[length - 1] == '\\')
        out[--length] = 0;
    return normal;
}

static void AddProtected(const char* path)
{
    if (!path[0] || g_protectedCount >= PROTECTED_MAX)
        return;
    if (NormaliseFolder(path, g_protectedFolders[g_protectedCount], PATH_BUFFER) && g_protectedFolders[g_protectedCount][0])
        g_protectedCount++;
}

static void AddShellFolder(int csidl)
{
    char path[MAX_PATH];
    path[0] = 0;
    if (SHGetFolderPathA(0, csidl, 0, 0, path) == S_OK) // SHGFP_TYPE_CURRENT
        AddProtected(path);
}

static void CollectProtectedFolders(void)
{
    char path[PATH_BUFFER];
    g_protectedReady = 1;
    UINT n = GetWindowsDirectoryA(path, SYSTEM_PATH_MAX);
    if (n > 0 && n < SYSTEM_PATH_MAX)
        AddProtected(path);
    n = GetSystemDirectoryA(path, SYSTEM_PATH_MAX);
    if (n > 0 && n < SYSTEM_PATH_MAX)
        AddProtected(path);
    n = GetTempPathA(SYSTEM_PATH_MAX, path);
    if (n > 0 && n < SYSTEM_PATH_MAX)
        AddProtected(path);
    static const int shellFolders[] = {
        CSIDL_WINDOWS,                 // 0x24
        CSIDL_SYSTEM,                  // 0x25
        CSIDL_SYSTEMX86,               // 0x29
        CSIDL_PROGRAM_FILES,           // 0x26
        CSIDL_PROGRAM_FILESX86,        // 0x2A
        CSIDL_PROGRAM_FILES_COMMON,    // 0x2B
        CSIDL_PROGRAM_FILES_COMMONX86, // 0x2C
        CSIDL_PROFILE,                 // 0x28
        CSIDL_DESKTOPDIRECTORY,        // 0x10
        CSIDL_COMMON_DESKTOPDIRECTORY, // 0x19
        CSIDL_PERSONAL,                // 0x05
        CSIDL_COMMON_DOCUMENTS,        // 0x2E
        CSIDL_APPDATA,                 // 0x1A
        CSIDL_LOCAL_APPDATA,           // 0x1C
        CSIDL_COMMON_APPDATA,          // 0x23
        CSIDL_STARTMENU,               // 0x0B
        CSIDL_COMMON_STARTMENU,        // 0x16
        CSIDL_PROGRAMS,                // 0x02
        CSIDL_COMMON_PROGRAMS,         // 0x17
        CSIDL_FONTS                    // 0x14
    };
    for (unsigned i = 0; i < sizeof shellFolders / sizeof shellFolders[0]; i++)
        AddShellFolder(shellFolders[i]);
    // The folder that holds every user's profile goes with them.
    path[0] = 0;
    if (SHGetFolderPathA(0, CSIDL_PROFILE, 0, 0, path) == S_OK) { // 0x28
        StripLastComponent(path);
        AddProtected(path);
    }
}

// A drive or share root, or one of the system's well-known folders, given in the form NormaliseFolder
// made (normal is its result): no record may take all of it. A path that cannot be normalised counts
// as protected, since it cannot be told apart; so does a folder reached through its short name
// without a long form, since only that form compares.
static int IsProtectedNormal(const char* folder, int normal, int byShortName)
{
    if (normal == NORMAL_NONE || (byShortName && normal != NORMAL_LONG))
        return 1;
    const char* p = folder;
    if (p[0] == '\\' && p[1] == '\\' && (p[2] == '?' || p[2] == '.') && p[3] == '\\')
        p += 4;
    int length = TextLength(p);
    if (length <= 2 && (length < 2 || p[1] == ':'))
        return 1;
    // \\server\share, or UNC\server\share behind the long-path prefix
    const char* share = (p[0] == '\\' && p[1] == '\\') ? p + 2 : (StartsWithText(p, "UNC\\") ? p + 4 : 0);
    if (share) {
        int separators = 0;
        for (const char* q = share; *q; q++)
            if (*q == '\\')
                separators++;
        if (separators <= 1)
            return 1;
    }
    if (!g_protectedReady)
        CollectProtectedFolders();
    for (int i = 0; i < g_protectedCount; i++)
        if (SameText(folder, g_protectedFolders[i]))
            return 1;
    return 0;
}

static int IsProtectedFolder(const char* path, int byShortName)
{
    char folder[PATH_BUFFER];
    return IsProtectedNormal(folder, NormaliseFolder(path, folder, sizeof folder), byShortName);
}

// The normal form of a folder found by its own name in a folder whose long normal form is known: the
// text NormaliseFolder would give, without asking the system for every component again. NORMAL_NONE
// where it must be asked after all: a name ending in a dot or a blank, which the system drops from a
// path, so that the path names another entry, or one that does not fit.
static int NormalChild(const char* parentNormal, const char* name, char* out, int outSize)
{
    int n = TextLength(name);
    if (n == 0 || name[n - 1] == '.' || name[n - 1] == ' ')
        return NORMAL_NONE;
    return JoinPath(out, outSize, parentNormal, name) ? NORMAL_LONG : NORMAL_NONE;
}

int SplitExtension(const char* name, char* base, int baseSize, char* extension, int extensionSize)
{
    int length = TextLength(name);
    int dot = length - 1;
    while (dot >= 0 && name[dot] != '.')
        dot--;
    int baseLength = dot < 0 ? length : dot;
    const char* extensionStart = dot < 0 ? name + length : name + dot + 1;
    // Either half too long for its buffer: neither is given, so that no cut name can match.
    if (baseLength >= baseSize || TextLength(extensionStart) >= extensionSize) {
        if (baseSize > 0)
            base[0] = 0;
        if (extensionSize > 0)
            extension[0] = 0;
        return SPLIT_REFUSED;
    }
    for (int i = 0; i < baseLength; i++)
        base[i] = name[i];
    base[baseLength] = 0;
    CopyText(extension, extensionSize, extensionStart);
    return dot;
}

int FoundEntryPath(char* path, int pathSize, const char* folder, const WIN32_FIND_DATAA* found)
{
    const char* name = found->cFileName;
    int reach = ENTRY_NAMED;
    // A name with the substitution character names nothing; the short name, where the volume keeps
    // one and the code page holds all of it, names the same entry.
    if (HoldsSubstitute(name)) {
        reach = ENTRY_UNREACHED;
        if (found->cAlternateFileName[0] && !HoldsSubstitute(found->cAlternateFileName)) {
            name = found->cAlternateFileName;
            reach = ENTRY_SHORT;
        }
    }
    return JoinPath(path, pathSize, folder, name) ? reach : ENTRY_REFUSED;
}

// An entry that no name reaches cannot be deleted, asked about or entered: where its mode would
// have deleted or listed it, the user finds it on the leftover list, once per run.
static void ListUnreached(const char* path, BYTE mode)
{
    if (!MarkProcessed(path))
        return;
    if (mode == MODE_DELETE || mode == MODE_ASK || mode == MODE_LIST)
        AddLeftover(path);
}

// Resets the attributes, takes a font out of the system's table, and deletes; 1 when it is gone.
static int DeleteNormalFile(const char* path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL); // 0x80
    int length = TextLength(path);
    if (length >= 4 && SameText(path + length - 4, ".ttf")) {
        RemoveFontResourceA(path);
        SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0); // 0xFFFF, 0x1D
    }
    return DeleteFileA(path) != 0;
}

static void RemoveFoundFile(const char* path, BYTE mode, int reach)
{
    if (reach == ENTRY_UNREACHED) {
        ListUnreached(path, mode);
    } else if (mode == MODE_DELETE) {
        // The search has just found the file, so the deletion itself tells whether it is still
        // there: one that went meanwhile is not listed, exactly as one that was not there.
        if (!MarkProcessed(path) || DeleteNormalFile(path))
            return;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) // 2, 3
            AddLeftover(path);
    } else {
        RemoveOneFile(path, mode);
    }
}

static void RemoveFilesIn(const char* pattern, int recursive, BYTE mode, const char* folderNormal);

void RemoveFilesAction(int recursive)
{
    const char* fields = g_currentAction->record + 1;
    char text[PATH_BUFFER];
    // A field that does not fit is refused: mode 0 in its place would mean deletion.
    if (!GetField(text, sizeof text, fields, 1))
        return;
    BYTE mode = (BYTE)ParseInt(text);
    if (!GetField(text, sizeof text, fields, 0))
        return;
    RemoveFiles(text, recursive, mode);
}

void RemoveFiles(const char* pattern, int recursive, BYTE mode)
{
    RemoveFilesIn(pattern, recursive, mode, 0);
}

// folderNormal: the long normal form of the pattern's folder part where the descent knows it, else null.
static void RemoveFilesIn(const char* pattern, int recursive, BYTE mode, const char* folderNormal)
{
    char search[PATH_BUFFER];     // the search text, later each entry's extension
    char base[NAME_BUFFER];       // the pattern's base
    char extension[NAME_BUFFER];  // the pattern's extension
    char folder[PATH_BUFFER];     // the pattern's folder part
    char entryPath[PATH_BUFFER];  // folder part and entry name
    char scratch[PATH_BUFFER];    // the name part, then each entry's base, then the descent's pattern
    char childNormal[PATH_BUFFER]; // a folder entry's normal form
    WIN32_FIND_DATAA found;

    // Without a backslash the search would look in the current folder while the entry path named
    // the drive's root: two different files, so such a pattern is refused.
    const char* name = 0;
    for (const char* p = pattern; *p; p++)
        if (*p == '\\')
            name = p + 1;
    if (!name || TextLength(name) > NAME_MAX)
        return;
    if (!CopyText(folder, sizeof folder, pattern))
        return;
    StripLastComponent(folder);
    if (TextLength(folder) == 2 && folder[1] == ':' && !AppendText(folder, sizeof folder, "\\"))
        return;
    CopyText(scratch, sizeof scratch, name);

    int dot = SplitExtension(scratch, base, sizeof base, extension, sizeof extension);
    if (dot == SPLIT_REFUSED)
        return;
    int baseWildcard = scratch[0] == '*';
    int extensionWildcard = dot < 0 || scratch[dot + 1] == '*';
    int wildcard = baseWildcard || (dot >= 0 && scratch[dot + 1] == '*');

    // A name made of wildcards alone takes every entry, also through the platform's own matching (?*).
    int takesAll = baseWildcard && extensionWildcard;
    int onlyWildcards = 0;
    for (const char* p = scratch; *p; p++) {
        if (*p == '*') {
            onlyWildcards = 1;
        } else if (*p != '?' && *p != '.') {
            onlyWildcards = 0;
            break;
        }
    }
    takesAll = takesAll || onlyWildcards;
    // A '?' in a half compared literally could only meet the substitution character of a found
    // name, which stands for a character the pattern cannot name: such a pattern takes nothing.
    if (wildcard && ((!baseWildcard && HoldsSubstitute(base)) || (!extensionWildcard && HoldsSubstitute(extension))))
        return;
    if (wildcard && TextLength(folder) < WILDCARD_FOLDER_MIN)
        return;
    // Every entry of a root or of a well-known folder: never an installation's own.
    if (takesAll && (folderNormal ? IsProtectedNormal(folderNormal, NORMAL_LONG, 0) : IsProtectedFolder(folder, 0)))
        return;
    if (wildcard) {
        if (!JoinPath(search, sizeof search, folder, "*.*"))
            return;
    } else {
        CopyText(search, sizeof search, pattern);
    }

    HANDLE handle = FindFirstFileA(search, &found);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    do {
        // Patterns match the name as found: it keeps every character the code page holds, while a
        // short name cuts the extension to three characters (x.html would pass for *.htm).
        if (wildcard) {
            if (SplitExtension(found.cFileName, scratch, sizeof scratch, search, sizeof search) == SPLIT_REFUSED)
                continue;
            if (!(baseWildcard || SameText(scratch, base)) || !(extensionWildcard || SameText(search, extension)))
                continue;
        }
        int reach = FoundEntryPath(entryPath, sizeof entryPath, folder, &found);
        if (reach == ENTRY_REFUSED)
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) { // 0x10
            if (!recursive || SameText(found.cFileName, ".") || SameText(found.cFileName, ".."))
                continue;
            int normal = (folderNormal && reach == ENTRY_NAMED)
                             ? NormalChild(folderNormal, found.cFileName, childNormal, sizeof childNormal) : NORMAL_NONE;
            if (normal == NORMAL_NONE)
                normal = NormaliseFolder(entryPath, childNormal, sizeof childNormal);
            if (IsProtectedNormal(childNormal, normal, reach == ENTRY_SHORT))
                continue;
            // Neither entered nor removed: it stays with all it holds, and so do the folders above it.
            if (reach == ENTRY_UNREACHED) {
                if (mode == 0 || mode == 1)
                    ListUnreached(entryPath, MODE_LIST);
                continue;
            }
            // A link to a folder elsewhere: only the link goes, what it points to is not this installation's.
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) { // 0x400
                RemoveDirectoryA(entryPath);
                continue;
            }
            // U mode 2 only takes folders that are empty already.
            if (mode != 2 && JoinPath(scratch, sizeof scratch, entryPath, "\\*.*"))
                RemoveFilesIn(scratch, recursive, mode, normal == NORMAL_LONG ? childNormal : 0);
            RemoveDirectoryA(entryPath);
        } else if (!recursive) {
            RemoveFoundFile(entryPath, mode, reach);
        } else if (mode == 0) {
            RemoveFoundFile(entryPath, MODE_LIST, reach);
        } else if (mode == 1) {
            RemoveFoundFile(entryPath, MODE_DELETE, reach);
        }
    } while (FindNextFileA(handle, &found));
    FindClose(handle);
}

void RemoveOneFile(const char* path, BYTE mode)
{
    if (!FileExists(path))
        return;
    // Already handled: the file is left alone.
    if (!MarkProcessed(path))
        return;
    if (mode == MODE_ASK) {
        if (ShowMessage(MSG_YESNO, GetLogString(51), path) != IDYES)
            return;
        mode = MODE_DELETE;
    }
    if (mode == MODE_DELETE && !DeleteNormalFile(path))
        mode = MODE_LIST;
    if (mode == MODE_LIST)
        AddLeftover(path);
}
