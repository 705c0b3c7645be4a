// The dispatcher: phase split at 15000, the cursor, and the progress texts and pause before milestone keys.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "actions/actions.h"
#include "log/log.h"
#include "ui/ui.h"

namespace {

// A window with an unsorted list box at IDC_PROGRESS_LIST, standing in for the dialog, and the
// milestone texts in StringTable as "t<id>".
class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetLogState();
        static const int ids[] = {42, 54, 55, 58, 81};
        for (int id : ids)
            texts_.push_back("t" + std::to_string(id));
        for (size_t i = 0; i < texts_.size(); i++) {
            textPointers_[i] = &texts_[i][0];
            StringTable.ids[i] = (unsigned short)ids[i];
        }
        StringTable.texts = textPointers_;
        StringTable.count = (int)texts_.size();
        window_ = CreateWindowExA(0, "STATIC", "dispatcher test", WS_POPUP, 0, 0, 200, 200, NULL, NULL, NULL, NULL);
        ASSERT_TRUE(window_ != NULL);
        list_ = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE, 0, 0, 200, 200, window_,
                                (HMENU)(INT_PTR)IDC_PROGRESS_LIST, NULL, NULL);
        ASSERT_TRUE(list_ != NULL);
        g_dialog = window_;
    }
    void TearDown() override
    {
        g_dialog = 0;
        DestroyWindow(window_);
        ResetLogState();
        g_currentAction = g_lastAction = 0;
    }
    // Lays out the list as stage control does and returns nothing; entries_ keeps the storage.
    void UseList(const std::vector<std::pair<int, const char*>>& list)
    {
        records_.clear();
        for (auto& e : list)
            records_.push_back(e.second);
        // One spare slot in front, so that an empty list's "one before the first" stays inside.
        entries_.assign(list.size() + 1, ActionEntry{0, nullptr});
        for (size_t i = 0; i < list.size(); i++)
            entries_[i + 1] = ActionEntry{list[i].first, &records_[i][0]};
        g_currentAction = &entries_[1];
        g_lastAction = &entries_[1] + ((int)list.size() - 1);
    }
    int CursorIndex() const { return (int)(g_currentAction - &entries_[1]); }
    std::vector<std::string> ProgressLines()
    {
        std::vector<std::string> lines;
        int n = (int)SendMessageA(list_, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; i++) {
            char text[256] = "";
            SendMessageA(list_, LB_GETTEXT, i, (LPARAM)text);
            lines.push_back(text);
        }
        return lines;
    }
    int Selection() { return (int)SendMessageA(list_, LB_GETCURSEL, 0, 0); }

    std::vector<std::string> texts_;
    char* textPointers_[8] = {};
    std::vector<std::string> records_;
    std::vector<ActionEntry> entries_;
    HWND window_ = NULL;
    HWND list_ = NULL;
};

typedef std::vector<std::string> Lines;

} // namespace

// Records whose letters have no handler, so only the walk, the cursor and the milestones show.
TEST_F(DispatcherTest, PhasesCursorAndMilestones)
{
    struct Row {
        std::vector<std::pair<int, const char*>> list;
        Lines afterEarly;   // progress lines after RunActions(1)
        int cursorEarly;    // cursor index after it
        Lines afterMain;    // progress lines added by RunActions(0)
        int cursorMain;
    } rows[] = {
        /*0 empty list*/ {{}, {}, 0, {}, 0},
        /*1 early keys only; 3001 is a milestone of the early phase*/
        {{{1001, "A"}, {3001, "X"}, {14999, "p"}}, {"t81"}, 3, {}, 3},
        /*2 main keys only: the early phase stops on the first*/
        {{{15000, "A"}, {19999, "p"}}, {}, 0, {"t54"}, 2},
        /*3 the boundary: 14999 early, 15000 main*/
        {{{14999, "x"}, {15000, "x"}, {15001, "x"}}, {}, 1, {}, 3},
        /*4 every milestone, 30001 twice*/
        {{{3001, "A"}, {19999, "A"}, {21001, "p"}, {30001, "A"}, {30001, "a"}, {64999, "1"}},
         {"t81"}, 1, {"t54", "t55", "t42", "t58", "t42", "t58"}, 6},
        /*5 not sorted: the main phase skips only the early keys before the first main key*/
        {{{3001, "A"}, {16000, "A"}, {3001, "A"}}, {"t81"}, 1, {"t81"}, 3},
        /*6 the early phase ends at the first main key even with early keys after it*/
        {{{15000, "A"}, {3001, "A"}}, {}, 0, {"t81"}, 2},
        /*7 keys near the milestones do nothing; negative keys compare as signed*/
        {{{-5, "A"}, {3000, "A"}, {3002, "A"}, {20000, "A"}, {30000, "A"}, {30002, "A"}}, {}, 3, {}, 6},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Row& row = rows[i];
        SendMessageA(list_, LB_RESETCONTENT, 0, 0);
        UseList(row.list);
        RunActions(1);
        EXPECT_EQ(row.afterEarly, ProgressLines()) << "row " << i << " early phase";
        EXPECT_EQ(row.cursorEarly, CursorIndex()) << "row " << i << " cursor after the early phase";
        RunActions(0);
        Lines all = row.afterEarly;
        all.insert(all.end(), row.afterMain.begin(), row.afterMain.end());
        EXPECT_EQ(all, ProgressLines()) << "row " << i << " main phase";
        EXPECT_EQ(row.cursorMain, CursorIndex()) << "row " << i << " cursor after the main phase";
        // The newest line is selected.
        EXPECT_EQ((int)all.size() - 1, Selection()) << "row " << i;
        // Nothing resets the cursor: a second main phase runs nothing.
        RunActions(0);
        EXPECT_EQ(all, ProgressLines()) << "row " << i << " second main phase";
        EXPECT_EQ(row.cursorMain, CursorIndex()) << "row " << i;
    }
}

