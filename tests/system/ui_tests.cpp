// The uninstall dialog of the real program: progress lines, the three layouts and their cuts, leftover deletion, names outside the code page, visual styles and DPI.
#include "harness.h"
#include <algorithm>
#include <map>
#include <sstream>

using namespace sys;

namespace {

const char* const SHARED_DLLS = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

enum { CLOSE = 1000, LEFTOVER_TEXT = 1001, LEFTOVER_LIST = 1002, DELETE_ONE = 1003, DELETE_ALL = 1004,
       PROGRESS_LIST = 1005, DONE = 1006 };

LONG HalfwayDown(const RECT& r) { return r.top + (r.bottom - r.top) / 2; }
LONG ThreeQuartersBelow(const RECT& r) { return r.bottom + ((r.bottom - r.top) * 3) / 4; }

// The DPI the tests run at: 96 in the shared prefix, another where a prefix of its own sets it
// (tests/system/run_at_dpi.sh).
int ExpectedDpi()
{
    std::string value = Env("UNINST_EXPECT_DPI");
    return value.empty() ? 96 : atoi(value.c_str());
}

class Dialog : public SystemTest {
protected:
    void SetUp() override
    {
        SystemTest::SetUp();
        // On Windows a DPI-unaware reader gets scaled rectangles of a DPI-aware window; the cuts
        // are compared in the dialog's own pixels. (Wine scales no rectangles either way.)
        SetProcessDPIAware();
        HDC screen = GetDC(NULL);
        int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(NULL, screen);
        ASSERT_EQ(ExpectedDpi(), dpi) << "the prefix does not run at the DPI the test expects";
    }

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
        return StartConfirmed(p, exe, app, caption_);
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

// The dialog as the program made it, reported from inside the program by a library call of the
// main phase (dialogprobe.dll, while the dialog runs): the buttons, list boxes and static text
// are the version 6 controls (visual styles); the process is aware of the system DPI and the
// dialog was laid out at that DPI: its font and every control where the template puts them.
TEST_F(Dialog, VisualStylesAndDpiLayout)
{
    std::string report = Path("report.txt");
    Process p;
    HWND dialog = Run(p, {"D16000," + TestBin("dialogprobe.dll") + ",InspectDialog,1," + report});
    ASSERT_TRUE(dialog != NULL);
    ASSERT_TRUE(WaitFinal(dialog));
    Click(Control(dialog, DONE));
    EXPECT_TRUE(WaitWindowGone(dialog, WAIT_LONG));
    EXPECT_TRUE(p.WaitAll(WAIT_LONG));

    // The report: one fact a line, fields by tabs; facts about a control carry its id second.
    std::map<std::string, std::vector<std::string>> facts;
    std::vector<std::string> errors;
    std::istringstream lines(ReadBytes(report));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (fields.empty())
            continue;
        if (fields[0] == "error")
            errors.push_back(line);
        std::string key = fields[0];
        if (key == "class" || key == "ideal" || key == "place")
            key += " " + (fields.size() > 1 ? fields[1] : std::string());
        facts[key] = fields;
    }
    ASSERT_FALSE(facts.empty()) << "the library call wrote no report";
    EXPECT_EQ(std::vector<std::string>{}, errors);

    int dpi = ExpectedDpi();
    EXPECT_EQ((std::vector<std::string>{"dpi", std::to_string(dpi)}), facts["dpi"]);
    // GetDpiForWindow and the awareness contexts exist from Windows 10 on; "-" where they do not.
    std::vector<std::string> windowDpi = facts["windowdpi"];
    EXPECT_TRUE(windowDpi == (std::vector<std::string>{"windowdpi", std::to_string(dpi)}) ||
                windowDpi == (std::vector<std::string>{"windowdpi", "-"})) << ::testing::PrintToString(windowDpi);
    EXPECT_EQ((std::vector<std::string>{"aware", "1"}), facts["aware"]) << "the process is not DPI aware";
    // Known Wine difference: Wine 8 makes every process aware per monitor (2), whatever its manifest
    // says, and lays every dialog out at the system DPI; Windows gives the manifest's system awareness (1).
    std::string awareness = IsWine() ? "2" : "1";
    std::vector<std::string> thread = facts["awareness"];
    EXPECT_TRUE(thread == (std::vector<std::string>{"awareness", awareness}) ||
                thread == (std::vector<std::string>{"awareness", "-"}))
        << "expected awareness " << awareness << ": " << ::testing::PrintToString(thread);
    std::vector<std::string> font = facts["font"];
    ASSERT_EQ(3u, font.size()) << ::testing::PrintToString(font);
    EXPECT_EQ(std::to_string(-MulDiv(atoi(font[1].c_str()), dpi, 72)), font[2])
        << "the dialog font is not sized for " << dpi << " DPI: " << ::testing::PrintToString(font);

    struct Row {
        int row;
        int id;
        const char* className;
    } rows[] = {
        {1, CLOSE, "Button"}, {2, LEFTOVER_TEXT, "Static"}, {3, LEFTOVER_LIST, "ListBox"}, {4, DELETE_ONE, "Button"},
        {5, DELETE_ALL, "Button"}, {6, PROGRESS_LIST, "ListBox"}, {7, DONE, "Button"},
    };
    // Version 5 of the common controls registers none of these classes; version 6 comes from its
    // side-by-side assembly.
    std::string assembly = std::string(sizeof(void*) == 8 ? "amd64" : "x86") + "_microsoft.windows.common-controls_6595b64144ccf1df_6.";
    for (const Row& r : rows) {
        std::string id = std::to_string(r.id);
        std::vector<std::string> cls = facts["class " + id];
        ASSERT_EQ(4u, cls.size()) << "row " << r.row << ": control " << id << ": " << ::testing::PrintToString(cls);
        EXPECT_EQ(r.className, cls[2]) << "row " << r.row << ": control " << id;
        std::string module = cls[3];
        std::transform(module.begin(), module.end(), module.begin(), ::tolower);
        size_t file = module.find_last_of('\\');
        size_t folder = file == std::string::npos ? std::string::npos : module.find_last_of('\\', file - 1);
        std::string folderName = folder == std::string::npos ? "" : module.substr(folder + 1, file - folder - 1);
        EXPECT_TRUE(file != std::string::npos && module.substr(file + 1) == "comctl32.dll" && folderName.find(assembly) == 0)
            << "row " << r.row << ": control " << id << " has the window procedure of " << cls[3]
            << ", expected comctl32.dll of the assembly " << assembly << "*";
        if (std::string(r.className) == "Button") {
            EXPECT_EQ((std::vector<std::string>{"ideal", id, "1"}), facts["ideal " + id])
                << "row " << r.row << ": only a version 6 button gives its ideal size";
        }
        std::vector<std::string> place = facts["place " + id];
        ASSERT_EQ(4u, place.size()) << "row " << r.row << ": control " << id << ": " << ::testing::PrintToString(place);
        EXPECT_EQ(place[3], place[2]) << "row " << r.row << ": control " << id
                                      << " is not where the template puts it at " << dpi << " DPI";
    }
}
