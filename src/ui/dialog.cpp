// The uninstall dialog: initialisation, commands and the two final layouts.
#include "ui.h"

HWND g_dialog;

INT_PTR CALLBACK UninstallDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { (void)window; (void)message; (void)wParam; (void)lParam; return 0; }
