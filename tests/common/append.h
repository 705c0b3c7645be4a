// One line appended to a file that other processes append to as well: the test programs' and libraries' records.
#pragma once
#include <windows.h>
#include <string>

// Writes text at the end of file in one WriteFile call, so that lines of parallel writers never mix,
// retrying a sharing conflict for up to five seconds. 0 when written; 3 a short or failed write,
// 4 the file cannot be opened, 5 it stayed in use.
inline int AppendRecord(const char* file, const std::string& text)
{
    for (int attempt = 0; attempt < 250; attempt++) {
        HANDLE handle = CreateFileA(file, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (handle != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            BOOL ok = WriteFile(handle, text.data(), (DWORD)text.size(), &written, NULL);
            CloseHandle(handle);
            return ok && written == text.size() ? 0 : 3;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION)
            return 4;
        Sleep(20);
    }
    return 5;
}
