// Whole-file access: open with size, and a read that reports short reads.
#include "common.h"

HANDLE OpenForSize(const char* path, DWORD* size)
{
    HANDLE file;
    if (*size == 0)
        file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    else
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE)
        *size = GetFileSize(file, NULL);
    return file;
}

void ReadExact(HANDLE file, void* buffer, DWORD count, const char* name)
{
    DWORD read = 0;
    if (!ReadFile(file, buffer, count, &read, NULL) || read != count)
        ShowMessage(MSG_ERROR, "Error reading file %s", name);
}
