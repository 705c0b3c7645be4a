// The uninstall dialog run modally from its resource: template, layouts, height cuts, commands.
#include <gtest/gtest.h>
#include <sstream>
#include "ui_support.h"
#include "actions/actions.h"
#include "common/common.h"
#include "startup/startup.h"
#include "ui/ui.h"

using namespace ui_test;

namespace {

const int WAIT_MS = 10000;          // bound of every wait for the dialog thread
const UINT MSG_MARKER = WM_APP + 1; // answered by the test procedure once the queue got there
const UINT MSG_FORCE_END = WM_APP + 2;

// What the controls and the window went through, in order: texts set, enabling, explicit
// showing and hiding, and the window's size changes.
struct Event {
    int id;             // control id, 0 for the dialog window
    std::string what;   // "text", "enable", "show", "height"
    std::string value;
    bool operator==(const Event& o) const { return id == o.id && what == o.what && value == o.value; }
};

std::string Describe(const std::vector<Event>& events)
{
    std::ostringstream out;
    for (const Event& e : events)
        out << "\n  {" << e.id << ", " << e.what << ", \"" << e.value << "\"}";
    return out.str();
}

// One modal run of the dialog on its own thread; the test thread drives it from outside.
struct DialogRun {
    std::vector<std::string> leftovers;    // what the main phase lists
    std::vector<int> progressTexts;        // milestone texts the main phase adds

    CRITICAL_SECTION lock;
    std::vector<Event> events;
    std::vector<int> commands;             // WM_COMMAND ids, list-box notifications left out
    RECT templateRect;                     // the window before initialisation cut it
    RECT startRect;                        // the window when the start command arrived
    bool visibleAtStart;
    HANDLE started, marker, ended;
    HWND window;
    INT_PTR result;
};
DialogRun* g_run;
WNDPROC g_controlProcs[7];

void Record(int id, const char* what, const std::string& value)
{
    EnterCriticalSection(&g_run->lock);
    g_run->events.push_back({id, what, value});
    LeaveCriticalSection(&g_run->lock);
}

void RecordCommon(int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT)
        Record(id, "text", (const char*)lParam);
    else if (message == WM_ENABLE)
        Record(id, "enable", wParam ? "1" : "0");
    else if (message == WM_SHOWWINDOW && lParam == 0) // an explicit ShowWindow
        Record(id, "show", wParam ? "1" : "0");
}

LRESULT CALLBACK ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    int id = GetDlgCtrlID(control);
    RecordCommon(id, message, wParam, lParam);
    return CallWindowProcA(g_controlProcs[id - IDC_CLOSE], control, message, wParam, lParam);
}

INT_PTR CALLBACK TestDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        g_run->window = window;
        GetWindowRect(window, &g_run->templateRect);
        for (int id = IDC_CLOSE; id <= IDC_DONE; id++)
            g_controlProcs[id - IDC_CLOSE] = (WNDPROC)SetWindowLongPtrA(GetDlgItem(window, id), GWLP_WNDPROC, (LONG_PTR)ControlProc);
        break;
    case WM_SETTEXT:
    case WM_SHOWWINDOW:
        RecordCommon(0, message, wParam, lParam);
        break;
    case WM_WINDOWPOSCHANGED: {
        const WINDOWPOS* position = (const WINDOWPOS*)lParam;
        if (!(position->flags & SWP_NOSIZE))
            Record(0, "height", std::to_string(position->cy));
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) != IDC_LEFTOVER_LIST && LOWORD(wParam) != IDC_PROGRESS_LIST) {
            EnterCriticalSection(&g_run->lock);
            g_run->commands.push_back(LOWORD(wParam));
            LeaveCriticalSection(&g_run->lock);
        }
        if (LOWORD(wParam) == CMD_START) {
            g_run->visibleAtStart = IsWindowVisible(window) != 0;
            GetWindowRect(window, &g_run->startRect);
            Record(0, "start", "");
            // What the actions would add while the main phase runs.
            for (int id : g_run->progressTexts)
                AddProgressText(id);
            for (const std::string& path : g_run->leftovers)
                AddLeftover(path.c_str());
            INT_PTR result = UninstallDialogProc(window, message, wParam, lParam);
            SetEvent(g_run->started);
            return result;
        }
        break;
    case MSG_MARKER:
        SetEvent(g_run->marker);
        return TRUE;
    case MSG_FORCE_END:
        EndDialog(window, 99);
        return TRUE;
    }
    return UninstallDialogProc(window, message, wParam, lParam);
}

