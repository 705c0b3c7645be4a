// A program that does nothing: what the system takes to start and end a process, as the bench's floor.
#include <windows.h>

extern "C" int __stdcall ProgramEntry(void)
{
    ExitProcess(0);
}
