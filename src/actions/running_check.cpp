// Running-application check (B records): file in use, mutex, window title, title fragment.
#include "actions.h"
#include "../common/common.h"
#include "../startup/startup.h"
#include "../ui/ui.h"

enum {
    CHECK_FIELD = 256,      // kind, name and style fields, terminating zero included
    CHECK_MESSAGE = 512,    // the record's message
    TITLE_BUFFER = 512,     // a window title read for the fragment test
    TITLE_READ = 511,       // characters asked of GetWindowTextA

    CHECK_FILE_IN_USE = 0,
    CHECK_MUTEX = 1,
    CHECK_WINDOW_TITLE = 2,
    CHECK_TITLE_FRAGMENT = 3,

    STYLE_COUNT = 6,
    STYLE_FALLBACK = 0      // unknown styles get the box that offers every choice
};

// MessageBoxA types by style number.
static const UINT CHECK_BOX_TYPES[STYLE_COUNT] = {
    0x42, // MB_ICONINFORMATION | MB_ABORTRETRYIGNORE
    0x40, // MB_ICONINFORMATION | MB_OK
    0x41, // MB_ICONINFORMATION | MB_OKCANCEL
    0x45, // MB_ICONINFORMATION | MB_RETRYCANCEL
    0x24, // MB_ICONQUESTION | MB_YESNO
    0x23  // MB_ICONQUESTION | MB_YESNOCANCEL
};

BOOL CALLBACK WindowTitleContains(HWND window, LPARAM name)
{
    const char* fragment = (const char*)name;
    char title[TITLE_BUFFER];
    title[0] = 0;
    GetWindowTextA(window, title, TITLE_READ);
    int t = TextLength(title);
    int n = TextLength(fragment);
    for (int p = 0; p <= t - n; p++) {
        if (StartsWithText(title + p, fragment))
            return FALSE; // found: stops the enumeration
    }
    return TRUE;
}

// One look for the sign that the application runs.
static int ApplicationRuns(unsigned short kind, const char* name)
{
    if (kind == CHECK_FILE_IN_USE) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(name, &found);
        if (search == INVALID_HANDLE_VALUE)
            return 0;
        FindClose(search);
        // Read-write with no sharing fails while anyone holds the file open.
        HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL); // 0xC0000000, 3, 0x80
        if (file == INVALID_HANDLE_VALUE)
            return 1;
        CloseHandle(file);
        return 0;
    }
    if (kind == CHECK_MUTEX) {
        HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name); // 0x1F0001
        if (!mutex)
            return 0;
        CloseHandle(mutex);
        return 1;
    }
    if (kind == CHECK_WINDOW_TITLE)
        return FindWindowA(NULL, name) != NULL;
    if (kind == CHECK_TITLE_FRAGMENT)
        return EnumWindows(WindowTitleContains, (LPARAM)name) == 0; // a failed enumeration counts too
    return 0;
}

void CheckRunningApplication(void)
{
    const char* fields = g_currentAction->record + 1;
    char kindField[CHECK_FIELD];
    char name[CHECK_FIELD];
    char message[CHECK_MESSAGE];
    char styleField[CHECK_FIELD];
    // A field with no room is refused and the record passed over: an empty name would match
    // every window title, and a check that cannot end would trap the user in its box.
    if (!GetField(kindField, CHECK_FIELD, fields, 0) || !GetField(name, CHECK_FIELD, fields, 1)
        || !GetField(message, CHECK_MESSAGE, fields, 2) || !GetField(styleField, CHECK_FIELD, fields, 3))
        return;
    unsigned short kind = (unsigned short)ParseInt(kindField);
    unsigned short style = (unsigned short)ParseInt(styleField);
    Unquote(name);
    Unquote(message);
    ExpandLineBreaks(message);

    // Abort/Retry/Ignore for an unknown style: the user, not the log, picks end, look again or go on.
    int styleIndex = style < STYLE_COUNT ? (int)style : (int)STYLE_FALLBACK;
    UINT boxType = CHECK_BOX_TYPES[styleIndex];
    while (ApplicationRuns(kind, name)) {
        int answer = MessageBoxA(g_dialog, message, g_caption, boxType);
        if (answer == IDCANCEL || answer == IDABORT || (answer == IDOK && style == 1))
            ExitProcess(EXIT_APPLICATION_RUNNING);
        if (answer != IDOK && answer != IDRETRY && answer != IDYES)
            return; // IDIGNORE, IDNO, or a box that could not be shown
    }
}
