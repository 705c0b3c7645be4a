// P and U records in-process: name splitting, the pattern forms, the modes, questions, refusals.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <memory>
#include <string>
#include <vector>
#include "boxes.h"
#include "removal_support.h"
#include "startup/startup.h"

using namespace removal;

namespace {

// Replaces every "{A}" with the app folder.
std::string At(const std::string& text, const std::string& app)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text.compare(i, 3, "{A}") == 0) {
            out += app;
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end(), [](const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) < 0; });
    return v;
}

} // namespace

TEST(SplitExtension, SplitsAtTheLastDotAndRefusesWhatDoesNotFit)
{
    struct Row {
        const char* name;
        int baseSize, extensionSize;
        int dot;
        const char* base;
        const char* extension;
    } rows[] = {
        {"a.txt", 8, 8, 1, "a", "txt"},
        {"c.old.txt", 16, 16, 5, "c.old", "txt"},
        {"noext", 8, 8, -1, "noext", ""},
        {".hidden", 8, 8, 0, "", "hidden"},
        {"trailing.", 16, 8, 8, "trailing", ""},
        {"", 8, 8, -1, "", ""},
        {"*.*", 8, 8, 1, "*", "*"},
        {"abcdefg.x", 8, 8, 7, "abcdefg", "x"},         // base fits exactly
        {"abcdefgh.x", 8, 8, SPLIT_REFUSED, "", ""},    // base one too long
        {"abcdefghijklmnopqrstuvwxyz.x", 8, 8, SPLIT_REFUSED, "", ""}, // base far too long
        {"x.abcdefg", 8, 8, 1, "x", "abcdefg"},         // extension fits exactly
        {"x.abcdefgh", 8, 8, SPLIT_REFUSED, "", ""},    // extension one too long
        {"x.abcdefghijklmnopqrstuvwxyz", 8, 8, SPLIT_REFUSED, "", ""},
        {"abcdefgh", 8, 8, SPLIT_REFUSED, "", ""},      // no dot, whole name one too long
    };
    int row = 0;
    for (const Row& r : rows) {
        row++;
        char base[64], extension[64];
        memset(base, 'B', sizeof base);
        memset(extension, 'E', sizeof extension);
        int dot = SplitExtension(r.name, base, r.baseSize, extension, r.extensionSize);
        EXPECT_EQ(r.dot, dot) << "row " << row << " name " << r.name;
        EXPECT_STREQ(r.base, base) << "row " << row << " name " << r.name;
        EXPECT_STREQ(r.extension, extension) << "row " << row << " name " << r.name;
        EXPECT_EQ('B', base[r.baseSize]) << "row " << row << ": canary after the base buffer";
        EXPECT_EQ('E', extension[r.extensionSize]) << "row " << row << ": canary after the extension buffer";
    }
}

