// Removal through the real program: the pattern forms, the Add/Remove Programs entry before the main phase, a whole installation.
#include <algorithm>
#include "harness.h"

using namespace sys;

namespace {

const char* const UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const SHARED = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& i : items)
        text += (text.empty() ? "" : " | ") + i;
    return "[" + text + "]";
}

std::string Replaced(std::string text, const std::string& mark, const std::string& by)
{
    for (size_t at; (at = text.find(mark)) != std::string::npos;)
        text.replace(at, mark.size(), by);
    return text;
}

class Removal : public SystemTest {
protected:
    // The program and its log in app\, as an installer leaves them; the texts come first.
    void Install(const std::vector<std::string>& records)
    {
        app_ = Path("app");
        exe_ = CopyUninst(app_, "uninst.exe", "uninstal.ini");
        ASSERT_FALSE(exe_.empty());
        std::vector<std::string> lines = {"A10,Removal Viewer", "A48,Uninstall", "A43,Remove %s?", "A13,Done",
                                          "A50,Finished", "A51,Remove %s now?"};
        lines.insert(lines.end(), records.begin(), records.end());
        ASSERT_TRUE(WriteLog(Join(app_, "uninstal.ini"), lines));
    }
    // A silent run of both stages and the script, to the end.
    void RunSilently()
    {
        Process p;
        ASSERT_TRUE(Start(p, "\"" + exe_ + "\" -s", app_)) << p.error;
        ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << "the run did not end";
    }
    void Lay(const std::string& root, const std::vector<std::string>& entries)
    {
        for (const std::string& e : entries) {
            if (e.back() == '\\')
                ASSERT_TRUE(MakeFolders(Join(root, e.substr(0, e.size() - 1))));
            else
                ASSERT_TRUE(WriteText(Join(root, e), "x")) << e;
        }
    }
    std::string app_, exe_;
};

} // namespace

// The pattern examples: each row's pattern in a folder of its own, all rows in one uninstall, once
// as P records with mode 0 and once as U records with mode 1. Relative patterns are looked for in
// the work folder, which holds files of those names too.
TEST_F(Removal, PatternFormsTakeTheirEntries)
{
    const std::vector<std::string> layout = {
        "readme.txt", "a.txt", "B.TXT", "c.old.txt", "txt", "d.txt.bak", "x.tar.gz", "data.bin", "DATA.txt",
        "data", "data.old.bin", "abc.txt", "a1c.txt", "ab.txt", "notes.txt\\", "notes.txt\\inner.dat"};
    const std::vector<std::string> files = Without(layout, {"notes.txt\\", "notes.txt\\inner.dat"});
    const std::vector<std::string> txt = {"readme.txt", "a.txt", "B.TXT", "c.old.txt", "DATA.txt", "abc.txt", "a1c.txt", "ab.txt"};
    std::vector<std::string> txtAndNotes = txt;
    txtAndNotes.insert(txtAndNotes.end(), {"notes.txt\\", "notes.txt\\inner.dat"});
    const std::vector<std::string> data = {"data.bin", "DATA.txt", "data"};
    struct Row {
        std::string pattern;       // {F}: the row's folder
        std::vector<std::string> goneByP;
        std::vector<std::string> goneByU; // an empty folder left by U is gone too
        bool folderGoesByU;
    } rows[] = {
        {"{F}\\readme.txt", {"readme.txt"}, {"readme.txt"}, false},
        {"{F}\\*.*", files, layout, false},
        {"{F}\\*", files, layout, false},
        {"{F}\\*.txt", txt, txtAndNotes, false},
        {"{F}\\*old.txt", txt, txtAndNotes, false},
        {"{F}\\*.tar.gz", {"x.tar.gz"}, {"x.tar.gz"}, false},
        {"{F}\\data.*", data, data, false},
        {"{F}\\data.*bak", data, data, false},
        {"{F}\\*.", {"txt", "data"}, {"txt", "data"}, false},
        {"{F}\\a?c.txt", {"abc.txt", "a1c.txt"}, {"abc.txt", "a1c.txt"}, false},
        {"{F}\\ab*.txt", {"ab.txt", "abc.txt"}, {"ab.txt", "abc.txt"}, false},
        {"{F}\\ab*.*", {}, {}, false},
        {"{F}\\*.t?t", {}, {}, false},
        {"{F}\\*.TXT", txt, txtAndNotes, false},
        {"{F}", {}, layout, true},
        {"{F}\\", {}, {}, false},
        {"*.txt", {}, {}, false},
        {"readme.txt", {}, {}, false},
    };
    const int count = sizeof rows / sizeof rows[0];
    std::vector<std::string> records;
    for (int i = 0; i < count; i++) {
        Lay(Path("p" + std::to_string(i + 1)), layout);
        Lay(Path("u" + std::to_string(i + 1)), layout);
        records.push_back("P0," + Replaced(rows[i].pattern, "{F}", Path("p" + std::to_string(i + 1))) + ",0");
        records.push_back("U0," + Replaced(rows[i].pattern, "{F}", Path("u" + std::to_string(i + 1))) + ",1");
    }
    Lay(temp_, {"readme.txt", "a.txt"});
    Install(records);
    RunSilently();
    for (int i = 0; i < count; i++) {
        const Row& r = rows[i];
        EXPECT_EQ(Joined(Without(layout, r.goneByP)), Joined(ListTree(Path("p" + std::to_string(i + 1)))))
            << "row " << i + 1 << " P " << r.pattern;
        std::string u = Path("u" + std::to_string(i + 1));
        if (r.folderGoesByU)
            EXPECT_FALSE(Exists(u)) << "row " << i + 1 << " U " << r.pattern;
        else
            EXPECT_EQ(Joined(Without(layout, r.goneByU)), Joined(ListTree(u))) << "row " << i + 1 << " U " << r.pattern;
    }
    EXPECT_TRUE(Exists(Join(temp_, "readme.txt")));
    EXPECT_TRUE(Exists(Join(temp_, "a.txt")));
}

