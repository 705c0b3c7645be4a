// Running-application check (B records): file in use, mutex, window title.
#include "actions.h"

void CheckRunningApplication(void) {}
BOOL CALLBACK WindowTitleContains(HWND window, LPARAM name) { (void)window; (void)name; return TRUE; }