// The pattern forms, each run as a P record with mode 0 (delete) and as a U record with mode 1
// (delete, descend) over the same layout; keep.txt beside the app folder must survive all of them.
TEST(RemoveFiles, PatternFormsTakeTheirEntries)
{
    const std::vector<std::string> layout = {
        "app\\readme.txt", "app\\a.txt", "app\\B.TXT", "app\\c.old.txt", "app\\txt", "app\\d.txt.bak",
        "app\\x.tar.gz", "app\\data.bin", "app\\DATA.txt", "app\\data", "app\\data.old.bin", "app\\abc.txt",
        "app\\a1c.txt", "app\\ab.txt", "app\\notes.txt\\inner.dat", "keep.txt", "cwd\\readme.txt", "cwd\\a.txt"};
    const std::vector<std::string> allTxt = {"app\\readme.txt", "app\\a.txt", "app\\B.TXT", "app\\c.old.txt",
                                             "app\\DATA.txt", "app\\abc.txt", "app\\a1c.txt", "app\\ab.txt"};
    const std::vector<std::string> allFiles = Without(layout, {"keep.txt", "app\\notes.txt\\inner.dat", "cwd\\readme.txt", "cwd\\a.txt"});
    const std::vector<std::string> notesFolder = {"app\\notes.txt\\", "app\\notes.txt\\inner.dat"};
    std::vector<std::string> allTxtAndNotes = allTxt;
    allTxtAndNotes.insert(allTxtAndNotes.end(), notesFolder.begin(), notesFolder.end());
    std::vector<std::string> everything = allFiles;
    everything.insert(everything.end(), notesFolder.begin(), notesFolder.end());
    std::vector<std::string> everythingAndApp = everything;
    everythingAndApp.push_back("app\\");

    struct Row {
        const char* pattern;
        std::vector<std::string> goneByP; // mode 0
        std::vector<std::string> goneByU; // mode 1
    } rows[] = {
        {"{A}\\readme.txt", {"app\\readme.txt"}, {"app\\readme.txt"}},
        {"{A}\\*.*", allFiles, everything},
        {"{A}\\*", allFiles, everything},
        {"{A}\\*.txt", allTxt, allTxtAndNotes},
        {"{A}\\*old.txt", allTxt, allTxtAndNotes},
        {"{A}\\*.TXT", allTxt, allTxtAndNotes},
        {"{A}\\*.tar.gz", {"app\\x.tar.gz"}, {"app\\x.tar.gz"}},
        {"{A}\\data.*", {"app\\data.bin", "app\\DATA.txt", "app\\data"}, {"app\\data.bin", "app\\DATA.txt", "app\\data"}},
        {"{A}\\data.*bak", {"app\\data.bin", "app\\DATA.txt", "app\\data"}, {"app\\data.bin", "app\\DATA.txt", "app\\data"}},
        {"{A}\\*.", {"app\\txt", "app\\data"}, {"app\\txt", "app\\data"}},
        {"{A}\\a?c.txt", {"app\\abc.txt", "app\\a1c.txt"}, {"app\\abc.txt", "app\\a1c.txt"}},
        {"{A}\\ab*.txt", {"app\\ab.txt", "app\\abc.txt"}, {"app\\ab.txt", "app\\abc.txt"}},
        {"{A}\\ab*.*", {}, {}},
        {"{A}\\*.t?t", {}, {}},
        {"{A}\\", {}, {}},
        {"{A}", {}, everythingAndApp},
        {"{A}\\notes.txt", {}, notesFolder},
        {"*.txt", {}, {}},
        {"readme.txt", {}, {}},
    };
    int row = 0;
    for (const Row& r : rows) {
        row++;
        for (int u = 0; u < 2; u++) {
            std::string root = FreshFolder();
            std::string app = root + "\\app";
            Lay(root, layout);
            std::vector<std::string> before = ListTree(root);
            std::string previous(MAX_PATH, 0);
            GetCurrentDirectoryA(MAX_PATH, &previous[0]);
            SetCurrentDirectoryA((root + "\\cwd").c_str()); // a relative pattern must not find these entries
            {
                RunTables tables;
                RunRecord(std::string(u ? "U" : "P") + At(r.pattern, app) + (u ? ",1" : ",0"));
            }
            SetCurrentDirectoryA(previous.c_str());
            EXPECT_EQ(Joined(Without(before, u ? r.goneByU : r.goneByP)), Joined(ListTree(root)))
                << "row " << row << " " << (u ? "U" : "P") << " pattern " << r.pattern;
        }
    }
}

