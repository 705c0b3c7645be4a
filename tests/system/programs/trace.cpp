// Test program that records how it was started: its whole command line and its current directory.
#include <windows.h>
#include <cstdlib>
#include <string>
#include "../../common/append.h"

// trace FILE [sleep=MS] [anything...]
// Appends one line "<command line>\t<current directory>\r\n" to FILE (the first argument, quoted or
// not; without arguments the file that UNINST_TRACE_FILE names), after sleeping MS milliseconds
// when an argument "sleep=MS" is given, and exits with code 0.
// The line is written in one WriteFile call, so traces of parallel runs never mix within a line.

// The argument at p, quotes removed; p moves past it and the blanks after it.
static std::string NextArgument(const char*& p)
{
    while (*p == ' ' || *p == '\t')
        p++;
    std::string argument;
    bool quoted = false;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); p++) {
        if (*p == '"')
            quoted = !quoted;
        else
            argument += *p;
    }
    return argument;
}

int main()
{
    const char* commandLine = GetCommandLineA();
    const char* p = commandLine;
    NextArgument(p); // the program
    std::string file = NextArgument(p);
    if (file.empty()) {
        char named[MAX_PATH + 1];
        DWORD n = GetEnvironmentVariableA("UNINST_TRACE_FILE", named, sizeof named);
        if (n == 0 || n >= sizeof named)
            return 2;
        file = named;
    }
    for (std::string argument = NextArgument(p); !argument.empty(); argument = NextArgument(p)) {
        if (argument.compare(0, 6, "sleep=") == 0)
            Sleep((DWORD)atoi(argument.c_str() + 6));
    }
    char directory[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    std::string line = std::string(commandLine) + "\t" + directory + "\r\n";
    // Another trace may be appending at this moment.
    return AppendRecord(file.c_str(), line);
}
