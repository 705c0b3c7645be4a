// Deleting leftover files through the list: folders, locked files, selection, long entries.
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include "boxes.h"
#include "ui_support.h"
#include "common/common.h"
#include "startup/startup.h"
#include "ui/ui.h"

using namespace ui_test;

namespace {

const char* RETRY_TEXT = "Cannot delete %s. Try again?";

INT_PTR CALLBACK HostProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// The dialog's controls without its procedure: the leftover list as the actions left it.
struct Host {
    HWND window;
    explicit Host(const std::vector<std::string>& entries)
    {
        window = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_UNINSTALL), NULL, HostProc, 0);
        // Another title than the boxes' caption, so that box watchers never take the host for a box.
        SetWindowTextA(window, "leftover host");
        g_dialog = window;
        for (const std::string& entry : entries)
            AddLeftover(entry.c_str());
        EnableWindow(GetDlgItem(window, IDC_DELETE), TRUE);
        EnableWindow(GetDlgItem(window, IDC_DELETE_ALL), TRUE);
        EnableWindow(GetDlgItem(window, IDC_CLOSE), TRUE);
        SendDlgItemMessageA(window, IDC_LEFTOVER_LIST, LB_SETCURSEL, 0, 0);
    }
    ~Host()
    {
        DestroyWindow(window);
    }
};

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += "[" + item + "]";
    return text;
}

void Prepare(const char* caption)
{
    CopyText(g_caption, TEXT_FIELD, caption);
    SetTexts({{52, RETRY_TEXT}});
}

} // namespace

// One deletion each: the file goes, emptied folders go up to the first one still holding
// something, and g_startDir keeps where the walk stopped.
TEST(DeleteLeftover, RemovesFileAndEmptiedFolders)
{
    struct Row {
        int row;
        const char* what;
        std::vector<std::string> files;   // created below the fixture, "!" first = read-only
        const char* entry;                // the listed file
        std::vector<std::string> after;   // the fixture's tree afterwards
        const char* stopsAt;              // g_startDir afterwards, below the fixture ("" = the fixture)
    };
    const Row rows[] = {
        {1, "folder keeps another file", {"a\\f.txt", "a\\keep.txt"}, "a\\f.txt", {"a\\", "a\\keep.txt", "keep.txt"}, "a"},
        {2, "emptied folders go upwards", {"a\\keep.txt", "a\\b\\c\\f.txt"}, "a\\b\\c\\f.txt", {"a\\", "a\\keep.txt", "keep.txt"}, "a"},
        {3, "up to the fixture itself", {"a\\b\\f.txt"}, "a\\b\\f.txt", {"keep.txt"}, ""},
        {4, "read-only file", {"!a\\ro.txt", "a\\keep.txt"}, "a\\ro.txt", {"a\\", "a\\keep.txt", "keep.txt"}, "a"},
        {5, "font name in mixed case", {"a\\Face.TtF", "a\\keep.txt"}, "a\\Face.TtF", {"a\\", "a\\keep.txt", "keep.txt"}, "a"},
        {6, "file already gone", {"a\\keep.txt"}, "a\\gone.txt", {"a\\", "a\\keep.txt", "keep.txt"}, "a\\gone.txt"},
    };
    Prepare("ui delete table");
    for (const Row& r : rows) {
        std::string root = FreshFolder("ui_delete_table");
        ASSERT_TRUE(MakeFile(root + "\\keep.txt")) << "row " << r.row;
        for (std::string file : r.files) {
            DWORD attributes = FILE_ATTRIBUTE_NORMAL;
            if (file[0] == '!') {
                attributes = FILE_ATTRIBUTE_READONLY;
                file = file.substr(1);
            }
            ASSERT_TRUE(MakeFile(root + "\\" + file, attributes)) << "row " << r.row << " " << file;
        }
        std::string entry = root + "\\" + r.entry;
        std::string other = root + "\\zz other.txt"; // sorts after the entry, no file behind it
        BoxAnswerer boxes("ui delete table", {IDNO});
        {
            Host host({other, entry});
            DeleteLeftover(0);
            boxes.Stop();
            EXPECT_EQ(Joined({other}), Joined(ListEntries(host.window, IDC_LEFTOVER_LIST))) << "row " << r.row << " " << r.what;
            EXPECT_EQ(0, Selected(host.window, IDC_LEFTOVER_LIST)) << "row " << r.row;
            EXPECT_TRUE(Enabled(host.window, IDC_DELETE)) << "row " << r.row;
            EXPECT_TRUE(Enabled(host.window, IDC_DELETE_ALL)) << "row " << r.row;
        }
        EXPECT_EQ(Joined(r.after), Joined(fixtures::ListTree(root))) << "row " << r.row << " " << r.what;
        std::string stop = r.stopsAt[0] ? root + "\\" + r.stopsAt : root;
        EXPECT_EQ(stop, std::string(g_startDir)) << "row " << r.row << " " << r.what;
        EXPECT_EQ("", Joined(boxes.Texts())) << "row " << r.row << ": no question expected";
        DeleteTree(root);
    }
}

