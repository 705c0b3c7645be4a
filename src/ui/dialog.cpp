// The uninstall dialog: initialisation, commands and the two final layouts.
#include "ui.h"
#include "../actions/actions.h"
#include "../log/log.h"
#include "../startup/startup.h"

HWND g_dialog;

// Sets only the window's height so that its bottom edge lands at screen row `bottom`.
static void CutWindowAt(HWND window, LONG bottom)
{
    RECT w;
    GetWindowRect(window, &w);
    SetWindowPos(window, NULL, 0, 0, w.right - w.left, bottom - w.top, SWP_NOMOVE | SWP_NOZORDER); // 0x6
}

// The row three quarters of a control's height below its bottom edge.
static LONG BelowControl(HWND window, int controlId)
{
    RECT r;
    GetWindowRect(GetDlgItem(window, controlId), &r);
    return r.bottom + ((r.bottom - r.top) * 3) / 4;
}

INT_PTR OnInitDialog(HWND window)
{
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE); // -6
    SetClassLongPtrA(window, GCLP_HICON, (LONG_PTR)LoadIconA(instance, MAKEINTRESOURCEA(IDI_UNINSTALL))); // -14
    SetWindowTextA(window, g_caption);

    // Running layout: the bottom edge at the middle of the (still empty) leftover text.
    RECT r;
    GetWindowRect(GetDlgItem(window, IDC_LEFTOVER_TEXT), &r);
    CutWindowAt(window, r.top + (r.bottom - r.top) / 2);

    SetDlgItemTextA(window, IDC_DONE, GetLogString(13));
    EnableWindow(GetDlgItem(window, IDC_CLOSE), FALSE);
    EnableWindow(GetDlgItem(window, IDC_DONE), FALSE);
    EnableWindow(GetDlgItem(window, IDC_DELETE), FALSE);
    EnableWindow(GetDlgItem(window, IDC_DELETE_ALL), FALSE);
    g_dialog = window;
    // Posted, so the main phase starts only once the dialog has been fully created.
    PostMessageA(window, WM_COMMAND, CMD_START, 0); // 0x111
    return 1;
}

// Runs the main phase, then shows the leftover list or the single done button.
static void StartMainPhase(HWND window)
{
    ShowWindow(window, SW_SHOW); // 5: the template is not visible
    // The leftover list lies below the running layout's edge; drawn after every addition, a run
    // that lists tens of thousands of files would spend most of its time on the list's scroll bar.
    SendDlgItemMessageA(window, IDC_LEFTOVER_LIST, WM_SETREDRAW, FALSE, 0); // 0xB
    RunActions(0);
    SendDlgItemMessageA(window, IDC_LEFTOVER_LIST, WM_SETREDRAW, TRUE, 0); // 0xB
    InvalidateRect(GetDlgItem(window, IDC_LEFTOVER_LIST), NULL, TRUE);
    LRESULT last = SendDlgItemMessageA(window, IDC_PROGRESS_LIST, LB_ADDSTRING, 0, (LPARAM)GetLogString(50)); // 0x180
    SendDlgItemMessageA(window, IDC_PROGRESS_LIST, LB_SETCURSEL, (WPARAM)last, 0); // 0x186

    if (SendDlgItemMessageA(window, IDC_LEFTOVER_LIST, LB_GETCOUNT, 0, 0) != 0) { // 0x18B
        EnableWindow(GetDlgItem(window, IDC_DELETE), TRUE);
        EnableWindow(GetDlgItem(window, IDC_DELETE_ALL), TRUE);
        SetDlgItemTextA(window, IDC_LEFTOVER_TEXT, GetLogString(53));
        SetDlgItemTextA(window, IDC_CLOSE, GetLogString(46));
        SetDlgItemTextA(window, IDC_DELETE, GetLogString(44));
        SetDlgItemTextA(window, IDC_DELETE_ALL, GetLogString(45));
        ShowWindow(GetDlgItem(window, IDC_DONE), SW_HIDE); // 0
        LONG bottom = BelowControl(window, IDC_CLOSE);
        EnableWindow(GetDlgItem(window, IDC_CLOSE), TRUE);
        CutWindowAt(window, bottom);
        SendDlgItemMessageA(window, IDC_LEFTOVER_LIST, LB_SETCURSEL, 0, 0); // 0x186
    } else {
        ShowWindow(GetDlgItem(window, IDC_LEFTOVER_TEXT), SW_HIDE); // 0
        ShowWindow(GetDlgItem(window, IDC_LEFTOVER_LIST), SW_HIDE); // 0
        LONG bottom = BelowControl(window, IDC_DONE);
        EnableWindow(GetDlgItem(window, IDC_DONE), TRUE);
        ShowWindow(GetDlgItem(window, IDC_DONE), SW_SHOW); // 5
        CutWindowAt(window, bottom);
    }
}

void OnDialogCommand(HWND window, WORD id)
{
    switch (id) {
    case IDC_CLOSE:
    case IDC_DONE:
        EndDialog(window, 1);
        break;
    case IDC_DELETE:
        DeleteLeftover((int)SendDlgItemMessageA(window, IDC_LEFTOVER_LIST, LB_GETCURSEL, 0, 0)); // 0x188
        break;
    case IDC_DELETE_ALL:
        DeleteAllLeftovers();
        break;
    case CMD_START:
        StartMainPhase(window);
        break;
    default:
        // IDCANCEL (Esc, the close box) and the list boxes' notifications end nothing.
        break;
    }
}

INT_PTR CALLBACK UninstallDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (message == WM_INITDIALOG) // 0x110
        return OnInitDialog(window);
    if (message == WM_COMMAND) // 0x111
        OnDialogCommand(window, LOWORD(wParam));
    return 0;
}