// The first stage deletes the Add/Remove Programs entry before it starts the second: the first
// main-phase action (an explicit key of 15000) finds it gone, while a key that the main phase
// removes later is still there. Refused records leave the Uninstall key and their neighbours alone.
TEST_F(Removal, UninstallEntryIsGoneBeforeTheMainPhase)
{
    std::string entry = std::string(UNINSTALL) + "\\{UninstRemoval-0000-0000-0000-" + name_ + "}";
    std::string neighbour = std::string(UNINSTALL) + "\\UninstRemovalNeighbour_" + name_;
    std::string own = "Software\\UninstRemoval_" + name_;
    RegDeleteKeyTree(HKEY_LOCAL_MACHINE, entry);
    RegDeleteKeyTree(HKEY_LOCAL_MACHINE, neighbour);
    RegDeleteKeyTree(HKEY_CURRENT_USER, own);
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, entry, "DisplayName", "Removal Viewer"));
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, neighbour, "DisplayName", "Someone else"));
    ASSERT_TRUE(RegSetString(HKEY_CURRENT_USER, own, "v", "x"));
    // reg prints the key's values when it is there, an error otherwise
    auto probe = [&](const std::string& key, const std::string& root, const std::string& file) {
        return "cmd.exe /c reg query \"" + root + "\\" + key + "\" >\"" + Path(file) + "\" 2>&1";
    };
    Install({"J0,2," + entry + ",DisplayName", "J0,2," + std::string(UNINSTALL) + ",DisplayName",
             "J0,2," + std::string(UNINSTALL) + "\\,DisplayName", "J0,2," + neighbour, "J0,1," + own + ",",
             "E15000," + probe(entry, "HKLM", "entry.txt"), "E15001," + probe(own, "HKCU", "own.txt")});
    RunSilently();
    ASSERT_TRUE(Exists(Path("entry.txt")) && Exists(Path("own.txt"))) << "the probes did not run";
    EXPECT_EQ(std::string::npos, ReadBytes(Path("entry.txt")).find("Removal Viewer")) << ReadBytes(Path("entry.txt"));
    EXPECT_NE(std::string::npos, ReadBytes(Path("own.txt")).find("REG_SZ")) << ReadBytes(Path("own.txt"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, entry));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, own));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, neighbour)) << "a record without a value-name field took it";
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, UNINSTALL));
    RegDeleteKeyTree(HKEY_LOCAL_MACHINE, neighbour);
}

