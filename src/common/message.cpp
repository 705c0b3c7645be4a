// Message boxes: bounded formatting of log texts and the box itself.
#include "common.h"
#include "../ui/ui.h"
#include "../startup/startup.h"

int FormatText(char* destination, int destinationSize, const char* format, const char* const* arguments, int argumentCount)
{
    int out = 0;
    int next = 0;
    int limit = destinationSize - 1;
    for (const char* p = format; *p && out < limit; p++) {
        if (p[0] == '%' && p[1] == 's' && next < argumentCount) {
            // A null argument stands for an empty text rather than a crash.
            const char* a = arguments[next++];
            for (a = a ? a : ""; *a && out < limit; a++)
                destination[out++] = *a;
            p++;
        } else if (p[0] == '%' && p[1] == '%') {
            destination[out++] = '%';
            p++;
        } else {
            destination[out++] = *p;
        }
    }
    destination[out] = 0;
    return out;
}

int ShowMessage(UINT kind, const char* format, const char* argument1, const char* argument2)
{
    const char* arguments[2] = {argument1, argument2};
    int argumentCount = argument2 ? 2 : (argument1 ? 1 : 0);
    char text[MESSAGE_MAX];
    FormatText(text, sizeof text, format, arguments, argumentCount);

    UINT style;
    switch (kind & 0xFF) {
    case MSG_ERROR: style = MB_OK | MB_ICONHAND; break;          // 0x10
    case MSG_YESNO: style = MB_YESNO | MB_ICONQUESTION; break;   // 0x24
    case MSG_OKCANCEL: style = MB_OKCANCEL | MB_ICONINFORMATION; break; // 0x41
    default: style = MB_OK | MB_ICONINFORMATION; break;           // 0x40
    }
    int answer = MessageBoxA(g_dialog, text, g_caption, style);
    // Every fatal box ends here, so each of them gives the same code.
    if (kind & MSG_EXIT)
        ExitProcess(EXIT_FATAL);
    return answer;
}
