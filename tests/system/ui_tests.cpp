// The uninstall dialog of the real program: progress lines, the three layouts and their cuts, leftover deletion.
#include <algorithm>
#include "harness.h"

using namespace sys;

namespace {

const char* const SHARED_DLLS = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

enum { CLOSE = 1000, LEFTOVER_TEXT = 1001, LEFTOVER_LIST = 1002, DELETE_ONE = 1003, DELETE_ALL = 1004,
       PROGRESS_LIST = 1005, DONE = 1006 };

LONG HalfwayDown(const RECT& r) { return r.top + (r.bottom - r.top) / 2; }
LONG ThreeQuartersBelow(const RECT& r) { return r.bottom + ((r.bottom - r.top) * 3) / 4; }

class Dialog : public SystemTest {
protected:
    void TearDown() override
    {
        for (const std::string& value : sharedValues_) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED_DLLS, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueA(key, value.c_str());
                RegCloseKey(key);
            }
        }
        SystemTest::TearDown();
    }

    // Installs the program and a log with every dialog text and the given records, starts the
    // first stage, confirms, and returns the second stage's dialog.
    HWND Run(Process& p, const std::vector<std::string>& records)
    {
        // Tests run side by side: a product name of its own keeps each test to its own windows.
        caption_ = "Uninstall " + name_;
        std::string app = Path("app");
        std::string exe = CopyUninst(app);
        EXPECT_FALSE(exe.empty());
        std::vector<std::string> lines = {
            "A10," + name_, "A48,Uninstall", "A43,Remove %s?", "A13,Finish", "A42,Removing files",
            "A58,Please wait", "A54,Removing registry entries", "A55,Updating settings", "A50,All done",
            "A44,Delete", "A45,Delete all", "A46,Close", "A51,Remove %s?", "A52,Cannot delete %s. Again?",
            "A53,These files are left:"};
        lines.insert(lines.end(), records.begin(), records.end());
        EXPECT_TRUE(WriteLog(Join(app, "uninstal.ini"), lines));
        if (!Start(p, "\"" + exe + "\"", app)) {
            ADD_FAILURE() << p.error;
            return NULL;
        }
        HWND box = WaitForBox(caption_.c_str(), WAIT_LONG);
        if (!box) {
            ADD_FAILURE() << "no confirmation";
            return NULL;
        }
        EXPECT_TRUE(AnswerBox(box, IDYES));
        HWND dialog = WaitForWindow("#32770", caption_.c_str(), WAIT_LONG);
        EXPECT_TRUE(dialog != NULL) << "no uninstall dialog";
        return dialog;
    }

    // Waits until the main phase has ended: the progress list's last line is text 50.
    bool WaitFinal(HWND dialog)
    {
        HWND progress = Control(dialog, PROGRESS_LIST);
        return WaitUntil([&] {
            std::vector<std::string> lines = ListItems(progress);
            return !lines.empty() && lines.back() == "All done" &&
                   (IsEnabledWindow(Control(dialog, CLOSE)) || IsEnabledWindow(Control(dialog, DONE)));
        }, WAIT_LONG);
    }

    // Posts a selection change to the progress list behind whatever was posted before and waits
    // for it: everything posted earlier to the dialog's thread has then been handled.
    void Flush(HWND dialog, int line)
    {
        HWND progress = Control(dialog, PROGRESS_LIST);
        PostMessageA(progress, LB_SETCURSEL, line, 0);
        EXPECT_TRUE(WaitUntil([&] { return ListSelection(progress) == line; })) << "the dialog does not respond";
    }

    // Esc and the close box, each followed by two rounds through the queue: the dialog stays.
    void EscapeAndCloseBoxDoNothing(HWND dialog)
    {
        int last = ListCount(Control(dialog, PROGRESS_LIST)) - 1;
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        Flush(dialog, 0);
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        Flush(dialog, 1);
        Flush(dialog, last);
        EXPECT_TRUE(IsWindow(dialog) && IsShown(dialog)) << "Esc or the close box ended the dialog";
    }

    void AddShared(const std::string& path, DWORD count)
    {
        sharedValues_.push_back(path);
        ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, SHARED_DLLS, path, count));
    }

    std::vector<std::string> sharedValues_;
    std::string caption_;   // the dialog's and the boxes' title
};

} // namespace