// Every mode of both record types over one small tree: what stays, what is listed, what is marked.
TEST(RemoveFiles, ModesDecideDeletionListingAndDescent)
{
    const std::vector<std::string> layout = {"app\\a.txt", "app\\sub\\b.txt", "app\\sub\\deep\\", "app\\empty\\", "keep.txt"};
    const std::vector<std::string> all = {"app\\", "app\\a.txt", "app\\empty\\", "app\\sub\\", "app\\sub\\b.txt", "app\\sub\\deep\\", "keep.txt"};
    struct Row {
        const char* record;
        std::vector<std::string> left;
        std::vector<std::string> listed;
        std::vector<std::string> marked;
    } rows[] = {
        {"P{A}\\*.*,0", Without(all, {"app\\a.txt"}), {}, {"app\\a.txt"}},
        {"P{A}\\*.*,2", all, {"app\\a.txt"}, {"app\\a.txt"}},
        {"P{A}\\*.*,3", all, {}, {"app\\a.txt"}},
        {"P{A}\\*.*,255", all, {}, {"app\\a.txt"}},
        {"P{A}\\*.*,256", Without(all, {"app\\a.txt"}), {}, {"app\\a.txt"}},
        {"P{A}\\*.*,258", all, {"app\\a.txt"}, {"app\\a.txt"}},
        {"P{A}\\*.*,-1", all, {}, {"app\\a.txt"}},
        {"P{A}\\a.txt", Without(all, {"app\\a.txt"}), {}, {"app\\a.txt"}}, // no mode field: 0
        {"P{A}\\sub,0", all, {}, {}},                                       // P passes folders over
        {"U{A},0", Without(all, {"app\\empty\\", "app\\sub\\deep\\"}), {"app\\a.txt", "app\\sub\\b.txt"}, {"app\\a.txt", "app\\sub\\b.txt"}},
        {"U{A}", Without(all, {"app\\empty\\", "app\\sub\\deep\\"}), {"app\\a.txt", "app\\sub\\b.txt"}, {"app\\a.txt", "app\\sub\\b.txt"}},
        {"U{A},1", {"keep.txt"}, {}, {"app\\a.txt", "app\\sub\\b.txt"}},
        {"U{A},257", {"keep.txt"}, {}, {"app\\a.txt", "app\\sub\\b.txt"}},
        {"U{A},2", all, {}, {}},
        {"U{A}\\*.*,2", Without(all, {"app\\empty\\"}), {}, {}},
        {"U{A},3", Without(all, {"app\\empty\\", "app\\sub\\deep\\"}), {}, {}},
        {"U{A},-1", Without(all, {"app\\empty\\", "app\\sub\\deep\\"}), {}, {}},
        {"U{A}\\*.*,1", {"app\\", "keep.txt"}, {}, {"app\\a.txt", "app\\sub\\b.txt"}},
    };
    int row = 0;
    for (const Row& r : rows) {
        row++;
        std::string root = FreshFolder();
        std::string app = root + "\\app";
        Lay(root, layout);
        RunTables tables;
        LeftoverWindow leftovers;
        RunRecord(At(r.record, app));
        std::vector<std::string> listed, marked;
        for (const std::string& l : r.listed)
            listed.push_back(root + "\\" + l);
        for (const std::string& m : r.marked)
            marked.push_back(root + "\\" + m);
        EXPECT_EQ(Joined(r.left), Joined(ListTree(root))) << "row " << row << " " << r.record;
        EXPECT_EQ(Joined(Sorted(listed)), Joined(Sorted(leftovers.Items()))) << "row " << row << " " << r.record;
        EXPECT_EQ(Joined(Sorted(marked)), Joined(Sorted(RunTables::Processed()))) << "row " << row << " " << r.record;
    }
}