// A file that cannot be deleted: text 52 after every failed attempt, Yes tries again,
// any other answer leaves the file and drops the entry; its folder stays.
TEST(DeleteLeftover, LockedFileAsksUntilNo)
{
    struct Row {
        int row;
        bool withText;
        std::vector<int> answers;
    };
    const Row rows[] = {
        {1, true, {IDNO}},
        {2, true, {IDYES, IDYES, IDNO}},
        {3, false, {IDYES, IDNO}}, // no text 52 in the log: the question comes with an empty text
    };
    for (const Row& r : rows) {
        Prepare("ui locked");
        if (!r.withText)
            SetTexts({});
        std::string root = FreshFolder("ui_locked");
        std::string path = root + "\\sub\\held.dat";
        ASSERT_TRUE(MakeFile(path)) << "row " << r.row;
        HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL); // no sharing
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << "row " << r.row;
        BoxAnswerer boxes("ui locked", r.answers);
        {
            Host host({path});
            DeleteLeftover(0);
            boxes.Stop();
            EXPECT_EQ(0, (int)SendDlgItemMessageA(host.window, IDC_LEFTOVER_LIST, LB_GETCOUNT, 0, 0)) << "row " << r.row;
        }
        CloseHandle(held);
        std::string question = r.withText ? "Cannot delete " + path + ". Try again?" : "";
        std::vector<std::string> expected(r.answers.size(), question);
        EXPECT_EQ(Joined(expected), Joined(boxes.Texts())) << "row " << r.row;
        EXPECT_TRUE(PathExists(path)) << "row " << r.row << ": the file stays";
        EXPECT_EQ(path, std::string(g_startDir)) << "row " << r.row << ": no folder walk";
        DeleteTree(root);
    }
}

// An entry whose file name holds the substitution character names a file that no ANSI name
// reaches (a volume without short names): the user is told it cannot be deleted, as for a locked
// file, instead of seeing it vanish as though deleted. A '?' elsewhere, as in the "\\?\" prefix,
// does not count: such an entry of a file already gone leaves without a question.
TEST(DeleteLeftover, EntryNoNameReachesIsReportedUndeletable)
{
    struct Row {
        int row;
        const char* what;
        std::string entry;        // {R}: the fixture folder
        std::vector<int> answers; // the questions that must come, each with its answer
    };
    const Row rows[] = {
        {1, "substituted name, No", "{R}\\sub\\????.txt", {IDNO}},
        {2, "substituted name, Yes then No", "{R}\\sub\\a?b.txt", {IDYES, IDNO}},
        {3, "long-path prefix, file gone", "\\\\?\\{R}\\sub\\gone.txt", {}},
    };
    for (const Row& r : rows) {
        Prepare("ui unreached");
        std::string root = FreshFolder("ui_unreached");
        ASSERT_TRUE(MakeFile(root + "\\sub\\keep.txt")) << "row " << r.row;
        std::string entry = r.entry;
        entry.replace(entry.find("{R}"), 3, root);
        BoxAnswerer boxes("ui unreached", r.answers.empty() ? std::vector<int>{IDNO} : r.answers);
        {
            Host host({entry});
            DeleteLeftover(0);
            boxes.Stop();
            EXPECT_EQ(0, (int)SendDlgItemMessageA(host.window, IDC_LEFTOVER_LIST, LB_GETCOUNT, 0, 0)) << "row " << r.row;
        }
        std::vector<std::string> expected(r.answers.size(), "Cannot delete " + entry + ". Try again?");
        EXPECT_EQ(Joined(expected), Joined(boxes.Texts())) << "row " << r.row << " " << r.what;
        EXPECT_EQ(entry, std::string(g_startDir)) << "row " << r.row << " " << r.what << ": no folder walk";
        EXPECT_EQ(Joined({"sub\\", "sub\\keep.txt"}), Joined(fixtures::ListTree(root))) << "row " << r.row << " " << r.what;
        DeleteTree(root);
    }
}

// The retry test's box answerer, on a thread of its own: the first question releases the held file
// and is answered Yes; a further one would be a fault and is answered No.
struct RetryHelper {
    HANDLE held;
    std::vector<std::string> texts;
    volatile LONG stop;
};

