// Stage control's builders: titles, copy path, relaunch command, and the self-removal script's text and run.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "access.h"
#include "common/common.h"
#include "log/log.h"
#include "startup/startup.h"

namespace {

const char CANARY = '\x5A';

std::string Repeat(char c, size_t n) { return std::string(n, c); }

// Calls a builder into a caller's buffer of the given size with a canary byte right after it.
template <class F> std::string IntoBuffer(int size, F build, int* result, bool* canaryKept)
{
    std::vector<char> buffer(size + 1, '\x11');
    buffer[size] = CANARY;
    *result = build(buffer.data(), size);
    *canaryKept = buffer[size] == CANARY;
    return std::string(buffer.data());
}

// StringTable holding the given texts by id, for as long as the object lives.
class Texts {
public:
    explicit Texts(const std::vector<std::pair<int, std::string>>& texts) : texts_(texts)
    {
        ResetLogState();
        for (size_t i = 0; i < texts_.size(); i++) {
            pointers_[i] = &texts_[i].second[0];
            StringTable.ids[i] = (unsigned short)texts_[i].first;
        }
        StringTable.texts = pointers_;
        StringTable.count = (int)texts_.size();
    }
    ~Texts() { ResetLogState(); }
private:
    std::vector<std::pair<int, std::string>> texts_;
    char* pointers_[8] = {};
};

} // namespace

