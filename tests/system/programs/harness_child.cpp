// Helper program of the harness's own tests: exits with a code, starts a child, reports its temp folder, shows a window.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// harness_child exit N            ends with exit code N
// harness_child spawn MS N        starts "harness_child sleep MS", then ends with code N at once
// harness_child sleep MS          sleeps MS milliseconds
// harness_child temp FILE         writes GetTempPathA and the current directory (two lines) into FILE
// harness_child window TITLE [LOG] shows a top-level window with a list box (id 100) of three items until
//                                  closed; with LOG, appends "size N" to it for every WM_SIZE (N: its wParam)
static const char* g_sizeLog;

static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_SIZE && g_sizeLog) {
        FILE* out = fopen(g_sizeLog, "ab");
        if (out) {
            fprintf(out, "size %d\n", (int)w);
            fclose(out);
        }
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, w, l);
}

int main(int argc, char** argv)
{
    if (argc < 3)
        return 100;
    std::string verb = argv[1];
    if (verb == "exit")
        return atoi(argv[2]);
    if (verb == "sleep") {
        Sleep(atoi(argv[2]));
        return 0;
    }
    if (verb == "spawn" && argc >= 4) {
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, sizeof self);
        std::string line = std::string("\"") + self + "\" sleep " + argv[2];
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
            return 101;
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return atoi(argv[3]);
    }
    if (verb == "temp") {
        char temp[MAX_PATH] = "", current[MAX_PATH] = "";
        GetTempPathA(sizeof temp, temp);
        GetCurrentDirectoryA(sizeof current, current);
        FILE* out = fopen(argv[2], "wb");
        if (!out)
            return 102;
        fprintf(out, "%s\n%s\n", temp, current);
        fclose(out);
        return 0;
    }
    if (verb == "window") {
        g_sizeLog = argc >= 4 ? argv[3] : nullptr;
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = WindowProcedure;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "HarnessChildWindow";
        RegisterClassA(&windowClass);
        HWND window = CreateWindowA("HarnessChildWindow", argv[2], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                                    NULL, NULL, windowClass.hInstance, NULL);
        HWND list = CreateWindowA("LISTBOX", "", WS_CHILD | WS_VISIBLE | LBS_NOTIFY, 10, 10, 200, 100, window,
                                  (HMENU)100, windowClass.hInstance, NULL);
        const char* items[] = {"first", "second item", "C:\\third\\item.txt"};
        for (const char* item : items)
            SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)item);
        SendMessageA(list, LB_SETCURSEL, 1, 0);
        MSG message;
        while (GetMessageA(&message, NULL, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return 7;
    }
    return 100;
}