TEST_F(DispatcherTest, PauseBeforeTheLastFolderAlsoWithoutDialog)
{
    g_dialog = 0;
    UseList({{64999, "A"}});
    DWORD start = GetTickCount();
    RunActions(0);
    DWORD elapsed = GetTickCount() - start;
    // Sleep(100) may end a tick early on a coarse timer; no pause at all would be near 0.
    EXPECT_GE(elapsed, 90u);
    EXPECT_EQ(1, CursorIndex());
    EXPECT_EQ(Lines{}, ProgressLines());
}

TEST_F(DispatcherTest, MilestonesWithoutDialogReachNoWindow)
{
    g_dialog = 0;
    UseList({{3001, "A"}, {19999, "A"}, {30001, "A"}});
    RunActions(1);
    RunActions(0);
    EXPECT_EQ(3, CursorIndex());
    EXPECT_EQ(Lines{}, ProgressLines());
}

TEST_F(DispatcherTest, NoListAtAll)
{
    // Stage control leaves both pointers null when no list was read.
    g_currentAction = g_lastAction = 0;
    RunActions(1);
    RunActions(0);
    EXPECT_TRUE(g_currentAction == nullptr);
    EXPECT_EQ(Lines{}, ProgressLines());
}

// Dispatch by the first byte, case-sensitive, in list order: E records start the trace program,
// which appends its last argument; lower-case e and other letters start nothing.
TEST_F(DispatcherTest, DispatchesByTheRecordsLetterInOrder)
{
    char bin[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("UNINST_TESTBIN", bin, sizeof bin);
    if (n == 0 || n >= sizeof bin)
        GTEST_SKIP() << "UNINST_TESTBIN is not set";
    std::string folder = "C:\\utest\\dispatcher_order";
    std::string trace = folder + "\\trace.txt";
    CreateDirectoryA("C:\\utest", NULL);
    DeleteFileA(trace.c_str());
    RemoveDirectoryA(folder.c_str());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    std::string program = std::string("\"") + bin + "\\trace.exe\" " + trace + " ";
    std::vector<std::string> records = {"E" + program + "one", "e" + program + "lower", "E" + program + "two",
                                        "X" + program + "other", "E" + program + "three"};
    UseList({{1001, records[0].c_str()}, {2000, records[1].c_str()}, {3001, records[2].c_str()},
             {3500, records[3].c_str()}, {16000, records[4].c_str()}});
    auto tags = [&] {
        Lines out;
        HANDLE f = CreateFileA(trace.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (f == INVALID_HANDLE_VALUE)
            return out;
        char buffer[8192];
        DWORD got = 0;
        ReadFile(f, buffer, sizeof buffer, &got, NULL);
        CloseHandle(f);
        std::string text(buffer, got);
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            std::string command = text.substr(start, text.find('\t', start) - start);
            out.push_back(command.substr(command.find_last_of(' ') + 1));
        }
        return out;
    };
    RunActions(1);
    EXPECT_EQ((Lines{"one", "two"}), tags()) << "early phase";
    EXPECT_EQ(Lines{"t81"}, ProgressLines());
    RunActions(0);
    EXPECT_EQ((Lines{"one", "two", "three"}), tags()) << "main phase";
    DeleteFileA(trace.c_str());
    RemoveDirectoryA(folder.c_str());
}