// A small installation with every record type of the main phase, uninstalled silently: files,
// folders, registry keys and values, the shared library's count, INI entries. Nothing of it is
// left but the released library, which a silent run neither lists nor deletes.
TEST_F(Removal, WholeInstallationIsLeftClean)
{
    std::string entry = std::string(UNINSTALL) + "\\UninstRemovalApp_" + name_;
    std::string key = "Software\\UninstRemovalApp_" + name_;
    std::string keep = "Software\\UninstRemovalKeep_" + name_;
    std::string lib = Path("common\\viewer.dll"), lib2 = Path("common\\codec.dll");
    for (const std::string& k : {entry, key, keep})
        RegDeleteKeyTree(k == entry ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, k);
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, entry, "DisplayName", "Removal Viewer"));
    ASSERT_TRUE(RegSetString(HKEY_CURRENT_USER, key + "\\Settings\\Window", "x", "1"));
    ASSERT_TRUE(RegSetString(HKEY_CURRENT_USER, keep, "", "default"));
    ASSERT_TRUE(RegSetString(HKEY_CURRENT_USER, keep, "Viewer", "1"));
    ASSERT_TRUE(RegSetString(HKEY_CURRENT_USER, keep, "Other", "1"));
    ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, SHARED, lib, 1));
    ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, SHARED, lib2, 3));
    std::string ini = Path("windows\\viewer.ini");
    ASSERT_TRUE(MakeFolders(Path("windows")));
    ASSERT_TRUE(IniWrite(ini, "Viewer", "Path", "x"));
    ASSERT_TRUE(IniWrite(ini, "Recent", "File1", "a"));
    ASSERT_TRUE(IniWrite(ini, "Other", "Keep", "b"));
    ASSERT_TRUE(IniWrite(ini, "Other", "Mine", "c"));
    Lay(Path(""), {"app\\viewer.exe", "app\\readme.txt", "app\\help\\index.htm", "app\\help\\img\\", "app\\plugins\\a.plg",
                   "common\\viewer.dll", "common\\codec.dll"});
    SetFileAttributesA(Path("app\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    Install({"J0,2," + entry + ",", "J0,1," + key + ",", "J0,1," + keep + ",Viewer", "J0,1," + keep + ",default",
             "K0," + lib, "K0," + lib2, "M0," + ini + ",Viewer,Path", "M0," + ini + ",Recent,", "M0," + ini + ",Other,Mine",
             "P0," + Path("app\\viewer.exe") + ",0", "P0," + Path("app\\readme.txt") + ",0", "P0," + lib + ",0",
             "P0," + Path("app\\plugins\\*.plg") + ",0", "U0," + Path("app") + ",1"});
    RunSilently();
    EXPECT_FALSE(Exists(app_)) << Joined(ListTree(app_));
    EXPECT_EQ(Joined({"codec.dll", "viewer.dll"}), Joined(ListTree(Path("common"))));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, entry));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, key));
    EXPECT_EQ(Joined({"Other"}), Joined(RegValueNames(HKEY_CURRENT_USER, keep)));
    EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, SHARED, lib));
    DWORD count = 0;
    EXPECT_TRUE(RegGetDword(HKEY_LOCAL_MACHINE, SHARED, lib2, &count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(Joined({"Other"}), Joined(IniSections(ini)));
    EXPECT_EQ(Joined({"Keep"}), Joined(IniKeys(ini, "Other")));
    RegDeleteKeyTree(HKEY_CURRENT_USER, keep);
    HKEY shared;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED, 0, KEY_SET_VALUE, &shared) == ERROR_SUCCESS) {
        RegDeleteValueA(shared, lib2.c_str());
        RegDeleteValueA(shared, lib.c_str());
        RegCloseKey(shared);
    }
}