DWORD WINAPI DialogThread(void*)
{
    g_run->result = DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_UNINSTALL), NULL, TestDialogProc, 0);
    SetEvent(g_run->ended);
    return 0;
}

// Starts the dialog with a main phase that runs no action, and waits for the final layout.
class DialogTest : public ::testing::Test {
protected:
    DialogRun run;
    HANDLE thread = NULL;
    ActionEntry none[2] = {};

    void Start(const std::map<int, std::string>& texts, const char* caption)
    {
        SetTexts(texts);
        CopyText(g_caption, TEXT_FIELD, caption);
        g_dialog = NULL;
        // An empty action list: the cursor stands past the last entry.
        g_currentAction = &none[1];
        g_lastAction = &none[0];
        InitializeCriticalSection(&run.lock);
        run.started = CreateEventA(NULL, TRUE, FALSE, NULL);
        run.marker = CreateEventA(NULL, FALSE, FALSE, NULL);
        run.ended = CreateEventA(NULL, TRUE, FALSE, NULL);
        run.window = NULL;
        run.result = 0;
        g_run = &run;
        thread = CreateThread(NULL, 0, DialogThread, NULL, 0, NULL);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run.started, WAIT_MS)) << "the start command never came";
    }

    // Returns once the dialog has handled everything posted before this call.
    bool Flush()
    {
        PostMessageA(run.window, MSG_MARKER, 0, 0);
        return WaitForSingleObject(run.marker, WAIT_MS) == WAIT_OBJECT_0;
    }

    bool Ended(DWORD timeout) { return WaitForSingleObject(run.ended, timeout) == WAIT_OBJECT_0; }

    std::vector<Event> Events()
    {
        EnterCriticalSection(&run.lock);
        std::vector<Event> copy = run.events;
        LeaveCriticalSection(&run.lock);
        return copy;
    }

    std::vector<int> Commands()
    {
        EnterCriticalSection(&run.lock);
        std::vector<int> copy = run.commands;
        LeaveCriticalSection(&run.lock);
        return copy;
    }

    RECT RectOf(int id)
    {
        RECT r;
        GetWindowRect(id ? GetDlgItem(run.window, id) : run.window, &r);
        return r;
    }

    // Esc and the close box must not end the dialog: both arrive as IDCANCEL.
    void EscapeAndCloseBoxDoNothing()
    {
        size_t before = Commands().size();
        PostMessageA(run.window, WM_KEYDOWN, VK_ESCAPE, 0);
        ASSERT_TRUE(Flush());
        PostMessageA(run.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(Flush());
        ASSERT_TRUE(Flush()); // the close box's IDCANCEL may itself be posted
        std::vector<int> commands = Commands();
        std::vector<int> added(commands.begin() + before, commands.end());
        EXPECT_EQ((std::vector<int>{IDCANCEL, IDCANCEL}), added);
        EXPECT_FALSE(Ended(0));
        EXPECT_TRUE(IsWindowVisible(run.window));
    }

    void TearDown() override
    {
        if (!thread)
            return;
        if (!Ended(0)) {
            PostMessageA(run.window, MSG_FORCE_END, 0, 0);
            Ended(WAIT_MS);
        }
        WaitForSingleObject(thread, WAIT_MS);
        CloseHandle(thread);
        DeleteCriticalSection(&run.lock);
        CloseHandle(run.started);
        CloseHandle(run.marker);
        CloseHandle(run.ended);
    }
};

