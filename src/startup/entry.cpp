// The process entry: start-up, then the stages.
#include "startup.h"

extern "C" int __stdcall ProgramEntry(void)
{
    RestrictLibrarySearch();
    if (!StartUp())
        return 0;
    RunStages();
    ExitProcess(0);
}
