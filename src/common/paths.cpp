// Path helpers: joining, the last component, and existence.
#include "common.h"

char* JoinPath(char* destination, int destinationSize, const char* folder, const char* name)
{
    int folderLength = TextLength(folder);
    const char* separator = (folderLength > 0 && folder[folderLength - 1] == '\\') ? "" : "\\";
    if (name[0] == '\\')
        name++;
    destination[0] = 0;
    if (!AppendText(destination, destinationSize, folder) || !AppendText(destination, destinationSize, separator) ||
        !AppendText(destination, destinationSize, name)) {
        destination[0] = 0;
        return 0;
    }
    return destination;
}

void FileNameOf(const char* path, char* destination, int destinationSize)
{
    const char* name = path;
    for (const char* p = path; *p; p++)
        if (*p == '\\')
            name = p + 1;
    if (!CopyText(destination, destinationSize, name))
        destination[0] = 0;
}

void StripLastComponent(char* path)
{
    int i = TextLength(path) - 1;
    if (i < 0)
        return;
    while (i > 0 && path[i] != '\\')
        i--;
    path[i] = 0;
}

int FileExists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