TEST(RemoveFiles, ReadOnlyFilesAreDeletedAndFilesInUseListed)
{
    std::string root = FreshFolder();
    Lay(root, {"app\\ro.txt", "app\\sub\\ro2.txt", "app\\held.txt", "app\\held.TTF"});
    SetFileAttributesA((root + "\\app\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((root + "\\app\\sub\\ro2.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    HANDLE held = CreateFileA((root + "\\app\\held.txt").c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
    HANDLE font = CreateFileA((root + "\\app\\held.TTF").c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ASSERT_NE(INVALID_HANDLE_VALUE, font);
    {
        RunTables tables;
        LeftoverWindow leftovers;
        RunRecord("P" + root + "\\app\\ro.txt,0");
        RunRecord("U" + root + "\\app,1");
        EXPECT_EQ(Joined({root + "\\app\\held.TTF", root + "\\app\\held.txt"}), Joined(Sorted(leftovers.Items())));
    }
    CloseHandle(held);
    CloseHandle(font);
    EXPECT_EQ(Joined({"app\\", "app\\held.TTF", "app\\held.txt"}), Joined(ListTree(root)));
}

// A file is handled once per run: a second record, also in other letter case, leaves it alone.
TEST(RemoveFiles, AFileIsHandledOncePerRun)
{
    std::string root = FreshFolder();
    Lay(root, {"app\\a.txt", "app\\b.txt"});
    RunTables tables;
    LeftoverWindow leftovers;
    RunRecord("P" + root + "\\app\\a.txt,2");
    RunRecord("P" + root + "\\APP\\A.TXT,0");
    RunRecord("U" + root + "\\app,1");
    EXPECT_EQ(Joined({"app\\", "app\\a.txt"}), Joined(ListTree(root)));
    EXPECT_EQ(Joined({root + "\\app\\a.txt"}), Joined(leftovers.Items()));
}

// Text 51 asks with the path; Yes deletes, No leaves the file unlisted and handled. Silent runs ask too.
TEST(RemoveFiles, AskModeQuestionYesAndNo)
{
    std::string root = FreshFolder();
    Lay(root, {"app\\yes.txt", "app\\no.txt"});
    CopyText(g_caption, TEXT_FIELD, "Removal ask test");
    g_silent = 1;
    {
        RunTables tables({{51, "Remove %s now?"}});
        LeftoverWindow leftovers;
        BoxAnswerer answerer("Removal ask test", {IDYES, IDNO});
        RunRecord("P" + root + "\\app\\yes.txt,1");
        RunRecord("P" + root + "\\app\\no.txt,1");
        RunRecord("P" + root + "\\app\\no.txt,0");
        RunRecord("U" + root + "\\app,1");
        answerer.Stop();
        std::vector<std::string> texts = answerer.Texts();
        EXPECT_EQ(Joined({"Remove " + root + "\\app\\yes.txt now?", "Remove " + root + "\\app\\no.txt now?"}), Joined(texts));
        EXPECT_EQ(Joined({}), Joined(leftovers.Items()));
    }
    g_silent = 0;
    g_caption[0] = 0;
    EXPECT_EQ(Joined({"app\\", "app\\no.txt"}), Joined(ListTree(root)));
}

// Fields longer than their buffers: a last component of up to 255 characters, a mode field of up
// to 511; beyond either the record touches nothing (an unread mode must not become mode 0).
TEST(RemoveFiles, LongPatternsAndFieldsAreRefusedWhole)
{
    struct Row {
        std::string name;  // last component of the pattern
        int modeLength;    // the mode field, zeros of this length
        bool deletes;
    } rows[] = {
        {"*" + std::string(252, 'x') + ".*", 1, true},   // 255: fits exactly
        {"*" + std::string(253, 'x') + ".*", 1, false},  // 256: one too long
        {"*" + std::string(400, 'x') + ".*", 1, false},  // far too long
        {"a.txt", 511, true},
        {"a.txt", 512, false},
        {"a.txt", 900, false},
    };
    int row = 0;
    for (const Row& r : rows) {
        row++;
        for (const char* letter : {"P", "U"}) {
            std::string root = FreshFolder();
            Lay(root, {"app\\a.txt"});
            {
                RunTables tables;
                // U ends its field with a 1, so that it deletes as well
                std::string mode = *letter == 'U' ? std::string(r.modeLength - 1, '0') + "1" : std::string(r.modeLength, '0');
                RunRecord(letter + root + "\\app\\" + r.name + "," + mode);
            }
            EXPECT_EQ(Joined(r.deletes ? std::vector<std::string>{"app\\"} : std::vector<std::string>{"app\\", "app\\a.txt"}),
                      Joined(ListTree(root)))
                << "row " << row << " " << letter << ": name of " << r.name.size() << " characters, mode field of " << r.modeLength;
        }
    }
}

// With the first blocks of ProcessedFiles and StringPool full, the run still removes, asks about
// and lists each file, and each only once.
TEST(RemoveFiles, FullFirstBlocksStillHandleEachFileOnce)
{
    std::string root = FreshFolder();
    Lay(root, {"app\\a.txt", "app\\b.txt"});
    RunTables tables;
    LeftoverWindow leftovers;
    char name[32];
    for (int i = 0; ProcessedFiles.count < SET_CAPACITY; i++) {
        snprintf(name, sizeof name, "c:\\seen\\%05d", i);
        ASSERT_EQ(1, MarkProcessed(name));
    }
    std::string fill(StringPool.end - StringPool.next - 1, 'f');
    ASSERT_EQ(1, MarkProcessed(fill.c_str()));
    ASSERT_EQ(StringPool.end, StringPool.next);
    std::string upper = root;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return (char)toupper((unsigned char)c); });
    RunRecord("P" + root + "\\app\\a.txt,0");
    RunRecord("P" + upper + "\\APP\\A.TXT,2");
    RunRecord("P" + root + "\\app\\b.txt,2");
    RunRecord("P" + upper + "\\APP\\B.TXT,2");
    EXPECT_EQ(Joined({"app\\", "app\\b.txt"}), Joined(ListTree(root)));
    EXPECT_EQ(Joined({root + "\\app\\b.txt"}), Joined(leftovers.Items()));
    EXPECT_EQ(SET_CAPACITY + 3, ProcessedFiles.count);
}

namespace {

// VirtualAlloc as this executable imports it (the program's blocks come through this slot),
// pointed at another routine for as long as the object lives.
class ReplacedImport {
public:
    ReplacedImport(const char* name, void* replacement)
    {
        char* base = (char*)GetModuleHandleA(NULL);
        IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
        IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + directory.VirtualAddress); d->Name; d++) {
            IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
            IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
            for (; names->u1.AddressOfData; names++, slots++) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                    continue;
                if (strcmp((char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name, name) != 0)
                    continue;
                slot_ = (void**)&slots->u1.Function;
                original_ = *slot_;
                Write(replacement);
                return;
            }
        }
    }
    ~ReplacedImport()
    {
        if (slot_)
            Write(original_);
    }
    bool ok() const { return slot_ != nullptr; }

private:
    void Write(void* value)
    {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old);
        *slot_ = value;
        VirtualProtect(slot_, sizeof *slot_, old, &old);
    }
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

LPVOID WINAPI NoBlock(LPVOID, SIZE_T, DWORD, DWORD)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

} // namespace

