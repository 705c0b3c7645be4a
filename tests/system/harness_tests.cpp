// The harness's own checks: jobs wait for whole process chains, children get the test's temp folder, windows are read across processes.
#include "harness.h"

using namespace sys;

class Harness : public SystemTest {};

static std::string Child(const std::string& arguments)
{
    return "\"" + TestBin("harness_child.exe") + "\" " + arguments;
}

TEST_F(Harness, ExitCodeAndWaitForTheWholeChain)
{
    Process p;
    ASSERT_TRUE(Start(p, Child("spawn 1500 5"), dir_));
    ASSERT_TRUE(p.WaitFirst(WAIT_SHORT));
    EXPECT_EQ(5u, p.ExitCode());
    // The grandchild still sleeps inside the job.
    EXPECT_EQ(1, p.ActiveCount());
    ASSERT_TRUE(p.WaitAll(WAIT_SHORT));
    EXPECT_EQ(0, p.ActiveCount());
}

TEST_F(Harness, TimeoutKillsTheJob)
{
    Process p;
    ASSERT_TRUE(Start(p, Child("sleep 60000"), dir_));
    EXPECT_FALSE(p.WaitAll(300));
    EXPECT_EQ(0, p.ActiveCount());
    EXPECT_FALSE(p.FirstRunning());
}

TEST_F(Harness, ChildSeesTheTestsTempAndCurrentFolder)
{
    MakeFolders(Path("cwd"));
    Process p;
    ASSERT_TRUE(Start(p, Child("temp \"" + Path("out.txt") + "\""), Path("cwd")));
    ASSERT_TRUE(p.WaitAll(WAIT_SHORT));
    EXPECT_EQ(0u, p.ExitCode());
    EXPECT_EQ(temp_ + "\\\n" + Path("cwd") + "\n", ReadBytes(Path("out.txt")));
}

TEST_F(Harness, CopyWithTailAndLogText)
{
    std::string original = ReadBytes(UninstExe());
    ASSERT_FALSE(original.empty());
    struct Row { const char* logName; std::string tail; } rows[] = {
        {"uninstall.ini", std::string("uninstall.ini") + '\0'},
        {"", ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        std::string copy = CopyUninst(Path("app"), "u" + std::to_string(i) + ".exe", rows[i].logName);
        ASSERT_FALSE(copy.empty()) << "row " << i;
        EXPECT_EQ(original + rows[i].tail, ReadBytes(copy)) << "row " << i << " log name " << rows[i].logName;
    }
    EXPECT_EQ("a\r\nb\r\n", LogText({"a", "b"}));
    EXPECT_EQ((std::vector<std::string>{"app\\", "app\\u0.exe", "app\\u1.exe", "temp\\"}), ListTree(dir_));
}

TEST_F(Harness, RegistryAndIni)
{
    std::string key = FreshKey();
    ASSERT_TRUE(RegSetString(HKEY_CURRENT_USER, key + "\\Sub", "Name", "value"));
    ASSERT_TRUE(RegSetDword(HKEY_CURRENT_USER, key, "Count", 3));
    std::string text;
    DWORD number = 0;
    EXPECT_TRUE(RegGetString(HKEY_CURRENT_USER, key + "\\Sub", "Name", &text));
    EXPECT_EQ("value", text);
    EXPECT_TRUE(RegGetDword(HKEY_CURRENT_USER, key, "Count", &number));
    EXPECT_EQ(3u, number);
    EXPECT_EQ(std::vector<std::string>{"Sub"}, RegSubkeys(HKEY_CURRENT_USER, key));
    EXPECT_TRUE(RegDeleteKeyTree(HKEY_CURRENT_USER, key));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, key));

    std::string ini = Path("a.ini");
    ASSERT_TRUE(IniWrite(ini, "Section", "Key", "v"));
    EXPECT_EQ("v", IniRead(ini, "Section", "Key"));
    EXPECT_EQ("<missing>", IniRead(ini, "Section", "Other"));
    EXPECT_EQ(std::vector<std::string>{"Section"}, IniSections(ini));
}

TEST_F(Harness, ReadsAnotherProcessesWindowAndList)
{
    std::string title = "Harness window " + name_;
    Process p;
    ASSERT_TRUE(Start(p, Child("window \"" + title + "\""), dir_));
    HWND window = WaitForWindow("HarnessChildWindow", title.c_str(), WAIT_SHORT, p.Pid());
    ASSERT_TRUE(window != NULL);
    EXPECT_EQ(title, TextOf(window));
    HWND list = Control(window, 100);
    ASSERT_TRUE(list != NULL);
    EXPECT_TRUE(IsShown(list));
    EXPECT_TRUE(IsEnabledWindow(list));
    EXPECT_EQ(3, ListCount(list));
    EXPECT_EQ((std::vector<std::string>{"first", "second item", "C:\\third\\item.txt"}), ListItems(list));
    EXPECT_EQ(1, ListSelection(list));
    RECT r = ClientRectOf(list);
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(10, r.top);
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(p.WaitAll(WAIT_SHORT));
    EXPECT_EQ(7u, p.ExitCode());
}
