// The leftover list: deleting one entry's file or all of them, with emptied folders.
#include "ui.h"
#include "../common/common.h"
#include "../log/log.h"
#include "../startup/startup.h"

static LRESULT LeftoverMessage(UINT message, WPARAM wParam)
{
    return SendDlgItemMessageA(g_dialog, IDC_LEFTOVER_LIST, message, wParam, 0);
}

static int IsFontFile(const char* path)
{
    int length = TextLength(path);
    return length >= 4 && SameText(path + length - 4, ".ttf");
}

static int NameHoldsSubstitute(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; p++)
        if (*p == '\\')
            name = p + 1;
    return HoldsSubstitute(name); // only the name: a "\\?\" prefix is no substitute
}

// Deletes the file named in g_startDir, asking text 52 after each failure; 1 once it is gone.
static int DeleteWithRetry(void)
{
    SetFileAttributesA(g_startDir, FILE_ATTRIBUTE_NORMAL); // 0x80
    if (IsFontFile(g_startDir)) {
        RemoveFontResourceA(g_startDir);
        SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0); // 0xFFFF, 0x1D
    }
    while (!DeleteFileA(g_startDir)) {
        if (ShowMessage(MSG_YESNO, GetLogString(52), g_startDir) != IDYES)
            return 0;
    }
    return 1;
}

void DeleteLeftover(int index)
{
    if (index == -1)
        return;
    LRESULT length = LeftoverMessage(LB_GETTEXTLEN, (WPARAM)index); // 0x18A
    if (length == LB_ERR)
        return; // no such entry
    // LB_GETTEXT takes no size: an entry that would not fit g_startDir is dropped unread and
    // its file left alone, since a cut path could name another file.
    if (length < SCRATCH_BUFFER) {
        SendDlgItemMessageA(g_dialog, IDC_LEFTOVER_LIST, LB_GETTEXT, (WPARAM)index, (LPARAM)g_startDir); // 0x189
        // A file name with the substitution character names a file that no ANSI name reaches: it
        // is there although no test finds it, and the user is told it cannot be deleted.
        if ((FileExists(g_startDir) || NameHoldsSubstitute(g_startDir)) && DeleteWithRetry()) {
            // Remove the folders the deletion emptied, upwards to the first that is not empty.
            do
                StripLastComponent(g_startDir);
            while (RemoveDirectoryA(g_startDir));
        }
    }
    LeftoverMessage(LB_DELETESTRING, (WPARAM)index); // 0x182
    if (LeftoverMessage(LB_GETCOUNT, 0) != 0) { // 0x18B
        LeftoverMessage(LB_SETCURSEL, 0); // 0x186
    } else {
        EnableWindow(GetDlgItem(g_dialog, IDC_DELETE), FALSE);
        EnableWindow(GetDlgItem(g_dialog, IDC_DELETE_ALL), FALSE);
    }
}

void DeleteAllLeftovers(void)
{
    LRESULT count = LeftoverMessage(LB_GETCOUNT, 0); // 0x18B
    while (count > 0) {
        LRESULT selected = LeftoverMessage(LB_GETCURSEL, 0); // 0x188
        DeleteLeftover(selected == LB_ERR ? 0 : (int)selected);
        // Every pass must shorten the list, or the loop would never end.
        LRESULT left = LeftoverMessage(LB_GETCOUNT, 0);
        if (left >= count)
            break;
        count = left;
    }
}