TEST(StageTitles, ProductNameAndCaption)
{
    std::string long10 = Repeat('n', 200), long48 = Repeat('c', 300);
    struct Row { std::string text10, text48; bool has10, has48; std::string productName, caption; } rows[] = {
        /*0*/ {"Example Viewer", "Uninstall", true, true, "Example Viewer", "Uninstall Example Viewer"},
        /*1 both missing: a single space*/ {"", "", false, false, "", " "},
        /*2 name exactly 127*/ {Repeat('n', 127), "U", true, true, Repeat('n', 127), "U " + Repeat('n', 125)},
        /*3 name one too long: cut for display*/ {Repeat('n', 128), "U", true, true, Repeat('n', 127), "U " + Repeat('n', 125)},
        /*4 name far too long*/ {long10, "Uninstall", true, true, Repeat('n', 127), "Uninstall " + Repeat('n', 117)},
        /*5 caption part far too long*/ {"App", long48, true, true, "App", Repeat('c', 127)},
        /*6 caption exactly 127*/ {"App", Repeat('c', 123), true, true, "App", Repeat('c', 123) + " App"},
        /*7 caption one too long*/ {"App", Repeat('c', 124), true, true, "App", Repeat('c', 124) + " Ap"},
        /*8 only the name*/ {"App", "", true, false, "App", " App"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        std::vector<std::pair<int, std::string>> texts;
        if (rows[i].has10) texts.push_back({10, rows[i].text10});
        if (rows[i].has48) texts.push_back({48, rows[i].text48});
        Texts table(texts);
        BuildTitles();
        EXPECT_EQ(rows[i].productName, std::string(g_productName)) << "row " << i;
        EXPECT_EQ(rows[i].caption, std::string(g_caption)) << "row " << i;
    }
    g_productName[0] = g_caption[0] = 0;
}

TEST(StageTitles, CopyForDisplayKeepsTheCallersBuffer)
{
    struct Row { std::string text; int size; std::string expected; } rows[] = {
        /*0 fits exactly*/ {Repeat('a', 9), 10, Repeat('a', 9)},
        /*1 one too long*/ {Repeat('a', 10), 10, Repeat('a', 9)},
        /*2 far too long*/ {Repeat('a', 700), 10, Repeat('a', 9)},
        /*3 empty*/ {"", 10, ""},
        /*4 room for nothing but the zero*/ {"abc", 1, ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        bool canary = false;
        int unused = 0;
        std::string out = IntoBuffer(rows[i].size, [&](char* d, int n) { CopyForDisplay(d, n, rows[i].text.c_str()); return 0; },
                                     &unused, &canary);
        EXPECT_EQ(rows[i].expected, out) << "row " << i << " input length " << rows[i].text.size();
        EXPECT_TRUE(canary) << "row " << i;
    }
}

TEST(StageCopyPath, NameAfterTheExecutablesFolder)
{
    std::string longName = Repeat('x', 300) + ".exe";
    struct Row { const char* workDir; std::string exePath; const char* exeDir; int size; int result; std::string expected; } rows[] = {
        /*0*/ {"C:\\Temp", "C:\\Program Files\\App\\uninst.exe", "C:\\Program Files\\App", 1024, 1, "C:\\Temp\\uninst.exe"},
        /*1 work folder c:\ */ {"c:\\", "C:\\Program Files\\App\\uninst.exe", "C:\\Program Files\\App", 1024, 1, "c:\\uninst.exe"},
        /*2 executable in a root*/ {"C:\\Temp", "C:\\setup.exe", "C:", 1024, 1, "C:\\Temp\\setup.exe"},
        /*3 the file's own name, not uninst.exe*/ {"C:\\T", "D:\\A\\B\\Remove App.exe", "D:\\A\\B", 1024, 1, "C:\\T\\Remove App.exe"},
        /*4 fits exactly*/ {"C:\\T", "D:\\A\\abc.exe", "D:\\A", 13, 1, "C:\\T\\abc.exe"},
        /*5 one too long*/ {"C:\\T", "D:\\A\\abcd.exe", "D:\\A", 13, 0, ""},
        /*6 far too long*/ {"C:\\T", "D:\\A\\" + longName, "D:\\A", 64, 0, ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        int result = -1;
        bool canary = false;
        std::string out = IntoBuffer(rows[i].size, [&](char* d, int n) {
            return BuildCopyPath(d, n, rows[i].workDir, rows[i].exePath.c_str(), rows[i].exeDir); }, &result, &canary);
        EXPECT_EQ(rows[i].result, result) << "row " << i << " " << rows[i].exePath;
        EXPECT_EQ(rows[i].expected, out) << "row " << i << " " << rows[i].exePath;
        EXPECT_TRUE(canary) << "row " << i;
    }
}

TEST(StageRelaunch, CommandFormatAndRefusal)
{
    std::string longLog = "C:\\" + Repeat('l', 1100);
    struct Row { std::string copy; int silent; std::string log; int size; int result; std::string expected; } rows[] = {
        /*0*/ {"C:\\Temp\\uninst.exe", 0, "C:\\App\\uninstal.ini", 1024, 1, "\"C:\\Temp\\uninst.exe\" \"C:\\App\\uninstal.ini\""},
        /*1 silent*/ {"C:\\Temp\\uninst.exe", 1, "C:\\App\\uninstal.ini", 1024, 1,
                      "\"C:\\Temp\\uninst.exe\" -s \"C:\\App\\uninstal.ini\""},
        /*2 blanks*/ {"C:\\My Temp\\un inst.exe", 0, "C:\\Program Files\\My App\\uninstal.ini", 1024, 1,
                      "\"C:\\My Temp\\un inst.exe\" \"C:\\Program Files\\My App\\uninstal.ini\""},
        /*3 fits exactly: 16 characters and the zero*/ {"C:\\u", 1, "C:\\l", 17, 1, "\"C:\\u\" -s \"C:\\l\""},
        /*4 one too long*/ {"C:\\u", 1, "C:\\lo", 17, 0, ""},
        /*5 far too long*/ {"C:\\Temp\\uninst.exe", 0, longLog, 1024, 0, ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        int result = -1;
        bool canary = false;
        std::string out = IntoBuffer(rows[i].size, [&](char* d, int n) {
            return BuildRelaunchCommand(d, n, rows[i].copy.c_str(), rows[i].silent, rows[i].log.c_str()); }, &result, &canary);
        EXPECT_EQ(rows[i].result, result) << "row " << i;
        EXPECT_EQ(rows[i].expected, out) << "row " << i << " copy " << rows[i].copy << " log " << rows[i].log.substr(0, 40);
        EXPECT_TRUE(canary) << "row " << i;
    }
}

TEST(StageScript, TextAndPath)
{
    const std::string five = "@echo off\r\n:try\r\ndel \"C:\\Temp\\uninst.exe\"\r\nif exist \"C:\\Temp\\uninst.exe\" goto try\r\n"
                             "del \"C:\\Temp\\guninst.bat\"\r\n";
    // text "?": written, its content not checked here.
    struct Row { std::string workDir, exePath; int pathSize, textSize; std::string scriptPath, text; } rows[] = {
        /*0*/ {"C:\\Temp", "C:\\Temp\\uninst.exe", 260, 1040, "C:\\Temp\\guninst.bat", five},
        /*1 root of c:*/ {"c:\\", "c:\\uninst.exe", 260, 1040, "c:\\guninst.bat",
                          "@echo off\r\n:try\r\ndel \"c:\\uninst.exe\"\r\nif exist \"c:\\uninst.exe\" goto try\r\ndel \"c:\\guninst.bat\"\r\n"},
        /*2 text fits exactly*/ {"C:\\Temp", "C:\\Temp\\uninst.exe", 260, (int)five.size() + 1, "C:\\Temp\\guninst.bat", five},
        /*3 text one too long*/ {"C:\\Temp", "C:\\Temp\\uninst.exe", 260, (int)five.size(), "C:\\Temp\\guninst.bat", ""},
        /*4 script path fits exactly (259 characters)*/
        {"C:\\" + Repeat('w', 244), "C:\\u.exe", 260, 1040, "C:\\" + Repeat('w', 244) + "\\guninst.bat", "?"},
        /*5 script path one too long*/ {"C:\\" + Repeat('w', 245), "C:\\u.exe", 260, 1040, "", ""},
        /*6 script path far too long*/ {"C:\\" + Repeat('w', 400), "C:\\u.exe", 260, 1040, "", ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Row& r = rows[i];
        std::vector<char> path(r.pathSize + 1, '\x11'), text(r.textSize + 1, '\x11');
        path[r.pathSize] = text[r.textSize] = CANARY;
        int length = PrepareRemovalScript(path.data(), r.pathSize, text.data(), r.textSize, r.workDir.c_str(), r.exePath.c_str());
        if (r.text == "?")
            EXPECT_GT(length, 0) << "row " << i;
        else
            EXPECT_EQ((int)r.text.size(), length) << "row " << i;
        EXPECT_EQ(r.scriptPath, std::string(path.data())) << "row " << i;
        if (r.text != "?")
            EXPECT_EQ(r.text, std::string(text.data(), length > 0 ? length : 0)) << "row " << i;
        EXPECT_EQ(CANARY, path[r.pathSize]) << "row " << i;
        EXPECT_EQ(CANARY, text[r.textSize]) << "row " << i;
    }
}

TEST(StageScript, NonAsciiPathsInTheInterpretersCodePage)
{
    // e with acute accent is 0xE9 in the Western ANSI page and 0x82 in the OEM pages 437 and 850.
    if (GetACP() != 1252 || (GetOEMCP() != 437 && GetOEMCP() != 850))
        GTEST_SKIP() << "needs ANSI 1252 with OEM 437 or 850, have " << GetACP() << "/" << GetOEMCP();
    char path[260], text[3120];
    int length = PrepareRemovalScript(path, sizeof path, text, sizeof text, "C:\\Users\\Ren\xE9\\Temp", "C:\\Users\\Ren\xE9\\Temp\\uninst.exe");
    EXPECT_EQ("C:\\Users\\Ren\xE9\\Temp\\guninst.bat", std::string(path)); // the file itself keeps its ANSI name
    EXPECT_EQ("@echo off\r\n:try\r\ndel \"C:\\Users\\Ren\x82\\Temp\\uninst.exe\"\r\nif exist \"C:\\Users\\Ren\x82\\Temp\\uninst.exe\" goto try\r\n"
              "del \"C:\\Users\\Ren\x82\\Temp\\guninst.bat\"\r\n",
              std::string(text, length > 0 ? length : 0));
    // The euro sign has no form in 437 or 850; for paths that do not exist no short name helps either.
    length = PrepareRemovalScript(path, sizeof path, text, sizeof text, "C:\\utest\\stage_missing\x80", "C:\\utest\\stage_missing\x80\\u.exe");
    EXPECT_EQ(0, length);
    EXPECT_EQ("", std::string(text));
}

namespace {

// A fresh folder C:\utest\<name> with a stand-in for the copy that the script must delete.
class ScriptRun : public ::testing::Test {
protected:
    void Prepare(const std::string& folder)
    {
        folder_ = folder;
        Remove();
        ASSERT_TRUE(CreateDirectoryA("C:\\utest", NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), NULL)) << folder_;
        exe_ = folder_ + "\\uninst.exe";
        HANDLE f = CreateFileA(exe_.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        CloseHandle(f);
        script_ = folder_ + "\\guninst.bat";
        // Held without sharing, the stand-in cannot be deleted: the script must keep looping.
        held_ = CreateFileA(exe_.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, held_);
        CopyText(g_workDir, PATH_BUFFER, folder_.c_str());
        CopyText(g_exePath, PATH_BUFFER, exe_.c_str());
    }
    void Release()
    {
        if (held_ != INVALID_HANDLE_VALUE)
            CloseHandle(held_);
        held_ = INVALID_HANDLE_VALUE;
    }
    static bool Gone(const std::string& path) { return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; }
    static bool WaitGone(const std::string& path, DWORD ms)
    {
        for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(20))
            if (Gone(path))
                return true;
        return Gone(path);
    }
    std::string ReadAll(const std::string& path)
    {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, 0, NULL);
        if (f == INVALID_HANDLE_VALUE)
            return "<missing>";
        char buffer[4096];
        DWORD n = 0;
        ReadFile(f, buffer, sizeof buffer, &n, NULL);
        CloseHandle(f);
        return std::string(buffer, n);
    }
    void Remove()
    {
        Release();
        // A looping script of a failed run ends once its target is gone.
        SetFileAttributesA(exe_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((folder_ + "\\uninst.exe").c_str());
        WaitGone(folder_ + "\\guninst.bat", 5000);
        DeleteFileA((folder_ + "\\guninst.bat").c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    void TearDown() override
    {
        Remove();
        g_workDir[0] = g_exePath[0] = 0;
    }
    std::string folder_, exe_, script_;
    HANDLE held_ = INVALID_HANDLE_VALUE;
};

} // namespace

// The script really runs: it loops while the copy is held, then deletes the copy and itself.
TEST_F(ScriptRun, DeletesTheCopyOnceFreeThenItself)
{
    struct Row { std::string folder; std::string oemFolder; } rows[] = {
        /*0*/ {"C:\\utest\\stage_script_plain", "C:\\utest\\stage_script_plain"},
        /*1 blanks*/ {"C:\\utest\\stage script blank", "C:\\utest\\stage script blank"},
        /*2 accented: written in the OEM page, the interpreter must find the same files*/
        {"C:\\utest\\stage_script_\xE9t\xE9", "C:\\utest\\stage_script_\x82t\x82"},
    };
    bool western = GetACP() == 1252 && (GetOEMCP() == 437 || GetOEMCP() == 850);
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Row& r = rows[i];
        Prepare(r.folder);
        WriteSelfRemovalScript();
        std::string oemExe = r.oemFolder + "\\uninst.exe";
        std::string expected = "@echo off\r\n:try\r\ndel \"" + oemExe + "\"\r\nif exist \"" + oemExe + "\" goto try\r\ndel \"" +
                               r.oemFolder + "\\guninst.bat\"\r\n";
        std::string bytes = ReadAll(script_);
        if (i < 2 || western)
            EXPECT_EQ(expected, bytes) << "row " << i << " " << r.folder;
        EXPECT_EQ(std::string::npos, bytes.find('\0')) << "row " << i;
        // Still looping: the copy is held.
        Sleep(300);
        EXPECT_FALSE(Gone(exe_)) << "row " << i;
        EXPECT_FALSE(Gone(script_)) << "row " << i << " the script must not end while the copy exists";
        Release();
        EXPECT_TRUE(WaitGone(exe_, 20000)) << "row " << i << " the copy stays: " << exe_;
        EXPECT_TRUE(WaitGone(script_, 20000)) << "row " << i << " the script stays: " << script_;
        Remove();
    }
}

TEST_F(ScriptRun, ReplacesAnExistingScript)
{
    Prepare("C:\\utest\\stage_script_replace");
    HANDLE f = CreateFileA(script_.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    std::string old(2000, 'o');
    DWORD n = 0;
    WriteFile(f, old.data(), (DWORD)old.size(), &n, NULL);
    CloseHandle(f);
    WriteSelfRemovalScript();
    std::string bytes = ReadAll(script_);
    EXPECT_EQ("@echo off\r\n:try\r\ndel \"" + exe_ + "\"\r\nif exist \"" + exe_ + "\" goto try\r\ndel \"" + script_ + "\"\r\n", bytes);
    Release();
    EXPECT_TRUE(WaitGone(script_, 20000));
}

// The script is re-read while it loops: only the run's account, SYSTEM and Administrators may change it.
TEST_F(ScriptRun, OnlyTheRunsAccountMayChangeTheScript)
{
    Prepare("C:\\utest\\stage_script_access");
    WriteSelfRemovalScript();
    // Looping while the stand-in is held, so the script is there to be read.
    ASSERT_NE("<missing>", ReadAll(script_));
    EXPECT_EQ("", fixtures::OwnAccessFault(script_));
    Release();
    EXPECT_TRUE(WaitGone(exe_, 20000));
    EXPECT_TRUE(WaitGone(script_, 20000));
}

// A guninst.bat of someone else's, held open with read, write and delete sharing: the run never
// writes into it. It either makes a new script (where the system frees the name of a deleted file at
// once) or none, and then the copy stays.
TEST_F(ScriptRun, NeverWritesIntoAHeldScript)
{
    Prepare("C:\\utest\\stage_script_held");
    const std::string planted = "@echo planted by the test\r\n";
    HANDLE theirs = CreateFileA(script_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, theirs);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(theirs, planted.data(), (DWORD)planted.size(), &n, NULL));
    WriteSelfRemovalScript();
    std::string ours = "@echo off\r\n:try\r\ndel \"" + exe_ + "\"\r\nif exist \"" + exe_ + "\" goto try\r\ndel \"" + script_ + "\"\r\n";
    bool replaced = ReadAll(script_) == ours;
    SetFilePointer(theirs, 0, NULL, FILE_BEGIN);
    char back[256];
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(theirs, back, sizeof back, &got, NULL));
    EXPECT_EQ(planted, std::string(back, got)) << "the run wrote into the held file";
    CloseHandle(theirs);
    if (replaced) {
        Release();
        EXPECT_TRUE(WaitGone(exe_, 20000)) << "the new script did not run";
        EXPECT_TRUE(WaitGone(script_, 20000));
    } else {
        // The held file was deleted, so it goes with the last handle; no script of the run was made.
        EXPECT_TRUE(WaitGone(script_, 5000)) << "the held file stays: " << ReadAll(script_);
        Release();
        EXPECT_FALSE(Gone(exe_)) << "no script, so the copy stays";
    }
}