// When ProcessedFiles or StringPool needs a further block and none can be had, the run ends with
// the fatal box of every failed allocation: the file that could not be remembered is neither
// deleted nor asked about nor listed, and nothing runs after it.
TEST(RemoveFiles, FurtherBlockThatCannotBeHadEndsTheRun)
{
    struct Row {
        int row;
        const char* what;
        bool fillSet;   // the set's first block is full, the pool has room
        bool fillPool;  // the pool's first block is full, the set has room
    } rows[] = {
        {1, "pool block", false, true},
        {2, "set block", true, false},
    };
    for (const Row& r : rows) {
        std::string caption = "growth failure " + std::to_string(r.row);
        std::string root = FreshFolder();
        std::string path = root + "\\kept.txt";
        Lay(root, {"kept.txt"});
        std::unique_ptr<BoxAnswerer> answerer;
        if (!InDeathTestChild())
            answerer.reset(new BoxAnswerer(caption.c_str(), {IDOK}));
        EXPECT_EXIT(
            {
                RunTables tables;
                LeftoverWindow leftovers;
                CopyText(g_caption, TEXT_FIELD, caption.c_str());
                char name[32];
                for (int i = 0; r.fillSet && ProcessedFiles.count < SET_CAPACITY; i++) {
                    snprintf(name, sizeof name, "c:\\seen\\%05d", i);
                    MarkProcessed(name);
                }
                if (r.fillPool)
                    MarkProcessed(std::string(StringPool.end - StringPool.next - 1, 'f').c_str());
                ReplacedImport failing("VirtualAlloc", (void*)NoBlock);
                if (!failing.ok())
                    ExitProcess(5); // no slot to replace: the test cannot run
                RemoveOneFile(path.c_str(), MODE_DELETE);
                ExitProcess(3); // went on: wrong
            },
            ::testing::ExitedWithCode(EXIT_FATAL), "")
            << "row " << r.row << " (" << r.what << ")";
        if (!answerer)
            continue; // a death test's child passes the rows it does not run
        answerer->Stop();
        EXPECT_EQ(Joined({"Not enough memory"}), Joined(answerer->Texts())) << "row " << r.row << " (" << r.what << ")";
        EXPECT_EQ(Joined({"kept.txt"}), Joined(ListTree(root))) << "row " << r.row << " (" << r.what << "): the file stays";
    }
}

