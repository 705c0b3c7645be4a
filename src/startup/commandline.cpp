// The command line: the -s switch and the log path of the second stage.
#include "startup.h"
#include "../common/common.h"

int ParseCommandLineText(const char* commandLine)
{
    g_argLogPath[0] = 0;
    int inside = 0;
    for (const char* p = commandLine; *p; p++) {
        if (*p == '"') {
            inside = !inside;
            continue;
        }
        if (*p != ' ' || inside)
            continue;
        const char* argument = p;
        while (*argument == ' ' || *argument == '"')
            argument++;
        if (StartsWithText(argument, "-s")) {
            g_silent = 1;
            p = argument; // the loop's step moves on after the switch's first character
            continue;
        }
        // The closing quote is dropped before the size check, so every path of up to 511
        // characters fits; a longer one is refused rather than cut, which would name another file.
        int n = TextLength(argument);
        if (n > 0 && argument[n - 1] == '"')
            n--;
        if (n >= PATH_BUFFER)
            return 0;
        for (int i = 0; i < n; i++)
            g_argLogPath[i] = argument[i];
        g_argLogPath[n] = 0;
        return 1;
    }
    return 1;
}

void ParseCommandLine(void)
{
    if (!ParseCommandLineText(GetCommandLineA()))
        ShowMessage(MSG_ERROR | MSG_EXIT, "Can't open uninstal log file %s!", GetCommandLineA());
}
