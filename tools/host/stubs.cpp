// The few globals of the dialog and the dispatcher that the parsing sources refer to.
#include "windows.h"
#include "log/log.h"

HWND g_dialog;                 // no dialog in the host build: boxes have no owner
ActionEntry* g_currentAction;  // cleared by start-up, never walked here
ActionEntry* g_lastAction;