const std::map<int, std::string> ALL_TEXTS = {
    {13, "Finish"}, {44, "Delete"}, {45, "Delete all"}, {46, "Close"}, {50, "Uninstall complete."},
    {53, "These files were left behind:"}, {54, "Removing registry entries"}, {55, "Removing INI entries"}};

// The cut heights: each bottom edge as the window rectangles of the controls give it.
LONG HalfwayDown(const RECT& r) { return r.top + (r.bottom - r.top) / 2; }
LONG ThreeQuartersBelow(const RECT& r) { return r.bottom + ((r.bottom - r.top) * 3) / 4; }

// Initialisation, as far as it shows before the main phase: title, the first cut, text 13,
// the four buttons disabled in order, class icon, hidden until the start command.
void CheckRunningLayout(const DialogRun& run, const std::vector<Event>& events, const std::map<int, std::string>& texts,
                        const RECT& leftoverText)
{
    std::vector<Event> init;
    for (const Event& e : events) {
        if (e.what == "start")
            break;
        init.push_back(e);
    }
    LONG height = HalfwayDown(leftoverText) - run.templateRect.top;
    std::vector<Event> expected = {
        {0, "text", g_caption},
        {0, "height", std::to_string(height)},
        {IDC_DONE, "text", TextOf(texts, 13)},
        {IDC_CLOSE, "enable", "0"},
        {IDC_DONE, "enable", "0"},
        {IDC_DELETE, "enable", "0"},
        {IDC_DELETE_ALL, "enable", "0"},
    };
    EXPECT_EQ(Describe(expected), Describe(init));
    EXPECT_FALSE(run.visibleAtStart) << "the template is not visible; only the start command shows it";
    EXPECT_EQ(run.templateRect.left, run.startRect.left);
    EXPECT_EQ(run.templateRect.top, run.startRect.top);
    EXPECT_EQ(run.templateRect.right, run.startRect.right);
    EXPECT_EQ(HalfwayDown(leftoverText), run.startRect.bottom) << "running layout ends halfway down the leftover text";
    EXPECT_EQ(run.window, g_dialog);
    HICON icon = (HICON)GetClassLongPtrA(run.window, GCLP_HICON);
    EXPECT_NE((HICON)NULL, icon);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_UNINSTALL)), icon);
}

std::vector<Event> After(const std::vector<Event>& events, const char* mark)
{
    std::vector<Event> rest;
    bool seen = false;
    for (const Event& e : events) {
        if (seen)
            rest.push_back(e);
        seen = seen || e.what == mark;
    }
    return rest;
}

} // namespace

