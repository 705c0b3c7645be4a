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
        // A log path that does not fit is not cut: a cut path would name another file.
        if (!CopyText(g_argLogPath, PATH_BUFFER, argument))
            return 0;
        int n = TextLength(g_argLogPath);
        if (n > 0 && g_argLogPath[n - 1] == '"')
            g_argLogPath[n - 1] = 0;
        return 1;
    }
    return 1;
}

void ParseCommandLine(void)
{
    if (!ParseCommandLineText(GetCommandLineA()))
        ShowMessage(MSG_ERROR | MSG_EXIT, "Can't open uninstal log file %s!", GetCommandLineA());
}
