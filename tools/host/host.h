// Control of the host layer by its users (the fuzz targets, the native authoring tool): memory files, recorded boxes, the exit jump, blocks.
#pragma once
#include <setjmp.h>
#include <stddef.h>
#include <string>
#include <vector>

// Files that CreateFileA opens, by exact name. readLimit caps what ReadFile hands out in total,
// so a short read can be provoked; (size_t)-1 means the whole file.
void HostSetFile(const std::string& name, const std::string& content, size_t readLimit = (size_t)-1);
void HostClearFiles();
int HostOpenHandles(); // handles not yet closed

// Message boxes are recorded, not shown; each is answered with HostBoxAnswer.
struct HostBox {
    std::string text;
    std::string caption;
    unsigned int style;
};
extern std::vector<HostBox> g_hostBoxes;
extern int g_hostBoxAnswer;

// ExitProcess jumps back here while g_hostExitArmed is set; unarmed it aborts (a target bug).
extern jmp_buf g_hostExit;
extern int g_hostExitArmed;
extern int g_hostExitCount;

// Blocks from VirtualAlloc still held, and their release at the end of one input.
size_t HostLiveBlocks();
void HostReleaseAllBlocks();
// The block that holds p, or null: for "points inside a block" invariants.
bool HostBlockOf(const void* p, const char** start, size_t* size);

// The command line GetCommandLineA returns.
extern std::string g_hostCommandLine;

// A to Z lowered, nothing else changed: the case folding the models compare with.
inline std::string Folded(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c + 32);
    return out;
}

// Aborts with a message when a checked condition fails, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition, ...)                                                     \
    do {                                                                               \
        if (!(condition)) {                                                            \
            fprintf(stderr, "FUZZ_CHECK failed at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
            fprintf(stderr, __VA_ARGS__);                                              \
            fprintf(stderr, "\n");                                                     \
            abort();                                                                   \
        }                                                                              \
    } while (0)
