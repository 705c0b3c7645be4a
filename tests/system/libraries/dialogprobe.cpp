// Test library for a D record of the main phase: reports, from inside the program, how its dialog was made.
#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include <string>
#include <vector>

// InspectDialog(report) finds the dialog of the calling thread and writes to the file `report`
// one line per fact, fields separated by tabs:
//   dpi        <LOGPIXELSY of the screen>
//   windowdpi  <GetDpiForWindow of the dialog, or - where the system lacks it>
//   aware      <IsProcessDPIAware>
//   awareness  <awareness of the thread: 0 unaware, 1 system, 2 per monitor, or ->
//   font       <point size of the template>  <lfHeight of the dialog's font>
//   class      <id>  <class name>  <path of the module holding the class's window procedure, or ->
//   ideal      <id>  <result of BCM_GETIDEALSIZE>   (buttons only; only version 6 buttons answer it)
//   place      <id>  <left top right bottom in the dialog's client area>
//              <the same from the template's dialog units: position and size each through MapDialogRect,
//              as the dialog manager converts them>
//   error      <what could not be done>
// It returns 1, so that the uninstall goes on.

namespace {

const int DIALOG_ID = 101;
const int PROGRESS_LIST_ID = 1005; // only the uninstall dialog has it

struct TemplateItem {
    int id;
    RECT units; // left, top, right, bottom in dialog units
};

struct Report {
    std::string text;
    void Line(const std::string& line) { text += line + "\r\n"; }
};

std::string Number(long value) { return std::to_string(value); }
std::string Rect(const RECT& r)
{
    return Number(r.left) + " " + Number(r.top) + " " + Number(r.right) + " " + Number(r.bottom);
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found)
{
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32770") == 0 && GetDlgItem(window, PROGRESS_LIST_ID)) {
        *(HWND*)found = window;
        return FALSE;
    }
    return TRUE;
}

// Steps over a name-or-ordinal field of a dialog template.
const WORD* SkipNameOrOrdinal(const WORD* p)
{
    if (*p == 0xFFFF)
        return p + 2;
    while (*p)
        p++;
    return p + 1;
}

const WORD* AlignToDword(const WORD* p, const void* base)
{
    ULONG_PTR offset = (ULONG_PTR)((const BYTE*)p - (const BYTE*)base);
    return (const WORD*)((const BYTE*)base + ((offset + 3) & ~(ULONG_PTR)3));
}

// The controls of the program's own dialog template, as the dialog was made from it.
bool ReadTemplate(std::vector<TemplateItem>* items, int* pointSize, std::string* error)
{
    HRSRC resource = FindResourceW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(DIALOG_ID), (LPCWSTR)RT_DIALOG);
    HGLOBAL loaded = resource ? LoadResource(GetModuleHandleW(NULL), resource) : NULL;
    const BYTE* base = loaded ? (const BYTE*)LockResource(loaded) : NULL;
    if (!base) {
        *error = "no dialog template";
        return false;
    }
    const WORD* words = (const WORD*)base;
    if (words[0] == 1 && words[1] == 0xFFFF) {
        *error = "extended dialog template";
        return false;
    }
    DLGTEMPLATE header;
    memcpy(&header, base, sizeof header);
    const WORD* p = (const WORD*)(base + sizeof header);
    p = SkipNameOrOrdinal(p); // menu
    p = SkipNameOrOrdinal(p); // class
    p = SkipNameOrOrdinal(p); // title
    *pointSize = 0;
    if (header.style & DS_SETFONT) { // 0x40
        *pointSize = *p++;
        while (*p)
            p++;
        p++;
    }
    for (int i = 0; i < header.cdit; i++) {
        p = AlignToDword(p, base);
        DLGITEMTEMPLATE item;
        memcpy(&item, p, sizeof item);
        p = (const WORD*)((const BYTE*)p + sizeof item);
        p = SkipNameOrOrdinal(p); // class
        p = SkipNameOrOrdinal(p); // title
        WORD extra = *p++;
        p = (const WORD*)((const BYTE*)p + extra);
        RECT units = {item.x, item.y, item.x + item.cx, item.y + item.cy};
        items->push_back({item.id, units});
    }
    return true;
}

