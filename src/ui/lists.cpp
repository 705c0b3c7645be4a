// The dialog's two list boxes as the actions see them: progress lines and leftover paths.
#include "ui.h"
#include "../log/log.h"

void AddProgressText(int textId)
{
    // Without a dialog both messages go nowhere, as in the first stage and a silent run.
    LRESULT index = SendDlgItemMessageA(g_dialog, IDC_PROGRESS_LIST, LB_ADDSTRING, 0, (LPARAM)GetLogString(textId)); // 0x180
    SendDlgItemMessageA(g_dialog, IDC_PROGRESS_LIST, LB_SETCURSEL, (WPARAM)index, 0); // 0x186
}

void AddLeftover(const char* path)
{
    SendDlgItemMessageA(g_dialog, IDC_LEFTOVER_LIST, LB_ADDSTRING, 0, (LPARAM)path); // 0x180
}