// With the dialog: U on a plain folder in modes 0 to 3, a read-only file, a file named again in
// other letter case, text 51 answered Yes and No, and refused patterns touching nothing; the
// leftover list shows exactly the listed files.
TEST_F(Removal, ModesQuestionsAndRefusalsWithTheDialog)
{
    const std::string caption = "Uninstall " + name_;
    const std::vector<std::string> tree = {"a.txt", "sub\\b.txt", "sub\\deep\\", "empty\\"};
    for (int m = 0; m < 4; m++)
        Lay(Path("m" + std::to_string(m)), tree);
    Lay(Path("d"), {"ro.txt", "x.txt", "yes.txt", "no.txt"});
    Lay(temp_, {"x.txt"});
    SetFileAttributesA(Path("d\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    std::string upper = Path("D\\X.TXT");
    for (char& c : upper)
        c = (char)toupper((unsigned char)c);
    app_ = Path("app");
    exe_ = CopyUninst(app_, "uninst.exe", "uninstal.ini");
    ASSERT_FALSE(exe_.empty());
    std::vector<std::string> lines = {"A10," + name_, "A48,Uninstall", "A43,Remove %s?", "A13,Done", "A50,Finished",
                                      "A44,Delete", "A45,Delete all", "A46,Close", "A51,Remove %s now?", "A53,Left:",
                                      "P0," + Path("d\\ro.txt") + ",0", "P0," + Path("d\\x.txt") + ",2", "P0," + upper + ",0",
                                      "P0," + Path("d\\yes.txt") + ",1", "P0," + Path("d\\no.txt") + ",1",
                                      "P0," + Path("d\\no.txt") + ",0", "P0,C:\\*.*,2", "P0," + temp_ + "\\*.*,2",
                                      "P0," + temp_ + "\\*,2", "P0,x.txt,0"};
    for (int m = 0; m < 4; m++)
        lines.push_back("U0," + Path("m" + std::to_string(m)) + "," + std::to_string(m));
    ASSERT_TRUE(WriteLog(Join(app_, "uninstal.ini"), lines));

    Process p;
    ASSERT_TRUE(Start(p, "\"" + exe_ + "\"", app_)) << p.error;
    HWND box = WaitForBox(caption.c_str(), WAIT_LONG);
    ASSERT_TRUE(box != NULL) << "no confirmation";
    ASSERT_TRUE(AnswerBox(box, IDYES));
    std::vector<std::string> questions;
    for (int answer : {IDYES, IDNO}) {
        box = WaitForBox(caption.c_str(), WAIT_LONG);
        ASSERT_TRUE(box != NULL) << "question " << questions.size() + 1 << " did not come";
        questions.push_back(BoxText(box));
        ASSERT_TRUE(AnswerBox(box, answer));
    }
    EXPECT_EQ(Joined({"Remove " + Path("d\\yes.txt") + " now?", "Remove " + Path("d\\no.txt") + " now?"}), Joined(questions));
    HWND dialog = WaitForWindow("#32770", caption.c_str(), WAIT_LONG);
    ASSERT_TRUE(dialog != NULL) << "no uninstall dialog";
    HWND progress = Control(dialog, 1005);
    ASSERT_TRUE(WaitUntil([&] {
        std::vector<std::string> items = ListItems(progress);
        return !items.empty() && items.back() == "Finished";
    }, WAIT_LONG)) << "the main phase did not end";
    EXPECT_TRUE(WaitForBox(caption.c_str(), 300) == NULL) << "a third question came";
    EXPECT_EQ(Joined({Path("d\\x.txt"), Path("m0\\a.txt"), Path("m0\\sub\\b.txt")}), Joined(ListItems(Control(dialog, 1002))));
    PostCommand(dialog, 1000);
    ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << "the run did not end";

    EXPECT_EQ(Joined({"no.txt", "x.txt"}), Joined(ListTree(Path("d"))));
    EXPECT_EQ(Joined({"a.txt", "sub\\", "sub\\b.txt"}), Joined(ListTree(Path("m0"))));
    EXPECT_FALSE(Exists(Path("m1")));
    EXPECT_EQ(Joined({"a.txt", "empty\\", "sub\\", "sub\\b.txt", "sub\\deep\\"}), Joined(ListTree(Path("m2"))));
    EXPECT_EQ(Joined({"a.txt", "sub\\", "sub\\b.txt"}), Joined(ListTree(Path("m3"))));
    EXPECT_TRUE(Exists(Join(temp_, "x.txt")));
}
