// uninstlog: checks, plans, stamps and writes uninstall logs, with the uninstaller's own reading code.
#include "uninstlog.h"
#include <stdio.h>
#include <string.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

static const char USAGE[] =
    "usage: uninstlog COMMAND ...\n"
    "  plan [--json] LOG                       the run as the uninstaller will carry it out\n"
    "  lint [--json] [--installed-as LOGPATH] [--uninstaller NAME] LOG\n"
    "                                          a warning for each pitfall; exit status 0 without, 1 with warnings,\n"
    "                                          2 when the log cannot be read\n"
    "  stamp UNINST.EXE LOGNAME                the log's name in the uninstaller's tail\n"
    "  tree FOLDER INSTALLED-PATH [--ask NAME]... [--product NAME] [--log-name NAME] [--output FILE]\n"
    "                                          a log that removes an installed copy of FOLDER\n";

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Line ends as they are, so that both builds print the same bytes.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc < 2) {
        fputs(USAGE, stderr);
        return STATUS_UNREADABLE;
    }
    std::vector<std::string> arguments(argv + 2, argv + argc);
    if (strcmp(argv[1], "plan") == 0)
        return PlanCommand(arguments);
    if (strcmp(argv[1], "lint") == 0)
        return LintCommand(arguments);
    if (strcmp(argv[1], "stamp") == 0)
        return StampCommand(arguments);
    if (strcmp(argv[1], "tree") == 0)
        return TreeCommand(arguments);
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        fputs(USAGE, stdout);
        return STATUS_DONE;
    }
    fputs(USAGE, stderr);
    return STATUS_UNREADABLE;
}
