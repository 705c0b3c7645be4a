// The process entry: start-up, then the stages.
#include "startup.h"
#include "../common/common.h"

extern "C" int __stdcall ProgramEntry(void)
{
    RestrictLibrarySearch();
    if (!StartUp())
        return EXIT_DONE; // a second instance
    RunStages();
    ExitProcess(EXIT_DONE); // not reached: the stages end the process
}