static DWORD WINAPI AnswerRetry(void* p)
{
    RetryHelper* h = (RetryHelper*)p;
    for (int i = 0; i < 1000 && !h->stop; i++) {
        HWND box = FindWindowA("#32770", "ui retry");
        if (box && GetDlgItem(box, 0xFFFF) && IsWindowVisible(box)) {
            h->texts.push_back(WindowTextOf(GetDlgItem(box, 0xFFFF)));
            if (h->held != INVALID_HANDLE_VALUE) {
                CloseHandle(h->held);
                h->held = INVALID_HANDLE_VALUE;
                PostMessageA(box, WM_COMMAND, IDYES, 0);
            } else {
                PostMessageA(box, WM_COMMAND, IDNO, 0);
            }
            for (int j = 0; j < 500 && IsWindow(box); j++)
                Sleep(10);
        }
        Sleep(10);
    }
    return 0;
}

// Yes after the file has been released: the second attempt deletes it and its folder.
TEST(DeleteLeftover, YesRetriesOnceTheFileIsFree)
{
    Prepare("ui retry");
    std::string root = FreshFolder("ui_retry");
    std::string path = root + "\\sub\\held.dat";
    ASSERT_TRUE(MakeFile(path));
    ASSERT_TRUE(MakeFile(root + "\\keep.txt"));
    RetryHelper helper = {CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL), {}, 0};
    ASSERT_NE(INVALID_HANDLE_VALUE, helper.held);
    HANDLE thread = CreateThread(NULL, 0, AnswerRetry, &helper, 0, NULL);
    {
        Host host({path});
        DeleteLeftover(0);
        EXPECT_EQ(0, (int)SendDlgItemMessageA(host.window, IDC_LEFTOVER_LIST, LB_GETCOUNT, 0, 0));
    }
    InterlockedExchange(&helper.stop, 1);
    WaitForSingleObject(thread, 20000);
    CloseHandle(thread);
    if (helper.held != INVALID_HANDLE_VALUE)
        CloseHandle(helper.held);
    EXPECT_EQ(Joined({"Cannot delete " + path + ". Try again?"}), Joined(helper.texts));
    EXPECT_FALSE(PathExists(path));
    EXPECT_EQ(Joined({"keep.txt"}), Joined(fixtures::ListTree(root)));
    DeleteTree(root);
}

// Selection and buttons: no selection does nothing, an index past the end does nothing,
// the remaining first entry becomes selected, the last deletion disables both delete buttons.
TEST(DeleteLeftover, SelectionAndButtons)
{
    Prepare("ui selection");
    std::string root = FreshFolder("ui_selection");
    std::string a = root + "\\a.txt", b = root + "\\b.txt";
    ASSERT_TRUE(MakeFile(root + "\\keep.txt")); // bounds the folder walk to the fixture
    ASSERT_TRUE(MakeFile(a));
    ASSERT_TRUE(MakeFile(b));
    BoxAnswerer boxes("ui selection", {IDNO});
    Host host({b, a});

    SendDlgItemMessageA(host.window, IDC_LEFTOVER_LIST, LB_SETCURSEL, (WPARAM)-1, 0);
    OnDialogCommand(host.window, IDC_DELETE);
    EXPECT_EQ(Joined({a, b}), Joined(ListEntries(host.window, IDC_LEFTOVER_LIST))) << "no selection";
    DeleteLeftover(5);
    EXPECT_EQ(Joined({a, b}), Joined(ListEntries(host.window, IDC_LEFTOVER_LIST))) << "index past the end";
    EXPECT_TRUE(PathExists(a) && PathExists(b));

    SendDlgItemMessageA(host.window, IDC_LEFTOVER_LIST, LB_SETCURSEL, 1, 0);
    OnDialogCommand(host.window, IDC_DELETE);
    EXPECT_EQ(Joined({a}), Joined(ListEntries(host.window, IDC_LEFTOVER_LIST)));
    EXPECT_EQ(0, Selected(host.window, IDC_LEFTOVER_LIST));
    EXPECT_FALSE(PathExists(b));
    EXPECT_TRUE(Enabled(host.window, IDC_DELETE));

    OnDialogCommand(host.window, IDC_DELETE);
    EXPECT_EQ(0u, ListEntries(host.window, IDC_LEFTOVER_LIST).size());
    EXPECT_FALSE(PathExists(a));
    EXPECT_FALSE(Enabled(host.window, IDC_DELETE));
    EXPECT_FALSE(Enabled(host.window, IDC_DELETE_ALL));
    EXPECT_TRUE(Enabled(host.window, IDC_CLOSE)) << "closing stays possible";

    // The emptied list: neither button command may do anything, let alone fail.
    OnDialogCommand(host.window, IDC_DELETE);
    OnDialogCommand(host.window, IDC_DELETE_ALL);
    EXPECT_EQ(0u, ListEntries(host.window, IDC_LEFTOVER_LIST).size());
    boxes.Stop();
    EXPECT_EQ("", Joined(boxes.Texts()));
    EXPECT_EQ(Joined({"keep.txt"}), Joined(fixtures::ListTree(root)));
    DeleteTree(root);
}

