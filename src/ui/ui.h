// The uninstall dialog and its leftover list.
#pragma once
#include <windows.h>

enum {
    IDD_UNINSTALL = 101,
    IDI_UNINSTALL = 104,
    IDC_CLOSE = 1000,
    IDC_LEFTOVER_TEXT = 1001,
    IDC_LEFTOVER_LIST = 1002,
    IDC_DELETE = 1003,
    IDC_DELETE_ALL = 1004,
    IDC_PROGRESS_LIST = 1005,
    IDC_DONE = 1006,
    CMD_START = 3024
};

extern HWND g_dialog; // the uninstall dialog once initialised; owner of every message box

INT_PTR CALLBACK UninstallDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR OnInitDialog(HWND window);
void OnDialogCommand(HWND window, WORD id);
void DeleteLeftover(int index);
void DeleteAllLeftovers(void);
void AddProgressText(int textId);
void AddLeftover(const char* path);