// A run that leaves nothing: the running layout while a question holds the main phase, the
// milestone lines in order with text 50 last and selected, then the done layout.
TEST_F(Dialog, ProgressLinesRunningAndDoneLayouts)
{
    std::string key = FreshKey();
    ASSERT_TRUE(RegSetString(HKEY_CURRENT_USER, key + "\\Sub", "v", "1"));
    std::string ini = Path("settings.ini");
    ASSERT_TRUE(IniWrite(ini, "Viewer", "Zoom", "2"));
    std::string asked = Path("data\\asked.txt"), plain = Path("data\\plain.txt");
    ASSERT_TRUE(WriteText(asked, "a"));
    ASSERT_TRUE(WriteText(plain, "p"));
    ASSERT_TRUE(WriteText(Path("tree\\t.txt"), "t"));
    Process p;
    HWND dialog = Run(p, {"J0,1," + key + ",", "M0," + ini + ",Viewer,", "P0," + asked + ",1", "P0," + plain + ",0",
                          "U0," + Path("tree") + ",1"});
    ASSERT_TRUE(dialog != NULL);

    // The question of the first P record holds the main phase in the running layout.
    HWND box = WaitForBox(caption_.c_str(), WAIT_LONG);
    ASSERT_TRUE(box != NULL) << "no question for the asking record";
    EXPECT_EQ("Remove " + asked + "?", BoxText(box));
    HWND progress = Control(dialog, PROGRESS_LIST);
    EXPECT_EQ((std::vector<std::string>{"Removing registry entries", "Updating settings", "Removing files", "Please wait"}),
              ListItems(progress));
    EXPECT_EQ(3, ListSelection(progress)) << "the newest line is selected";
    EXPECT_TRUE(IsShown(dialog));
    RECT running = ScreenRect(dialog);
    EXPECT_EQ(HalfwayDown(ScreenRect(Control(dialog, LEFTOVER_TEXT))), running.bottom)
        << "running layout: the bottom edge halfway down the leftover text";
    for (int id : {CLOSE, DONE, DELETE_ONE, DELETE_ALL})
        EXPECT_FALSE(IsEnabledWindow(Control(dialog, id))) << "control " << id << " enabled while running";
    EXPECT_EQ("Finish", TextOf(Control(dialog, DONE)));
    ASSERT_TRUE(AnswerBox(box, IDYES));

    ASSERT_TRUE(WaitFinal(dialog));
    EXPECT_EQ((std::vector<std::string>{"Removing registry entries", "Updating settings", "Removing files", "Please wait",
                                        "All done"}),
              ListItems(progress));
    EXPECT_EQ(4, ListSelection(progress));
    HWND done = Control(dialog, DONE);
    EXPECT_TRUE(IsShown(done) && IsEnabledWindow(done));
    EXPECT_EQ("Finish", TextOf(done));
    EXPECT_FALSE(IsShown(Control(dialog, LEFTOVER_TEXT)));
    EXPECT_FALSE(IsShown(Control(dialog, LEFTOVER_LIST)));
    EXPECT_FALSE(IsEnabledWindow(Control(dialog, CLOSE)));
    RECT final = ScreenRect(dialog);
    EXPECT_EQ(ThreeQuartersBelow(ScreenRect(done)), final.bottom) << "done layout: three quarters of IDC_DONE below it";
    EXPECT_EQ(running.left, final.left);
    EXPECT_EQ(running.top, final.top);
    EXPECT_EQ(running.right, final.right);
    EXPECT_FALSE(Exists(asked) || Exists(plain) || Exists(Path("tree")));

    EscapeAndCloseBoxDoNothing(dialog);
    Click(done);
    EXPECT_TRUE(WaitWindowGone(dialog, WAIT_LONG));
    EXPECT_TRUE(p.WaitAll(WAIT_LONG));
}

