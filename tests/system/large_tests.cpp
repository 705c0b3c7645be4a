// Large installations through the real program: trees far beyond the first blocks of the set of handled files.
#include <algorithm>
#include <set>
#include "harness.h"

using namespace sys;

namespace {

enum { CLOSE = 1000, LEFTOVER_LIST = 1002, PROGRESS_LIST = 1005, DONE = 1006 };

// Three times the paths and about twenty times the bytes that the first blocks of the set of
// handled files and of its pool hold (20000 paths, 200000 bytes).
const int TREE_FILES = 60000;
const int FILES_PER_FOLDER = 50;
// Making, removing and listing that many files under Wine takes tens of seconds.
const DWORD WAIT_TREE = 240000;

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return (char)toupper((unsigned char)c); });
    return text;
}

class LargeInstallation : public SystemTest {
protected:
    // TREE_FILES files in TREE_FILES / FILES_PER_FOLDER folders under tree\, with names as long as
    // an application's locale files; returns every file's full path.
    std::vector<std::string> LayTree()
    {
        std::vector<std::string> files;
        char folder[64], name[64];
        for (int d = 0; d < TREE_FILES / FILES_PER_FOLDER; d++) {
            snprintf(folder, sizeof folder, "tree\\resources%04d", d);
            std::string path = Path(folder);
            EXPECT_TRUE(MakeFolders(path)) << path;
            for (int f = 0; f < FILES_PER_FOLDER; f++) {
                snprintf(name, sizeof name, "locale-%04d-%02d.pak", d, f);
                std::string file = Join(path, name);
                HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
                EXPECT_NE(INVALID_HANDLE_VALUE, h) << file;
                CloseHandle(h);
                files.push_back(file);
            }
        }
        return files;
    }

    // The program in app\ with the texts of a run and the given records.
    std::string Install(const std::vector<std::string>& records)
    {
        caption_ = "Uninstall " + name_;
        std::string app = Path("app");
        std::string exe = CopyUninst(app);
        EXPECT_FALSE(exe.empty());
        std::vector<std::string> lines = {"A10," + name_, "A48,Uninstall", "A43,Remove %s?", "A13,Finish", "A50,All done",
                                          "A51,Remove %s now?", "A53,These files are left:", "A46,Close"};
        lines.insert(lines.end(), records.begin(), records.end());
        EXPECT_TRUE(WriteLog(Join(app, "uninstal.ini"), lines));
        return exe;
    }

    // Starts the first stage with the dialog, confirms, and returns the dialog once the main phase is over.
    HWND RunToFinalLayout(Process& p, const std::string& exe)
    {
        HWND dialog = StartConfirmed(p, exe, Path("app"), caption_);
        if (!dialog)
            return NULL;
        HWND progress = Control(dialog, PROGRESS_LIST);
        bool over = WaitUntil([&] {
            std::vector<std::string> lines = ListItems(progress);
            return !lines.empty() && lines.back() == "All done" &&
                   (IsEnabledWindow(Control(dialog, CLOSE)) || IsEnabledWindow(Control(dialog, DONE)));
        }, WAIT_TREE);
        EXPECT_TRUE(over) << "the main phase did not end";
        return over ? dialog : NULL;
    }

    std::string caption_;
};

} // namespace

// Silent: one U record in mode 1 removes the whole tree. Afterwards a P record that asks about a
// file outside the tree, and another naming the same file in other letter case, ask once between
// them although the set is far past its first blocks by then.
TEST_F(LargeInstallation, SilentRemovesTheWholeTreeAndAsksOnce)
{
    LayTree();
    std::string extra = Path("app\\extra.txt");
    ASSERT_TRUE(WriteText(extra, "x"));
    std::string exe = Install({"U50000," + Path("tree") + ",1", "P60001," + extra + ",1", "P60002," + Upper(extra) + ",1"});
    BoxAnswerer boxes(caption_.c_str(), {IDNO});
    Process p;
    ASSERT_TRUE(Start(p, "\"" + exe + "\" -s", Path("app"))) << p.error;
    ASSERT_TRUE(p.WaitAll(WAIT_TREE)) << "the run did not end";
    boxes.Stop();
    EXPECT_FALSE(Exists(Path("tree"))) << ListTree(Path("tree")).size() << " entries left in the tree";
    EXPECT_EQ((std::vector<std::string>{"Remove " + extra + " now?"}), boxes.Texts());
    EXPECT_TRUE(Exists(extra)) << "answered No";
}

// With the dialog: the same tree removed whole, and the done layout with nothing left to list.
TEST_F(LargeInstallation, DialogRemovesTheWholeTree)
{
    LayTree();
    std::string exe = Install({"U0," + Path("tree") + ",1"});
    Process p;
    HWND dialog = RunToFinalLayout(p, exe);
    ASSERT_TRUE(dialog != NULL);
    EXPECT_FALSE(Exists(Path("tree"))) << ListTree(Path("tree")).size() << " entries left in the tree";
    EXPECT_EQ(0, ListCount(Control(dialog, LEFTOVER_LIST)));
    HWND done = Control(dialog, DONE);
    EXPECT_TRUE(IsShown(done) && IsEnabledWindow(done)) << "not the done layout";
    Click(done);
    EXPECT_TRUE(WaitWindowGone(dialog, WAIT_LONG));
    EXPECT_TRUE(p.WaitAll(WAIT_LONG));
}

// Mode 0 lists every file exactly once, although a second U record names the same tree in other
// letter case; nothing is deleted.
TEST_F(LargeInstallation, ModeZeroListsEveryFileOnce)
{
    std::vector<std::string> files = LayTree();
    std::string exe = Install({"U50000," + Path("tree") + ",0", "U50001," + Upper(Path("tree")) + ",0"});
    Process p;
    HWND dialog = RunToFinalLayout(p, exe);
    ASSERT_TRUE(dialog != NULL);
    std::vector<std::string> listed = ListItems(Control(dialog, LEFTOVER_LIST));
    EXPECT_EQ((size_t)TREE_FILES, listed.size());
    std::multiset<std::string> seen;
    for (const std::string& item : listed)
        seen.insert(Upper(item));
    int missing = 0, twice = 0;
    std::string firstMissing, firstTwice;
    for (const std::string& f : files) {
        size_t n = seen.count(Upper(f));
        if (n == 0 && missing++ == 0)
            firstMissing = f;
        if (n > 1 && twice++ == 0)
            firstTwice = f;
    }
    EXPECT_EQ(0, missing) << "first not listed: " << firstMissing;
    EXPECT_EQ(0, twice) << "first listed twice: " << firstTwice;
    EXPECT_EQ((size_t)TREE_FILES + TREE_FILES / FILES_PER_FOLDER, ListTree(Path("tree")).size()) << "mode 0 deletes nothing";
    Click(Control(dialog, CLOSE));
    EXPECT_TRUE(WaitWindowGone(dialog, WAIT_LONG));
    EXPECT_TRUE(p.WaitAll(WAIT_LONG));
}
