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
    // A silent run of both stages and the script, to the end; TEMP and TMP are the test's own
    // temp folder unless another is given.
    void RunSilently(const std::string& tempDir = "")
    {
        Process p;
        ASSERT_TRUE(p.Start("\"" + exe_ + "\" -s", app_, tempDir.empty() ? temp_ : tempDir)) << p.error;
        ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << "the run did not end";
    }
    // Makes each UTF-8 entry below root (a folder when it ends with a backslash).
    void LayUtf8(const std::string& root, const std::vector<std::string>& entries)
    {
        for (const std::string& e : entries)
            ASSERT_TRUE(MakeUtf8(Join(root, e))) << e;
    }
    // The entry's name must reach the program with '?' in it, or the test would not test the fallback.
    void ExpectSubstituted(const std::string& folder, const std::string& name)
    {
        std::string shortName = ShortNameOf(Join(folder, name));
        ASSERT_FALSE(shortName.empty()) << "no short name for " << name;
        ASSERT_NE(std::string::npos, AnsiNameOf(folder, shortName).find('?'))
            << "code page " << GetACP() << " shows " << name << " as " << AnsiNameOf(folder, shortName);
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
    HWND dialog = WaitForUninstallDialog(caption.c_str(), WAIT_LONG);
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

namespace {

// A tree whose names, but for plain.txt and a.txt, the ANSI code page lacks characters of.
std::vector<std::string> ForeignTree()
{
    std::string folder = std::string(fixtures::FOREIGN_FOLDER) + "\\";
    return {"plain.txt", fixtures::FOREIGN_FILE, fixtures::FOREIGN_BARE, folder + "a.txt",
            folder + fixtures::FOREIGN_INNER + "\\b.dat", std::string(fixtures::FOREIGN_EMPTY) + "\\"};
}

} // namespace

// U trees in mode 1 whose files and folders have names that the code page lacks characters of:
// everything goes, reached by short names; a plain folder pattern takes the folder too, the
// every-entry wildcard leaves it. The system shows such names with '?' (Wine too, an emoji as two,
// one per UTF-16 unit); Wine gives every name that is no valid 8.3 name a short one, made from a
// hash, so a name without one cannot be made here (the unit tests cover that case).
TEST_F(Removal, ForeignNamesInUTreesGoByShortNames)
{
    if (GetACP() == CP_UTF8)
        GTEST_SKIP() << "under a UTF-8 code page every name has an ANSI form";
    LayUtf8(Path("whole"), ForeignTree());
    LayUtf8(Path("inside"), ForeignTree());
    ExpectSubstituted(Path("whole"), fixtures::FOREIGN_FILE);
    ExpectSubstituted(Path("whole"), fixtures::FOREIGN_FOLDER);
    Install({"U0," + Path("whole") + ",1", "U0," + Path("inside") + "\\*.*,1"});
    RunSilently();
    EXPECT_FALSE(ExistsUtf8(Path("whole"))) << Joined(ListTreeUtf8(Path("whole")));
    EXPECT_TRUE(IsFolder(Path("inside")));
    EXPECT_EQ(Joined({}), Joined(ListTreeUtf8(Path("inside"))));
}

// Wildcard patterns match such names as the system shows them, '?' and all: every character the
// code page holds is kept there, while the short name cuts the extension to three characters.
// A '?' compared literally matches no substituted character, and a plain pattern may name the
// entry by its short name. P records with mode 0, each row in a folder of its own, one run.
TEST_F(Removal, ForeignNamesMatchPatternsAsFound)
{
    if (GetACP() == CP_UTF8)
        GTEST_SKIP() << "under a UTF-8 code page every name has an ANSI form";
    const std::string page = u8"Страница 🌐.html", data = u8"data.Отчёт 📄", odd = u8"x.t📄t";
    const std::string report = fixtures::FOREIGN_FILE;
    const std::vector<std::string> layout = {"plain.txt", report, page, data, odd};
    struct Row {
        int row;
        std::string pattern;        // {F}: the row's folder, {S}: the short name of the report
        std::vector<std::string> gone;
    } rows[] = {
        {1, "{F}\\*.txt", {"plain.txt", report}},
        {2, "{F}\\*.html", {page}},
        {3, "{F}\\*.htm", {}},     // the page's short name ends in .HTM
        {4, "{F}\\data.*", {data}},
        {5, "{F}\\*.t??t", {}},    // shown as x.t??t
        {6, "{F}\\{S}", {report}},
        {7, "{F}\\*.*", layout},
    };
    std::vector<std::string> records;
    for (const Row& r : rows) {
        std::string folder = Path("p" + std::to_string(r.row));
        LayUtf8(folder, layout);
        std::string pattern = Replaced(Replaced(r.pattern, "{F}", folder), "{S}", ShortNameOf(Join(folder, report)));
        records.push_back("P0," + pattern + ",0");
    }
    std::string first = Path("p1");
    ExpectSubstituted(first, report);
    std::string pageShort = ShortNameOf(Join(first, page));
    ASSERT_TRUE(pageShort.size() > 4 && pageShort.substr(pageShort.size() - 4) == ".HTM") << pageShort;
    ASSERT_EQ("x.t??t", AnsiNameOf(first, ShortNameOf(Join(first, odd))));
    Install(records);
    RunSilently();
    for (const Row& r : rows)
        EXPECT_EQ(Joined(Without(layout, r.gone)), Joined(ListTreeUtf8(Path("p" + std::to_string(r.row)))))
            << "row " << r.row << " " << r.pattern;
}

// A protected folder reached through its short name is still refused: the test's temp folder,
// named outside the code page and given to the program by its short name, is the run's temp
// folder. A walk of its parent, a plain pattern and a wildcard naming it by that short name all
// leave it whole. The system's long form of such a folder shows '?' for what the code page lacks,
// on both sides of the comparison (Wine's GetLongPathNameA does as Windows does).
TEST_F(Removal, ProtectedFolderThroughItsShortNameIsRefused)
{
    if (GetACP() == CP_UTF8)
        GTEST_SKIP() << "under a UTF-8 code page every name has an ANSI form";
    const std::string tempName = u8"Временная 📁";
    struct Row {
        int row;
        std::string pattern;    // {T}: the row's tree, {S}: the temp folder's short name
        bool walksTheTree;      // plain.txt beside the temp folder goes
    } rows[] = {
        {1, "{T}", true},
        {2, "{T}\\*.*", true},
        {3, "{T}\\{S}", false},
        {4, "{T}\\{S}\\*.*", false},
    };
    for (const Row& r : rows) {
        std::string tree = Path("t" + std::to_string(r.row));
        LayUtf8(tree, {"plain.txt", tempName + "\\marker.txt"});
        ASSERT_TRUE(WriteText(Path("control" + std::to_string(r.row) + ".txt"), "x"));
        ExpectSubstituted(tree, tempName);
        std::string shortTemp = ReachingPath(tree, tempName);
        std::string pattern = Replaced(Replaced(r.pattern, "{T}", tree), "{S}", ShortNameOf(Join(tree, tempName)));
        Install({"U0," + pattern + ",1", "P0," + Path("control" + std::to_string(r.row) + ".txt") + ",0"});
        RunSilently(shortTemp);
        EXPECT_FALSE(Exists(Path("control" + std::to_string(r.row) + ".txt"))) << "row " << r.row << ": the main phase did not run";
        EXPECT_TRUE(ExistsUtf8(Join(tree, tempName + "\\marker.txt"))) << "row " << r.row << " U " << pattern;
        EXPECT_EQ(!r.walksTheTree, Exists(Join(tree, "plain.txt"))) << "row " << r.row << " U " << pattern;
    }
}

// A folder whose name ends in a dot: the system drops the dot from a path, so the path names the
// folder beside it. Here that is the run's temp folder, a well-known one: "work." is judged by the
// folder its path names, neither entered nor removed, and the temp folder keeps its files; the rest
// of the tree goes.
TEST_F(Removal, FolderNamedWithATrailingDotIsJudgedByThePathItGives)
{
    std::string tree = Path("tree"), work = Join(tree, "work");
    for (const std::string& f : {Join(work, "marker.txt"), Join(tree, "plain.txt")})
        ASSERT_TRUE(WriteText(f, "x")) << f;
    ASSERT_TRUE(MakeUtf8("\\\\?\\" + Join(tree, "work.\\inside.txt")));
    std::vector<std::string> before = ListTree(tree);
    ASSERT_TRUE(std::find(before.begin(), before.end(), "work.\\") != before.end()) << Joined(before);
    Install({"U0," + tree + ",1"});
    RunSilently(work);
    EXPECT_EQ(Joined(Without(before, {"plain.txt"})), Joined(ListTree(tree)));
}