// A run that leaves files: the leftover layout with its texts, the sorted list with its first
// entry selected (a shared library released to zero among them), then delete one, delete all
// with a file held open (Yes retries, No drops it), and the layout kept to the end.
TEST_F(Dialog, LeftoverLayoutAndDeletion)
{
    std::string keep = Path("left\\keep.txt");
    std::string nested = Path("left\\a\\b\\first.txt");
    std::string held = Path("left\\held.txt");
    std::string other = Path("left\\other.txt");
    std::string library = Path("left\\shared.dll");
    for (const std::string& f : {keep, nested, held, other, library})
        ASSERT_TRUE(WriteText(f, "x"));
    AddShared(library, 1);
    Process p;
    HWND dialog = Run(p, {"K0," + library, "P0," + other + ",2", "P0," + nested + ",2", "P0," + held + ",2"});
    ASSERT_TRUE(dialog != NULL);
    ASSERT_TRUE(WaitFinal(dialog));
    DWORD count = 0;
    EXPECT_FALSE(RegGetDword(HKEY_LOCAL_MACHINE, SHARED_DLLS, library, &count)) << "the count reached zero: the value goes";

    HWND list = Control(dialog, LEFTOVER_LIST);
    EXPECT_EQ((std::vector<std::string>{nested, held, other, library}), ListItems(list)) << "sorted";
    EXPECT_EQ(0, ListSelection(list));
    EXPECT_EQ("These files are left:", TextOf(Control(dialog, LEFTOVER_TEXT)));
    EXPECT_EQ("Delete", TextOf(Control(dialog, DELETE_ONE)));
    EXPECT_EQ("Delete all", TextOf(Control(dialog, DELETE_ALL)));
    EXPECT_EQ("Close", TextOf(Control(dialog, CLOSE)));
    for (int id : {CLOSE, DELETE_ONE, DELETE_ALL})
        EXPECT_TRUE(IsShown(Control(dialog, id)) && IsEnabledWindow(Control(dialog, id))) << "control " << id;
    EXPECT_TRUE(IsShown(list));
    EXPECT_FALSE(IsShown(Control(dialog, DONE)));
    RECT layout = ScreenRect(dialog);
    EXPECT_EQ(ThreeQuartersBelow(ScreenRect(Control(dialog, CLOSE))), layout.bottom)
        << "leftover layout: three quarters of IDC_CLOSE below it";
    EXPECT_TRUE(Exists(library) && Exists(other) && Exists(nested) && Exists(held)) << "listed files are not deleted";

    // Delete one: the first entry; its emptied folders go, up to the one that still holds keep.txt.
    Click(Control(dialog, DELETE_ONE));
    ASSERT_TRUE(WaitListCount(list, 3, WAIT_LONG));
    EXPECT_FALSE(Exists(nested));
    EXPECT_FALSE(Exists(Path("left\\a")));
    EXPECT_TRUE(Exists(keep));
    EXPECT_EQ(0, ListSelection(list));

    // Delete all, with held.txt (now first) held open: asked, Yes retries and asks again, No drops it.
    {
        HeldFile lock(held);
        ASSERT_TRUE(lock.ok());
        Click(Control(dialog, DELETE_ALL));
        for (int answer : {IDYES, IDNO}) {
            HWND box = WaitForBox(caption_.c_str(), WAIT_LONG);
            ASSERT_TRUE(box != NULL) << "no question for the held file (answer " << answer << ")";
            EXPECT_EQ("Cannot delete " + held + ". Again?", BoxText(box));
            ASSERT_TRUE(AnswerBox(box, answer));
        }
        ASSERT_TRUE(WaitListCount(list, 0, WAIT_LONG));
        EXPECT_TRUE(WaitForBox(caption_.c_str(), 500) == NULL) << "a third question came";
    }
    EXPECT_TRUE(Exists(held)) << "No keeps the file";
    EXPECT_FALSE(Exists(other));
    EXPECT_FALSE(Exists(library));
    EXPECT_EQ((std::vector<std::string>{"held.txt", "keep.txt"}), ListTree(Path("left")));
    EXPECT_FALSE(IsEnabledWindow(Control(dialog, DELETE_ONE)));
    EXPECT_FALSE(IsEnabledWindow(Control(dialog, DELETE_ALL)));
    EXPECT_TRUE(IsEnabledWindow(Control(dialog, CLOSE)));
    EXPECT_FALSE(IsShown(Control(dialog, DONE))) << "the emptied list keeps the leftover layout";
    RECT after = ScreenRect(dialog);
    EXPECT_EQ(layout.top, after.top);
    EXPECT_EQ(layout.bottom, after.bottom);

    EscapeAndCloseBoxDoNothing(dialog);
    Click(Control(dialog, CLOSE));
    EXPECT_TRUE(WaitWindowGone(dialog, WAIT_LONG));
    EXPECT_TRUE(p.WaitAll(WAIT_LONG));
}

