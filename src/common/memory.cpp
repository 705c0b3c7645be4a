// Memory blocks from the system and byte clearing.
#include "common.h"

void* AllocBlock(DWORD size)
{
    // A size of 0 is never a block; callers pass it for one too large to ask for.
    void* block = size ? VirtualAlloc(NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : 0; // 0x3000, 0x4
    // Every caller relies on the block; running on without it would write through null.
    if (!block)
        ShowMessage(MSG_ERROR | MSG_EXIT, "Not enough memory");
    return block;
}

void FreeBlock(void** block)
{
    if (*block)
        VirtualFree(*block, 0, MEM_RELEASE);
    *block = 0;
}

void ZeroBytes(void* pointer, DWORD count)
{
    volatile char* p = (volatile char*)pointer;
    while (count--)
        *p++ = 0;
}