namespace {

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = {0};
    if (SHGetFolderPathA(0, csidl, 0, 0, path) != S_OK)
        return "";
    return path;
}

std::string TempFolder()
{
    char path[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH, path);
    std::string t = path;
    while (!t.empty() && t.back() == '\\')
        t.pop_back();
    return t;
}

} // namespace

// Roots and the system's well-known folders are never taken whole, in any mode and any spelling;
// list modes are used so that a failure shows in the leftover list instead of harming the system.
TEST(RemoveFiles, RootsAndWellKnownFoldersAreNeverTakenWhole)
{
    char windows[MAX_PATH], system[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    std::string w = windows, s = system, t = TempFolder();
    std::vector<std::string> folders = {w, s, t, ShellFolder(CSIDL_PROGRAM_FILES), ShellFolder(CSIDL_PROGRAM_FILESX86),
                                        ShellFolder(CSIDL_PROFILE), ShellFolder(CSIDL_DESKTOPDIRECTORY), ShellFolder(CSIDL_PERSONAL)};
    std::vector<std::string> patterns;
    for (const std::string& f : folders) {
        ASSERT_FALSE(f.empty());
        patterns.push_back("P" + f + "\\*.*,2");
        patterns.push_back("P" + f + "\\*,2");
        patterns.push_back("P" + f + "\\**.**,2");
        patterns.push_back("U" + f + "\\*.*,0");
        patterns.push_back("U" + f + ",0");
        patterns.push_back("P" + f + "\\?*,2");    // the platform's matching takes every entry too
        patterns.push_back("U" + f + "\\*?*.?,0");
    }
    // other spellings of the same folders
    char shortTemp[MAX_PATH] = {0};
    GetShortPathNameA(t.c_str(), shortTemp, MAX_PATH);
    std::string upper = w;
    for (char& c : upper)
        c = (char)toupper((unsigned char)c);
    patterns.insert(patterns.end(), {
        "P" + s + "\\..\\*.*,2",
        "P" + upper + "\\*.*,2",
        "P" + w + "\\\\*.*,2",
        "P" + std::string(shortTemp) + "\\*.*,2",
        "U" + s + "\\..,0",
        "U" + w.substr(0, 2) + "\\*.*,0",     // the drive root
        "P" + w.substr(0, 2) + "\\*.*,2",
        "U" + w.substr(0, 2) + "\\,0",
        "U" + w.substr(0, 2) + ",0",
        "P\\\\?\\" + w.substr(0, 2) + "\\*.*,2",
        "P" + w.substr(0, 2) + "\\?*,2",
        "U" + w.substr(0, 2) + "\\?*,0",
    });
    // an empty folder in the temp folder shows whether a U record descended there
    std::string probe = t + "\\" + TestName() + "_probe";
    CreateDirectoryA(probe.c_str(), 0);
    int row = 0;
    for (const std::string& p : patterns) {
        row++;
        RunTables tables;
        LeftoverWindow leftovers;
        RunRecord(p);
        EXPECT_EQ(0u, leftovers.Items().size()) << "row " << row << " " << p << " listed " << Joined(leftovers.Items());
        EXPECT_TRUE(GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES) << "row " << row << " " << p;
    }
    RemoveDirectoryA(probe.c_str());
}

// Patterns that take only some entries of a well-known folder keep working there.
TEST(RemoveFiles, PartialPatternsWorkInWellKnownFolders)
{
    std::string t = TempFolder();
    std::string n = TestName();
    std::vector<std::string> files = {t + "\\" + n + "_1.rmvprobe", t + "\\" + n + "_2.rmvprobe", t + "\\" + n + "_app1.dat",
                                      t + "\\" + n + "_keep.txt"};
    for (const std::string& f : files) {
        HANDLE h = CreateFileA(f.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << f;
        CloseHandle(h);
    }
    {
        RunTables tables;
        RunRecord("P" + t + "\\*.rmvprobe,0");
        RunRecord("P" + t + "\\" + n + "_app*.dat,0");
    }
    std::vector<bool> exists;
    for (const std::string& f : files)
        exists.push_back(GetFileAttributesA(f.c_str()) != INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ((std::vector<bool>{false, false, false, true}), exists);
    DeleteFileA(files[3].c_str());
}

// A U record takes a link to a folder elsewhere, not what the link points to.
TEST(RemoveFiles, LinksToFoldersAreRemovedWithoutDescent)
{
    std::string root = FreshFolder();
    Lay(root, {"app\\a.txt", "elsewhere\\kept.txt"});
    std::string link = root + "\\app\\link";
    typedef BOOLEAN(WINAPI * CreateLink)(const char*, const char*, DWORD);
    CreateLink createLink = (CreateLink)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA");
    if (!createLink || !createLink(link.c_str(), (root + "\\elsewhere").c_str(), 1)) // SYMBOLIC_LINK_FLAG_DIRECTORY
        GTEST_SKIP() << "no folder links here (error " << GetLastError() << ")";
    ASSERT_NE(0u, GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    RunTables tables;
    RunRecord("U" + root + "\\app,1");
    EXPECT_EQ(Joined({"elsewhere\\", "elsewhere\\kept.txt"}), Joined(ListTree(root)));
}

// The path that reaches a found entry: its name, its short name where the name holds the
// substitution character, no name where neither serves; and never more than the buffer holds.
TEST(FoundEntryPath, NameShortNameOrNone)
{
    enum { SIZE = 32 }; // the path buffer in every row
    const std::string fits(SIZE - 1 - 5, 'n'), oneTooLong(SIZE - 5, 'n'), farTooLong(200, 'n'); // after "C:\f\"
    struct Row {
        int row;
        const char* what;
        const char* folder;
        std::string name;       // cFileName
        const char* shortName;  // cAlternateFileName
        int reach;
        std::string path;
    } rows[] = {
        {1, "plain name", "C:\\f", "plain.txt", "", ENTRY_NAMED, "C:\\f\\plain.txt"},
        {2, "long name with a short one", "C:\\f", "Program Files", "PROGRA~1", ENTRY_NAMED, "C:\\f\\Program Files"},
        {3, "substituted name", "C:\\f", "??????.txt", "____~D1T.TXT", ENTRY_SHORT, "C:\\f\\____~D1T.TXT"},
        {4, "one substituted character", "C:\\f", "caf?.txt", "CAF_~1.TXT", ENTRY_SHORT, "C:\\f\\CAF_~1.TXT"},
        {5, "substituted folder", "C:\\f\\", "?????", "____~KE1", ENTRY_SHORT, "C:\\f\\____~KE1"},
        {6, "no short name", "C:\\f", "????.txt", "", ENTRY_UNREACHED, "C:\\f\\????.txt"},
        {7, "short name substituted too", "C:\\f", "??.txt", "?~1.TXT", ENTRY_UNREACHED, "C:\\f\\??.txt"},
        {8, "fits exactly", "C:\\f", fits, "", ENTRY_NAMED, "C:\\f\\" + fits},
        {9, "one too long", "C:\\f", oneTooLong, "", ENTRY_REFUSED, ""},
        {10, "far too long", "C:\\f", farTooLong, "", ENTRY_REFUSED, ""},
        {11, "short name fits where the name would not", "C:\\f", std::string(100, '?'), "ABCDEF~1.TXT", ENTRY_SHORT,
         "C:\\f\\ABCDEF~1.TXT"},
        {12, "unreached name one too long", "C:\\f", std::string(SIZE - 5, '?'), "", ENTRY_REFUSED, ""},
    };
    for (const Row& r : rows) {
        WIN32_FIND_DATAA found;
        memset(&found, 0, sizeof found);
        ASSERT_LT(r.name.size(), sizeof found.cFileName) << "row " << r.row;
        lstrcpyA(found.cFileName, r.name.c_str());
        lstrcpyA(found.cAlternateFileName, r.shortName);
        char path[SIZE + 8];
        memset(path, 'C', sizeof path);
        int reach = FoundEntryPath(path, SIZE, r.folder, &found);
        EXPECT_EQ(r.reach, reach) << "row " << r.row << " " << r.what << ": name " << r.name << ", short " << r.shortName;
        EXPECT_EQ(r.path, std::string(path)) << "row " << r.row << " " << r.what;
        EXPECT_EQ('C', path[SIZE]) << "row " << r.row << " " << r.what << ": canary after the buffer";
    }
}

// Every mode of both record types over a tree whose names the code page lacks characters of:
// files are reached, listed and remembered by their short names, folders entered and removed by
// them. (Wine gives every name that is no valid 8.3 name a short one, so the case of none is
// covered by FoundEntryPath's table alone.)
TEST(RemoveFiles, NamesOutsideTheCodePageGoByShortNames)
{
    if (GetACP() == CP_UTF8)
        GTEST_SKIP() << "under a UTF-8 code page every name has an ANSI form";
    const std::string app = "app\\";
    const std::string report = app + fixtures::FOREIGN_FILE, smile = app + fixtures::FOREIGN_BARE;
    const std::string folder = app + fixtures::FOREIGN_FOLDER + "\\", empty = app + fixtures::FOREIGN_EMPTY + "\\";
    const std::string inFolder = folder + "a.txt", inner = folder + fixtures::FOREIGN_INNER + "\\", inInner = inner + "b.dat";
    const std::vector<std::string> all = {"app\\", "app\\plain.txt", report, smile, folder, inFolder, inner, inInner, empty,
                                          "keep.txt"};
    const std::vector<std::string> files = {"app\\plain.txt", report, smile, inFolder, inInner};
    const std::vector<std::string> top = {"app\\plain.txt", report, smile};
    struct Row {
        int row;
        const char* record;
        std::vector<std::string> left;    // UTF-8, below the fixture
        std::vector<std::string> listed;  // below the fixture, as the program reaches them
        std::vector<std::string> marked;
    } rows[] = {
        {1, "P{A}\\*.*,0", Without(all, top), {}, top},
        {2, "P{A}\\*.*,2", all, top, top},
        {3, "P{A}\\*.*,3", all, {}, top},
        {4, "P{A}\\*.txt,0", Without(all, {"app\\plain.txt", report}), {}, {"app\\plain.txt", report}},
        {5, "U{A},1", {"keep.txt"}, {}, files},
        {6, "U{A}\\*.*,1", {"app\\", "keep.txt"}, {}, files},
        {7, "U{A},0", Without(all, {empty}), files, files},
        {8, "U{A},2", all, {}, {}},
        {9, "U{A}\\*.*,2", Without(all, {empty}), {}, {}},
        {10, "U{A},3", Without(all, {empty}), {}, {}},
    };
    for (const Row& r : rows) {
        std::string root = FreshFolder();
        for (const std::string& entry : all)
            ASSERT_TRUE(fixtures::MakeUtf8(root + "\\" + entry)) << "row " << r.row << " " << entry;
        std::string shortReport = fixtures::ShortNameOf(root + "\\" + report);
        ASSERT_FALSE(shortReport.empty()) << "row " << r.row << ": no short name for " << report;
        ASSERT_NE(std::string::npos, fixtures::AnsiNameOf(root + "\\app", shortReport).find('?'))
            << "row " << r.row << ": code page " << GetACP() << " shows " << report << " without '?'";
        std::vector<std::string> listed, marked;
        for (const std::string& l : r.listed)
            listed.push_back(fixtures::ReachingPath(root, l));
        for (const std::string& m : r.marked)
            marked.push_back(fixtures::ReachingPath(root, m));
        RunTables tables;
        LeftoverWindow leftovers;
        RunRecord(At(r.record, root + "\\app"));
        EXPECT_EQ(Joined(Without(r.left, {})), Joined(fixtures::ListTreeUtf8(root))) << "row " << r.row << " " << r.record;
        EXPECT_EQ(Joined(Sorted(listed)), Joined(Sorted(leftovers.Items()))) << "row " << r.row << " " << r.record;
        EXPECT_EQ(Joined(Sorted(marked)), Joined(Sorted(RunTables::Processed()))) << "row " << r.row << " " << r.record;
    }
}