// A U tree in mode 0 whose names the code page lacks characters of: every file is listed by the
// path that reaches it, short names where needed, and the folder that held no file is gone. The
// entry of such a file is deleted from the list with the folder it empties, then the rest with
// every emptied folder up to the test's own. Wine gives every such name a short one.
TEST_F(Dialog, ForeignNamesAreListedByShortNamesAndDeleted)
{
    if (GetACP() == CP_UTF8)
        GTEST_SKIP() << "under a UTF-8 code page every name has an ANSI form";
    std::string tree = Path("tree");
    const std::string folder = std::string(fixtures::FOREIGN_FOLDER) + "\\";
    const std::string inner = folder + fixtures::FOREIGN_INNER + "\\";
    const std::vector<std::string> files = {"plain.txt", fixtures::FOREIGN_FILE, fixtures::FOREIGN_BARE, folder + "a.txt",
                                            inner + "b.dat"};
    for (const std::string& f : files)
        ASSERT_TRUE(MakeUtf8(Join(tree, f))) << f;
    ASSERT_TRUE(MakeUtf8(Join(tree, std::string(fixtures::FOREIGN_EMPTY) + "\\")));
    std::vector<std::string> entries;
    for (const std::string& f : files)
        entries.push_back(ReachingPath(tree, f));
    std::sort(entries.begin(), entries.end());
    std::string innerEntry = ReachingPath(tree, inner + "b.dat");
    ASSERT_EQ(std::string::npos, innerEntry.find('?')) << innerEntry;

    Process p;
    HWND dialog = Run(p, {"U0," + tree + ",0"});
    ASSERT_TRUE(dialog != NULL);
    ASSERT_TRUE(WaitFinal(dialog));
    HWND list = Control(dialog, LEFTOVER_LIST);
    std::vector<std::string> items = ListItems(list);
    std::sort(items.begin(), items.end());
    EXPECT_EQ(entries, items);
    std::vector<std::string> all = {"plain.txt", fixtures::FOREIGN_FILE, fixtures::FOREIGN_BARE, folder, folder + "a.txt", inner,
                                    inner + "b.dat"};
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, ListTreeUtf8(tree)) << "listed files stay, the folder without files goes";

    items = ListItems(list);
    int index = (int)(std::find(items.begin(), items.end(), innerEntry) - items.begin());
    ASSERT_LT(index, (int)items.size()) << innerEntry << " is not listed";
    ASSERT_TRUE(ListSelect(list, index));
    Click(Control(dialog, DELETE_ONE));
    ASSERT_TRUE(WaitListCount(list, (int)files.size() - 1, WAIT_LONG));
    EXPECT_FALSE(ExistsUtf8(Join(tree, inner))) << "the emptied folder goes with its last file";
    EXPECT_TRUE(ExistsUtf8(Join(tree, folder + "a.txt")));

    Click(Control(dialog, DELETE_ALL));
    ASSERT_TRUE(WaitListCount(list, 0, WAIT_LONG));
    EXPECT_TRUE(WaitForBox(caption_.c_str(), 300) == NULL) << "a deletion failed";
    EXPECT_FALSE(ExistsUtf8(tree)) << "every emptied folder goes, up to the test's own";
    EXPECT_TRUE(Exists(dir_));
    Click(Control(dialog, CLOSE));
    EXPECT_TRUE(WaitWindowGone(dialog, WAIT_LONG));
    EXPECT_TRUE(p.WaitAll(WAIT_LONG));
}