// The dialog template as compiled: style, size, title, font and the seven controls.
TEST(DialogTemplate, MatchesTheLayout)
{
    HRSRC found = FindResourceA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_UNINSTALL), (LPCSTR)RT_DIALOG);
    ASSERT_NE((HRSRC)NULL, found);
    const BYTE* data = (const BYTE*)LockResource(LoadResource(GetModuleHandleA(NULL), found));
    const DLGTEMPLATE* head = (const DLGTEMPLATE*)data;
    EXPECT_EQ(0x80C808C1u, head->style);
    EXPECT_EQ(0u, head->dwExtendedStyle);
    EXPECT_EQ(7, head->cdit);
    EXPECT_EQ(0, head->x);
    EXPECT_EQ(0, head->y);
    EXPECT_EQ(305, head->cx);
    EXPECT_EQ(198, head->cy);
    const WORD* p = (const WORD*)(data + 18);
    auto text = [&p]() {
        std::string s;
        if (*p == 0xFFFF) {
            s = "#" + std::to_string(p[1]);
            p += 2;
            return s;
        }
        while (*p)
            s += (char)*p++;
        p++;
        return s;
    };
    EXPECT_EQ("", text()) << "menu";
    EXPECT_EQ("", text()) << "class";
    EXPECT_EQ("Dialog", text()) << "title";
    EXPECT_EQ(8, *p++) << "font size";
    EXPECT_EQ("MS Sans Serif", text());

    struct Row {
        int row, id;
        const char* className;  // or the predefined class's atom
        const char* atom;
        DWORD style;
        short x, y, cx, cy;
    };
    const Row rows[] = {
        {1, IDC_CLOSE, "BUTTON", "#128", 0x50010000, 248, 177, 50, 14},
        {2, IDC_LEFTOVER_TEXT, "STATIC", "#130", 0x50020001, 7, 55, 291, 18},
        {3, IDC_LEFTOVER_LIST, "LISTBOX", "#131", 0x50B10103, 7, 74, 291, 94},
        {4, IDC_DELETE, "BUTTON", "#128", 0x50010000, 7, 177, 57, 14},
        {5, IDC_DELETE_ALL, "BUTTON", "#128", 0x50010000, 71, 177, 57, 14},
        {6, IDC_PROGRESS_LIST, "LISTBOX", "#131", 0x50A10101, 7, 7, 291, 46},
        {7, IDC_DONE, "BUTTON", "#128", 0x40010001, 127, 62, 50, 14}, // hidden: no WS_VISIBLE
    };
    for (const Row& r : rows) {
        p = (const WORD*)(((UINT_PTR)p + 3) & ~(UINT_PTR)3);
        const DLGITEMTEMPLATE* item = (const DLGITEMTEMPLATE*)p;
        EXPECT_EQ(r.style, item->style) << "row " << r.row;
        EXPECT_EQ(0u, item->dwExtendedStyle) << "row " << r.row;
        EXPECT_EQ(r.x, item->x) << "row " << r.row;
        EXPECT_EQ(r.y, item->y) << "row " << r.row;
        EXPECT_EQ(r.cx, item->cx) << "row " << r.row;
        EXPECT_EQ(r.cy, item->cy) << "row " << r.row;
        EXPECT_EQ(r.id, item->id) << "row " << r.row;
        p = (const WORD*)(item + 1);
        std::string className = text();
        EXPECT_TRUE(className == r.className || className == r.atom) << "row " << r.row << ": class " << className;
        EXPECT_EQ("", text()) << "row " << r.row << ": every text starts empty";
        EXPECT_EQ(0, *p++) << "row " << r.row << ": no creation data";
    }
}

// The icon: one 32 x 32 image in 256 colours.
TEST(DialogTemplate, IconIs32By32With256Colours)
{
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(IDI_UNINSTALL), (LPCSTR)RT_GROUP_ICON);
    ASSERT_NE((HRSRC)NULL, group);
    const BYTE* data = (const BYTE*)LockResource(LoadResource(module, group));
    ASSERT_EQ(1, *(const WORD*)(data + 4)) << "one image";
    const BYTE* entry = data + 6;
    EXPECT_EQ(32, entry[0]);
    EXPECT_EQ(32, entry[1]);
    EXPECT_EQ(8, *(const WORD*)(entry + 6)) << "bits per pixel";
    WORD imageId = *(const WORD*)(entry + 12);
    HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(imageId), (LPCSTR)RT_ICON);
    ASSERT_NE((HRSRC)NULL, image);
    const BITMAPINFOHEADER* header = (const BITMAPINFOHEADER*)LockResource(LoadResource(module, image));
    EXPECT_EQ(32, header->biWidth);
    EXPECT_EQ(64, header->biHeight) << "colour and mask";
    EXPECT_EQ(8, header->biBitCount);
}

