// The limit the removal is measured against: a program that only walks a tree and deletes it.
// bare_delete.exe FOLDER: FindFirstFileA/FindNextFileA, then SetFileAttributesA and DeleteFileA for
// each file and RemoveDirectoryA for each folder, nothing else; no runtime, like the uninstaller.
#include <windows.h>

enum { PATH_SIZE = 520 };

static int Append(char* path, int at, const char* text)
{
    while (*text && at < PATH_SIZE - 1)
        path[at++] = *text++;
    path[at] = 0;
    return at;
}

static void RemoveTree(char* path, int length)
{
    WIN32_FIND_DATAA found;
    Append(path, length, "\\*.*");
    HANDLE h = FindFirstFileA(path, &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const char* n = found.cFileName;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                continue;
            int end = Append(path, Append(path, length, "\\"), n);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path, end);
            } else {
                SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path);
            }
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    path[length] = 0;
    RemoveDirectoryA(path);
}

extern "C" int __stdcall ProgramEntry(void)
{
    // The folder is everything after the program's own (quoted) name.
    const char* p = GetCommandLineA();
    if (*p == '"') {
        for (p++; *p && *p != '"'; p++)
            ;
        if (*p)
            p++;
    } else {
        while (*p && *p != ' ')
            p++;
    }
    while (*p == ' ')
        p++;
    static char path[PATH_SIZE];
    RemoveTree(path, Append(path, 0, p));
    ExitProcess(0);
}
