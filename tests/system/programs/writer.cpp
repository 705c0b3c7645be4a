// Test program that tries to open a file for writing, as another program of the same account could, and records the outcome.
#include <windows.h>
#include <cstdio>
#include <string>

// writer FILE RESULT
// Opens FILE for writing with every kind of sharing, writes nothing and closes it again; appends to
// RESULT one line: "opened", or "error N" with the system's error number. Exit code 0.
int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    std::string line = file == INVALID_HANDLE_VALUE ? "error " + std::to_string(GetLastError()) : "opened";
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    FILE* out = fopen(argv[2], "ab");
    if (!out)
        return 3;
    fprintf(out, "%s\r\n", line.c_str());
    fclose(out);
    return 0;
}