// The done and leftover layouts with and without the log's texts: what shows, what is
// enabled, the captions, the progress list, the cut height and the order of the changes.
TEST_F(DialogTest, LayoutsWithAndWithoutTexts)
{
    struct Row {
        int row;
        bool withTexts;
        bool leftovers;
    };
    const Row rows[] = {{1, true, false}, {2, false, false}, {3, true, true}, {4, false, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE("row " + std::to_string(r.row));
        std::map<int, std::string> texts = r.withTexts ? ALL_TEXTS : std::map<int, std::string>();
        std::string root = FreshFolder("ui_layouts");
        if (r.leftovers) {
            run.leftovers = {root + "\\b.txt", root + "\\C.txt", root + "\\a.txt"};
            for (const std::string& path : run.leftovers)
                ASSERT_TRUE(MakeFile(path));
        } else {
            run.leftovers.clear();
        }
        run.progressTexts = {54, 55};
        Start(texts, "ui layouts test");
        ASSERT_TRUE(Flush());
        HWND w = run.window;
        std::vector<Event> events = Events();
        CheckRunningLayout(run, events, texts, RectOf(IDC_LEFTOVER_TEXT));

        EXPECT_EQ((std::vector<std::string>{TextOf(texts, 54), TextOf(texts, 55), TextOf(texts, 50)}),
                  ListEntries(w, IDC_PROGRESS_LIST));
        EXPECT_EQ(2, Selected(w, IDC_PROGRESS_LIST)) << "text 50 last and selected";
        EXPECT_TRUE(IsWindowVisible(w));
        RECT window = RectOf(0);
        EXPECT_EQ(run.templateRect.left, window.left);
        EXPECT_EQ(run.templateRect.top, window.top);
        EXPECT_EQ(run.templateRect.right, window.right);

        if (r.leftovers) {
            LONG bottom = ThreeQuartersBelow(RectOf(IDC_CLOSE));
            std::vector<Event> expected = {
                {0, "show", "1"},
                {IDC_DELETE, "enable", "1"},
                {IDC_DELETE_ALL, "enable", "1"},
                {IDC_LEFTOVER_TEXT, "text", TextOf(texts, 53)},
                {IDC_CLOSE, "text", TextOf(texts, 46)},
                {IDC_DELETE, "text", TextOf(texts, 44)},
                {IDC_DELETE_ALL, "text", TextOf(texts, 45)},
                {IDC_CLOSE, "enable", "1"},
                {0, "height", std::to_string(bottom - window.top)},
            };
            EXPECT_EQ(Describe(expected), Describe(After(events, "start")));
            EXPECT_EQ(bottom, window.bottom) << "three quarters of IDC_CLOSE's height below it";
            EXPECT_EQ((std::vector<std::string>{root + "\\a.txt", root + "\\b.txt", root + "\\C.txt"}),
                      ListEntries(w, IDC_LEFTOVER_LIST));
            EXPECT_EQ(0, Selected(w, IDC_LEFTOVER_LIST));
            for (int id : {IDC_LEFTOVER_TEXT, IDC_LEFTOVER_LIST, IDC_CLOSE, IDC_DELETE, IDC_DELETE_ALL, IDC_PROGRESS_LIST})
                EXPECT_TRUE(Shown(w, id)) << "control " << id;
            EXPECT_FALSE(Shown(w, IDC_DONE));
            EXPECT_FALSE(Enabled(w, IDC_DONE));
            EXPECT_TRUE(Enabled(w, IDC_CLOSE) && Enabled(w, IDC_DELETE) && Enabled(w, IDC_DELETE_ALL));
            EXPECT_EQ(TextOf(texts, 53), ControlText(w, IDC_LEFTOVER_TEXT));
            EXPECT_EQ(TextOf(texts, 13), ControlText(w, IDC_DONE));
        } else {
            LONG bottom = ThreeQuartersBelow(RectOf(IDC_DONE));
            std::vector<Event> expected = {
                {0, "show", "1"},
                {IDC_LEFTOVER_TEXT, "show", "0"},
                {IDC_LEFTOVER_LIST, "show", "0"},
                {IDC_DONE, "enable", "1"},
                {IDC_DONE, "show", "1"},
                {0, "height", std::to_string(bottom - window.top)},
            };
            EXPECT_EQ(Describe(expected), Describe(After(events, "start")));
            EXPECT_EQ(bottom, window.bottom) << "three quarters of IDC_DONE's height below it";
            EXPECT_TRUE(Shown(w, IDC_DONE));
            EXPECT_TRUE(Enabled(w, IDC_DONE));
            EXPECT_EQ(TextOf(texts, 13), ControlText(w, IDC_DONE));
            EXPECT_FALSE(Shown(w, IDC_LEFTOVER_TEXT));
            EXPECT_FALSE(Shown(w, IDC_LEFTOVER_LIST));
            EXPECT_FALSE(Enabled(w, IDC_CLOSE));
            EXPECT_EQ("", ControlText(w, IDC_CLOSE));
            EXPECT_FALSE(Enabled(w, IDC_DELETE) || Enabled(w, IDC_DELETE_ALL));
        }

        EscapeAndCloseBoxDoNothing();
        int finish = r.leftovers ? IDC_CLOSE : IDC_DONE;
        SendMessageA(GetDlgItem(w, finish), BM_CLICK, 0, 0);
        ASSERT_TRUE(Ended(WAIT_MS)) << "the finishing button ends the dialog";
        EXPECT_EQ(1, run.result);
        EXPECT_EQ(finish, Commands().back());
        EXPECT_EQ(w, g_dialog) << "g_dialog stays set after the dialog";
        TearDown();
        thread = NULL;
        run.events.clear();
        run.commands.clear();
        DeleteTree(root);
    }
}

// The leftover layout driven through its buttons: delete one, delete all, the layout stays
// and only IDC_CLOSE ends it.
TEST_F(DialogTest, DeleteButtonsThenClose)
{
    std::string root = FreshFolder("ui_buttons");
    ASSERT_TRUE(MakeFile(root + "\\keep.txt")); // bounds the folder walk to the fixture
    run.leftovers = {root + "\\one\\x.txt", root + "\\two\\y.txt", root + "\\three.txt"};
    for (const std::string& path : run.leftovers)
        ASSERT_TRUE(MakeFile(path));
    Start(ALL_TEXTS, "ui buttons test");
    ASSERT_TRUE(Flush());
    HWND w = run.window;
    RECT layout = RectOf(0);

    SendMessageA(GetDlgItem(w, IDC_DELETE), BM_CLICK, 0, 0);
    EXPECT_EQ((std::vector<std::string>{root + "\\three.txt", root + "\\two\\y.txt"}), ListEntries(w, IDC_LEFTOVER_LIST));
    EXPECT_EQ(0, Selected(w, IDC_LEFTOVER_LIST));
    EXPECT_FALSE(PathExists(root + "\\one")) << "the emptied folder goes with its file";

    SendMessageA(GetDlgItem(w, IDC_DELETE_ALL), BM_CLICK, 0, 0);
    EXPECT_EQ(0u, ListEntries(w, IDC_LEFTOVER_LIST).size());
    EXPECT_FALSE(Enabled(w, IDC_DELETE));
    EXPECT_FALSE(Enabled(w, IDC_DELETE_ALL));
    EXPECT_TRUE(Enabled(w, IDC_CLOSE));
    EXPECT_TRUE(Shown(w, IDC_LEFTOVER_LIST));
    EXPECT_FALSE(Shown(w, IDC_DONE)) << "an emptied list keeps the leftover layout";
    RECT after = RectOf(0);
    EXPECT_EQ(layout.bottom, after.bottom);
    EXPECT_EQ(layout.top, after.top);
    EXPECT_FALSE(PathExists(root + "\\two"));
    EXPECT_FALSE(PathExists(root + "\\three.txt"));
    EXPECT_TRUE(PathExists(root + "\\keep.txt"));

    EscapeAndCloseBoxDoNothing();
    SendMessageA(GetDlgItem(w, IDC_CLOSE), BM_CLICK, 0, 0);
    ASSERT_TRUE(Ended(WAIT_MS));
    EXPECT_EQ(1, run.result);
    EXPECT_EQ((std::vector<int>{CMD_START, IDC_DELETE, IDC_DELETE_ALL, IDCANCEL, IDCANCEL, IDC_CLOSE}), Commands());
    DeleteTree(root);
}
