// Library calls (C and D records): load, call with text arguments, release.
#include "actions.h"
#include "../common/common.h"
#include "../startup/startup.h"

enum {
    LIBRARY_PATH_FIELD = 512,   // library path, terminating zero included
    FUNCTION_NAME_FIELD = 64,   // exported name
    ARGUMENT_COUNT_FIELD = 64,  // the count as written
    ARGUMENT_FIELD = 256,       // one argument text
    ARGUMENT_SLOTS = 5,
    FIRST_ARGUMENT_FIELD = 3
};

#if !defined(__i386__)
// The called functions use the Windows convention; on x86_64 the caller removes the arguments.
typedef int (WINAPI* LibraryFunction0)(void);
typedef int (WINAPI* LibraryFunction1)(const char*);
typedef int (WINAPI* LibraryFunction2)(const char*, const char*);
typedef int (WINAPI* LibraryFunction3)(const char*, const char*, const char*);
typedef int (WINAPI* LibraryFunction4)(const char*, const char*, const char*, const char*);
typedef int (WINAPI* LibraryFunction5)(const char*, const char*, const char*, const char*, const char*);
#endif

// Calls the function with the texts as its arguments and returns its result. On PE32 the callee
// removes its arguments from the stack, as many as it takes, not as many as the log gave: the
// stack pointer is put back after the call, so that a count that does not match the function
// cannot unbalance the stack and crash the uninstaller.
static int CallWithTexts(void (*function)(void), char (*texts)[ARGUMENT_FIELD], int count)
{
    const char* arguments[ARGUMENT_SLOTS];
    for (int i = 0; i < count; i++)
        arguments[i] = texts[i];
#if defined(__i386__)
    int result;
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"     // esi survives the call: the callee keeps it
        "movl %[count], %%ecx\n"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%[arguments],%%ecx,4)\n\t" // last argument first
        "decl %%ecx\n\t"
        "jmp 1b\n"
        "2:\n\t"
        "call *%[function]\n\t"
        "movl %%esi, %%esp"
        : "=a"(result)
        : [function] "r"(function), [arguments] "r"(arguments), [count] "r"(count)
        : "ecx", "edx", "esi", "memory", "cc");
    return result;
#else
    switch (count) {
    case 0: return ((LibraryFunction0)function)();
    case 1: return ((LibraryFunction1)function)(arguments[0]);
    case 2: return ((LibraryFunction2)function)(arguments[0], arguments[1]);
    case 3: return ((LibraryFunction3)function)(arguments[0], arguments[1], arguments[2]);
    case 4: return ((LibraryFunction4)function)(arguments[0], arguments[1], arguments[2], arguments[3]);
    default: return ((LibraryFunction5)function)(arguments[0], arguments[1], arguments[2], arguments[3], arguments[4]);
    }
#endif
}

// The library search is limited to the system folder at start, so that nothing planted beside
// the temporary copy is loaded. A relative name in the log still means the installation folder
// (the log's folder) first, as it did before; an absolute path finds its own dependencies beside it.
static HMODULE LoadRecordLibrary(const char* path)
{
    int absolute = (path[0] && path[1] == ':') || (path[0] == '\\' && path[1] == '\\');
    if (absolute)
        return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH); // 0x8
    char folder[PATH_BUFFER];
    char full[PATH_BUFFER];
    CopyText(folder, PATH_BUFFER, g_logPath);
    StripLastComponent(folder);
    if (folder[0] && JoinPath(full, PATH_BUFFER, folder, path) && FileExists(full))
        return LoadLibraryExA(full, NULL, LOAD_WITH_ALTERED_SEARCH_PATH); // 0x8
    return LoadLibraryA(path);
}

void CallLibraryFunction(int stopOnZero)
{
    const char* fields = g_currentAction->record + 1;
    char libraryPath[LIBRARY_PATH_FIELD];
    char functionName[FUNCTION_NAME_FIELD];
    char countField[ARGUMENT_COUNT_FIELD];
    char slots[ARGUMENT_SLOTS][ARGUMENT_FIELD];

    // Every field is read before the library is loaded: a record that cannot be called as
    // written runs none of the library's code, not even its start-up routine.
    if (!GetField(libraryPath, LIBRARY_PATH_FIELD, fields, 0) || !GetField(functionName, FUNCTION_NAME_FIELD, fields, 1)
        || !GetField(countField, ARGUMENT_COUNT_FIELD, fields, 2))
        return;
    int count = ParseInt(countField);
    if (count < 0 || count > ARGUMENT_SLOTS)
        return;
    for (int i = 0; i < count; i++) {
        if (!GetField(slots[i], ARGUMENT_FIELD, fields, FIRST_ARGUMENT_FIELD + i))
            return; // a cut argument would be another text than the log's
    }

    int result = 1;
    HMODULE library = LoadRecordLibrary(libraryPath);
    // Held as the one pointer type that converts to every other without complaint.
    void (*function)(void) = library ? (void (*)(void))GetProcAddress(library, functionName) : NULL;
    if (function) {
        int value = CallWithTexts(function, slots, count);
        if (stopOnZero)
            result = value;
    }
    if (library)
        FreeLibrary(library);
    if (stopOnZero && result == 0)
        ExitProcess(EXIT_CALL_REFUSED);
}