// Delete all: the selected entry first, then the list from its top; a locked file answered
// No stays while the loop goes on.
TEST(DeleteLeftover, DeleteAllOrderAndLockedFiles)
{
    struct Row {
        int row;
        std::vector<std::string> locked;   // of a.txt, b.txt, c.txt, d.txt
        int selected;                      // -1: none
        std::vector<std::string> asked;    // questions, in order, by file name
    };
    const Row rows[] = {
        {1, {"a.txt", "b.txt", "c.txt"}, 1, {"b.txt", "a.txt", "c.txt"}},
        {2, {"c.txt"}, -1, {"c.txt"}},
        {3, {}, 2, {}},
    };
    for (const Row& r : rows) {
        Prepare("ui delete all");
        std::string root = FreshFolder("ui_delete_all");
        ASSERT_TRUE(MakeFile(root + "\\keep.txt")) << "row " << r.row; // bounds the folder walk
        std::vector<std::string> paths;
        for (const char* name : {"c.txt", "a.txt", "b.txt"}) {
            paths.push_back(root + "\\" + name);
            ASSERT_TRUE(MakeFile(paths.back())) << "row " << r.row;
        }
        std::vector<HANDLE> held;
        for (const std::string& name : r.locked)
            held.push_back(CreateFileA((root + "\\" + name).c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL));
        BoxAnswerer boxes("ui delete all", {IDNO});
        {
            Host host(paths);
            SendDlgItemMessageA(host.window, IDC_LEFTOVER_LIST, LB_SETCURSEL, (WPARAM)r.selected, 0);
            OnDialogCommand(host.window, IDC_DELETE_ALL);
            boxes.Stop();
            EXPECT_EQ(0u, ListEntries(host.window, IDC_LEFTOVER_LIST).size()) << "row " << r.row;
            EXPECT_FALSE(Enabled(host.window, IDC_DELETE)) << "row " << r.row;
            EXPECT_FALSE(Enabled(host.window, IDC_DELETE_ALL)) << "row " << r.row;
        }
        for (HANDLE h : held)
            CloseHandle(h);
        std::vector<std::string> expected;
        for (const std::string& name : r.asked)
            expected.push_back("Cannot delete " + root + "\\" + name + ". Try again?");
        EXPECT_EQ(Joined(expected), Joined(boxes.Texts())) << "row " << r.row;
        std::vector<std::string> left = r.locked;
        left.push_back("keep.txt");
        std::sort(left.begin(), left.end());
        EXPECT_EQ(Joined(left), Joined(fixtures::ListTree(root))) << "row " << r.row;
        DeleteTree(root);
    }
}

// Entries longer than the 1024-byte working buffer are dropped unread: no overrun, the file
// behind a cut name is never touched. g_startDir is not the test's buffer, so instead of a
// canary the test checks that an entry that does not fit leaves the buffer as it was.
TEST(DeleteLeftover, EntryLongerThanTheBuffer)
{
    struct Row {
        int row;
        const char* what;
        int length;
        bool fetched;
    };
    const Row rows[] = {
        {1, "fits exactly", SCRATCH_BUFFER - 1, true},
        {2, "one too long", SCRATCH_BUFFER, false},
        {3, "far too long", 3 * SCRATCH_BUFFER, false},
    };
    Prepare("ui long entry");
    std::string root = FreshFolder("ui_long_entry");
    std::string prefix = root + "\\";
    for (const Row& r : rows) {
        std::string entry = prefix + std::string(r.length - prefix.size(), 'n');
        ASSERT_EQ((size_t)r.length, entry.size());
        CopyText(g_startDir, SCRATCH_BUFFER, "C:\\start sentinel");
        BoxAnswerer boxes("ui long entry", {IDNO});
        Host host({entry, root + "\\zz.txt"});
        DeleteLeftover(0);
        boxes.Stop();
        EXPECT_EQ(Joined({root + "\\zz.txt"}), Joined(ListEntries(host.window, IDC_LEFTOVER_LIST))) << "row " << r.row << " " << r.what;
        std::string expected = r.fetched ? entry : "C:\\start sentinel";
        EXPECT_EQ(expected, std::string(g_startDir)) << "row " << r.row << " " << r.what;
        EXPECT_EQ("", Joined(boxes.Texts())) << "row " << r.row;
    }
    DeleteTree(root);
}