std::string ModuleOf(void* address)
{
    HMODULE module = NULL;
    if (!address || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        (LPCWSTR)address, &module))
        return "-";
    char path[MAX_PATH] = "";
    GetModuleFileNameA(module, path, sizeof path);
    return path;
}

void Inspect(HWND dialog, Report* report)
{
    HDC screen = GetDC(NULL);
    report->Line("dpi\t" + Number(GetDeviceCaps(screen, LOGPIXELSY)));
    ReleaseDC(NULL, screen);

    // Looked up at run time: older systems lack these.
    HMODULE user32 = GetModuleHandleA("user32.dll");
    typedef UINT(WINAPI * DpiForWindow)(HWND);
    typedef void*(WINAPI * ThreadContext)(void);
    typedef int(WINAPI * AwarenessOf)(void*);
    DpiForWindow dpiForWindow = (DpiForWindow)(void*)GetProcAddress(user32, "GetDpiForWindow");
    ThreadContext threadContext = (ThreadContext)(void*)GetProcAddress(user32, "GetThreadDpiAwarenessContext");
    AwarenessOf awarenessOf = (AwarenessOf)(void*)GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext");
    report->Line("windowdpi\t" + (dpiForWindow ? Number(dpiForWindow(dialog)) : std::string("-")));
    report->Line("aware\t" + Number(IsProcessDPIAware()));
    report->Line("awareness\t" + (threadContext && awarenessOf ? Number(awarenessOf(threadContext())) : std::string("-")));

    std::vector<TemplateItem> items;
    int pointSize = 0;
    std::string error;
    if (!ReadTemplate(&items, &pointSize, &error)) {
        report->Line("error\t" + error);
        return;
    }
    LOGFONTW font = {};
    HFONT handle = (HFONT)SendMessageW(dialog, WM_GETFONT, 0, 0);
    if (!handle || !GetObjectW(handle, sizeof font, &font))
        report->Line("error\tno dialog font");
    report->Line("font\t" + Number(pointSize) + "\t" + Number(font.lfHeight));

    for (const TemplateItem& item : items) {
        HWND control = GetDlgItem(dialog, item.id);
        if (!control) {
            report->Line("error\tno control " + Number(item.id));
            continue;
        }
        char name[64] = "";
        GetClassNameA(control, name, sizeof name);
        std::string module = ModuleOf((void*)GetClassLongPtrW(control, GCLP_WNDPROC));
        report->Line("class\t" + Number(item.id) + "\t" + name + "\t" + module);
        if (lstrcmpiA(name, "Button") == 0) {
            SIZE ideal = {};
            report->Line("ideal\t" + Number(item.id) + "\t" + Number((long)SendMessageW(control, BCM_GETIDEALSIZE, 0, (LPARAM)&ideal)));
        }
        RECT placed;
        GetWindowRect(control, &placed);
        MapWindowPoints(HWND_DESKTOP, dialog, (POINT*)&placed, 2);
        RECT converted = {item.units.left, item.units.top, item.units.right - item.units.left,
                          item.units.bottom - item.units.top};
        MapDialogRect(dialog, &converted);
        RECT mapped = {converted.left, converted.top, converted.left + converted.right, converted.top + converted.bottom};
        report->Line("place\t" + Number(item.id) + "\t" + Rect(placed) + "\t" + Rect(mapped));
    }
}

} // namespace

extern "C" __declspec(dllexport) int WINAPI InspectDialog(const char* reportFile)
{
    Report report;
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, (LPARAM)&dialog);
    if (dialog)
        Inspect(dialog, &report);
    else
        report.Line("error\tno dialog on this thread");
    HANDLE file = CreateFileA(reportFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, report.text.data(), (DWORD)report.text.size(), &written, NULL);
        CloseHandle(file);
    }
    return 1;
}
