// The log reader: line rules, keys, duplicates, texts, the in-place rewrite and bad logs.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <utility>
#include <algorithm>
#include <cstring>
#include <cstdio>
#include <memory>
#include "boxes.h"
#include "common/common.h"
#include "log/log.h"
#include "startup/startup.h"
#include <winioctl.h>

namespace {

typedef std::vector<std::pair<int, std::string>> Pairs;

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), written);
}

// The state of a fresh process with the sets set up as stage control does before the reading.
void FreshLogState()
{
    ReleaseRunTables();
    ResetLogState();
    AllocateRunTables();
}

Pairs Texts()
{
    Pairs texts;
    for (int i = 0; i < StringTable.count; i++)
        texts.push_back({StringTable.ids[i], StringTable.texts[i]});
    return texts;
}

Pairs Actions()
{
    Pairs actions;
    for (int i = 0; i < ActionList.count; i++)
        actions.push_back({ActionList.entries[i].key, ActionList.entries[i].record});
    return actions;
}

std::string Show(const Pairs& pairs)
{
    std::string out;
    for (const auto& p : pairs)
        out += "  " + std::to_string(p.first) + " [" + p.second + "]\n";
    return out.empty() ? "  (none)\n" : out;
}

#define BYTES(s) std::string(s, sizeof(s) - 1)

class LogReader : public ::testing::Test {
protected:
    std::string folder;
    std::string logPath;

    void SetUp() override
    {
        folder = std::string("C:\\utest\\log_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA("C:\\utest", NULL);
        RemoveTree(folder);
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL)) << folder;
        logPath = folder + "\\uninstal.ini";
        FreshLogState();
    }

    void TearDown() override
    {
        ReleaseRunTables();
        ResetLogState();
        g_logPath[0] = 0;
        RemoveTree(folder);
    }

    // Writes the log and reads it into fresh tables.
    void Read(const std::string& bytes)
    {
        FreshLogState();
        WriteBytes(logPath, bytes);
        ASSERT_TRUE(CopyText(g_logPath, PATH_BUFFER, logPath.c_str()));
        ReadUninstallLog();
    }
};

std::string Lines(const std::vector<std::string>& lines, const char* end = "\r\n")
{
    std::string out;
    for (const auto& line : lines)
        out += line + end;
    return out;
}

} // namespace

TEST_F(LogReader, WorkedExampleSlotsEntriesAndCaptionTexts)
{
    std::vector<std::string> lines = {
        "[Uninstall]",
        "A10,Example Viewer",
        "A48,Uninstall",
        "A43,Remove %s and all of its components?",
        "P0,c:\\Program Files\\Example\\viewer.exe,0",
        "P0,c:\\Program Files\\Example\\readme.txt,0",
        "B0,2,Example Viewer,Please close Example Viewer first.,3",
        "",
        "P0,C:\\Program Files\\Example\\VIEWER.EXE,0",
        "J0,1,Software\\Example\\Viewer,",
        "P40000,c:\\Program Files\\Example\\help.txt,0",
        "P0,c:\\Program Files\\Example\\license.txt,0",
        "U0,c:\\Program Files\\Example,0",
        "A10,Example Viewer 2",
    };
    Read(Lines(lines) + "P0,c:\\Program Files\\Example\\last.txt,0");

    Pairs texts = {
        {10, "Example Viewer 2"},
        {48, "Uninstall"},
        {43, "Remove %s and all of its components?"},
        {0, "C:\\Program Files\\Example\\VIEWER.EXE,0"},
    };
    Pairs actions = {
        {3999, "B2,Example Viewer,Please close Example Viewer first.,3"},
        {19999, "J1,Software\\Example\\Viewer,"},
        {30001, "Pc:\\Program Files\\Example\\viewer.exe,0"},
        {30002, "Pc:\\Program Files\\Example\\readme.txt,0"},
        {30004, "Pc:\\Program Files\\Example\\license.txt,0"},
        {40000, "Pc:\\Program Files\\Example\\help.txt,0"},
        {64999, "Uc:\\Program Files\\Example,0"},
    };
    Pairs gotTexts = Texts();
    Pairs gotActions = Actions();
    ASSERT_EQ(texts.size(), gotTexts.size()) << "texts:\n" << Show(gotTexts);
    for (size_t i = 0; i < texts.size(); i++)
        EXPECT_EQ(texts[i], gotTexts[i]) << "slot " << i;
    ASSERT_EQ(actions.size(), gotActions.size()) << "actions:\n" << Show(gotActions);
    for (size_t i = 0; i < actions.size(); i++)
        EXPECT_EQ(actions[i], gotActions[i]) << "entry " << i;

    // Stage control copies text 10 before it asks for text 48: the result buffer is shared.
    char product[TEXT_FIELD];
    ASSERT_TRUE(CopyText(product, sizeof product, GetLogString(10)));
    const char* first = GetLogString(48);
    char caption[TEXT_FIELD];
    wsprintfA(caption, "%s %s", first, product);
    EXPECT_STREQ("Uninstall Example Viewer 2", caption);
    EXPECT_STREQ("Remove %s and all of its components?", GetLogString(43));
    EXPECT_STREQ("", GetLogString(13));

    // Every record and text points into the one log block, which ends with zeros.
    for (int i = 0; i < ActionList.count; i++)
        EXPECT_TRUE(ActionList.entries[i].record > g_logBuffer) << "entry " << i;
    for (int i = 0; i < StringTable.count; i++)
        EXPECT_TRUE(StringTable.texts[i] > g_logBuffer) << "slot " << i;
}

TEST_F(LogReader, LinesAreRewrittenInPlace)
{
    // The comma becomes the letter, each line-end byte a zero; a line without a comma keeps
    // its record inside its own line, also when one LF alone separates it from the next.
    std::string log = "P0,c:\\x.exe,0\r\nP0\nA10,t\n";
    Read(log);
    std::string expected = BYTES("P0Pc:\\x.exe,0\0\0PP\0A10At\0");
    ASSERT_EQ(log.size(), expected.size());
    EXPECT_EQ(expected, std::string(g_logBuffer, log.size()));
    EXPECT_EQ(0, g_logBuffer[log.size()]);
    ASSERT_EQ(2, ActionList.count);
    EXPECT_EQ(g_logBuffer + 2, ActionList.entries[0].record);
    EXPECT_EQ(g_logBuffer + 16, ActionList.entries[1].record);
    EXPECT_STREQ("P", ActionList.entries[1].record);
    EXPECT_EQ(g_logBuffer + 22, StringTable.texts[0]);
}

TEST_F(LogReader, LineRulesKeysAndDuplicates)
{
    struct Row {
        const char* what;
        std::string log;
        Pairs texts;
        Pairs actions;
        int recordSetCount;
    } rows[] = {
        {"empty log", "", {}, {}, 0},
        {"last line without a line end is lost", "A10,x\r\nA11,y", {{10, "x"}}, {}, 0},
        {"the same log with a final CR LF", "A10,x\r\nA11,y\r\n", {{10, "x"}, {11, "y"}}, {}, 0},
        {"LF only", "A10,x\nP0,y\n", {{10, "x"}}, {{30001, "Py"}}, 1},
        {"CR only", "A10,x\rP0,y\r", {{10, "x"}}, {{30001, "Py"}}, 1},
        {"blank lines and mixed runs", "\r\n\n\rA10,x\r\r\n\n\r\nP0,y\n\r\n", {{10, "x"}}, {{30001, "Py"}}, 1},
        {"any letter with a key up to 1000 is a text", "P10,x\n", {{10, "x"}}, {}, 1},
        {"lower-case letter is an action", "p5000,x\n", {}, {{5000, "px"}}, 1},
        {"blank first, minus, digit first, one character, header",
         " P0,x\nP-5,x\n10,x\nP\n[P0]\n\xEF\xBB\xBF" "A1,x\n", {}, {}, 0},
        {"A5 alone is an empty text", "A5\n", {{5, ""}}, {}, 0},
        {"P0 alone is an action of the letter alone", "P0\n", {}, {{30001, "P"}}, 1},
        {"digits after the key number are ignored", "P12abc,x\nP0abc,y\n", {{12, "x"}}, {{30002, "Py"}}, 2},
        {"key 65535 is nothing, 65534 an action", "P65535,x\nP65534,y\n", {}, {{65534, "Py"}}, 2},
        {"a repeat becomes text 0 and draws no key",
         "P0,x\nP0,x\nP0,z\n", {{0, "x"}}, {{30001, "Px"}, {30002, "Pz"}}, 2},
        {"repeats ignore case, letter included",
         "P0,c:\\x\np0,C:\\X\nP1,c:\\y\nP2,C:\\Y\nP0,w\n", {{0, "C:\\X"}, {1, "c:\\y"}, {2, "C:\\Y"}},
         {{30001, "Pc:\\x"}, {30003, "Pw"}}, 3},
        {"a repeat with an explicit key keeps it", "P0,x\nP5000,x\n", {}, {{5000, "Px"}, {30001, "Px"}}, 1},
        {"a repeated id keeps its slot and its last text",
         "A10,a\nA11,b\nA10,c\n", {{10, "c"}, {11, "b"}}, {}, 0},
        {"texts keep commas and quotes", "A43,Remove \"%s\", really?\n", {{43, "Remove \"%s\", really?"}}, {}, 0},
        {"A lines never enter the record set", "A0,x\nA0,x\nA20,Px\nP0,x\n", {{0, "x"}, {20, "Px"}},
         {{30001, "Px"}}, 1},
        {"other letters are inserted but draw no key", "Z0,x\nZ0,y\na0,x\n", {{0, "x"}}, {}, 3},
        {"automatic keys of every letter, two each",
         "B0,1\nB0,2\nC0,1\nC0,2\nD0,1\nD0,2\nE0,1\nE0,2\nJ0,1\nJ0,2\nK0,1\nK0,2\nM0,1\nM0,2\n"
         "P0,1\nP0,2\nU0,1\nU0,2\n",
         {},
         {{3998, "B2"}, {3999, "B1"}, {4001, "C1"}, {4002, "C2"}, {5001, "D1"}, {5002, "D2"},
          {7001, "E1"}, {7002, "E2"}, {19998, "J2"}, {19999, "J1"}, {20001, "K1"}, {20002, "K2"},
          {21001, "M1"}, {21002, "M2"}, {30001, "P1"}, {30002, "P2"}, {64998, "U2"}, {64999, "U1"}},
         18},
        {"an explicit key uses up an automatic number", "U7,a\nU0,b\nB3000,c\nB0,d\n", {{7, "a"}},
         {{3000, "Bc"}, {3998, "Bd"}, {64998, "Ub"}}, 4},
        {"equal explicit keys come out as the sort leaves them", "P40000,x\nP40000,y\nP40000,z\n", {},
         {{40000, "Pz"}, {40000, "Py"}, {40000, "Px"}}, 3},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const Row& row = rows[i];
        Read(row.log);
        Pairs texts = Texts();
        Pairs actions = Actions();
        EXPECT_EQ(row.texts, texts) << "row " << i << " (" << row.what << ")\ntexts came:\n" << Show(texts)
                                    << "expected:\n" << Show(row.texts);
        EXPECT_EQ(row.actions, actions) << "row " << i << " (" << row.what << ")\nactions came:\n"
                                        << Show(actions) << "expected:\n" << Show(row.actions);
        EXPECT_EQ(row.recordSetCount, RecordSet.count) << "row " << i << " (" << row.what << ")";
    }
}

TEST_F(LogReader, AutomaticRangesRunIntoEachOther)
{
    std::string log;
    for (int i = 1; i <= 1001; i++)
        log += "K0,lib" + std::to_string(i) + ".dll\n";
    log += "M0,a.ini,s,\n";
    Read(log);
    ASSERT_EQ(1002, ActionList.count);
    EXPECT_EQ(21000, ActionList.entries[999].key);
    EXPECT_STREQ("Klib1000.dll", ActionList.entries[999].record);
    // The 1001st K record and the first M record share 21001.
    EXPECT_EQ(21001, ActionList.entries[1000].key);
    EXPECT_EQ(21001, ActionList.entries[1001].key);
    std::vector<std::string> shared = {ActionList.entries[1000].record, ActionList.entries[1001].record};
    std::sort(shared.begin(), shared.end());
    EXPECT_EQ((std::vector<std::string>{"Klib1001.dll", "Ma.ini,s,"}), shared);
}

TEST_F(LogReader, TextLookup)
{
    std::string longText(600, 'w');
    Read("A10,ten\nA1000,last\nA11," + std::string(511, 'x') + "\nA12," + std::string(512, 'y') + "\nA13," +
         longText + "\n");
    struct Row { int id; std::string expected; } rows[] = {
        {10, "ten"},
        {1000, "last"},
        {9, ""},
        {65536 + 10, ""},     // the stored 16-bit id is compared with the whole argument
        {-65536 + 10, ""},
        {11, std::string(511, 'x')},  // fits exactly
        {12, std::string(511, 'y')},  // one too long: cut for display
        {13, std::string(511, 'w')},  // far too long
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++)
        EXPECT_EQ(rows[i].expected, std::string(GetLogString(rows[i].id))) << "row " << i << " id " << rows[i].id;
    EXPECT_EQ(0, FindTextId(10));
    EXPECT_EQ(1, FindTextId(1000));
    EXPECT_EQ(NO_TEXT_SLOT, FindTextId(65536 + 10));
    // The table keeps the text whole; only the displayed copy is cut.
    EXPECT_EQ(longText, std::string(StringTable.texts[FindTextId(13)]));
    // One shared result: the next call overwrites it.
    const char* first = GetLogString(10);
    GetLogString(1000);
    EXPECT_STREQ("last", first);
}

TEST_F(LogReader, FullTablesDropWhatDoesNotFit)
{
    // Ids 0 to 1000 are 1001 values for 1000 slots: the last new id is dropped, known ids still change.
    std::string log;
    for (int id = 0; id <= 1000; id++)
        log += "A" + std::to_string(id) + ",t" + std::to_string(id) + "\n";
    log += "A5,again\n";
    // 20000 action records: the last one is dropped.
    char record[64];
    for (int i = 1; i <= 20000; i++) {
        snprintf(record, sizeof record, "P%d,f%05d\n", 1000 + i, i);
        log += record;
    }
    Read(log);
    EXPECT_EQ(MAX_TEXTS, StringTable.count);
    EXPECT_EQ(999, (int)StringTable.ids[999]);
    EXPECT_EQ(NO_TEXT_SLOT, FindTextId(1000));
    EXPECT_STREQ("", GetLogString(1000));
    EXPECT_STREQ("again", GetLogString(5));
    EXPECT_STREQ("t999", GetLogString(999));
    ASSERT_EQ(MAX_ACTIONS, ActionList.count);
    EXPECT_EQ(1001, ActionList.entries[0].key);
    EXPECT_EQ(20999, ActionList.entries[MAX_ACTIONS - 1].key);
    EXPECT_STREQ("Pf19999", ActionList.entries[MAX_ACTIONS - 1].record);
    // The block's spare entry stays untouched.
    EXPECT_EQ(0, ActionList.entries[MAX_ACTIONS].key);
    EXPECT_EQ(nullptr, ActionList.entries[MAX_ACTIONS].record);
}

TEST_F(LogReader, FullRecordSetCountsNewRecordsAsRepeats)
{
    // 20000 distinct records that are neither texts nor actions fill the set.
    std::string log;
    char record[64];
    for (int i = 0; i < SET_CAPACITY; i++) {
        snprintf(record, sizeof record, "Q65535,r%05d\n", i);
        log += record;
    }
    log += "P0,new\nP5000,explicit\nK0,lib.dll\n";
    FreshLogState();
    // A set block with one slot more than its capacity, holding a canary there.
    FreeBlock((void**)&RecordSet.items);
    RecordSet.items = (char**)AllocBlock((SET_CAPACITY + 1) * sizeof(char*));
    char canary[] = "canary";
    RecordSet.items[SET_CAPACITY] = canary;
    WriteBytes(logPath, log);
    ASSERT_TRUE(CopyText(g_logPath, PATH_BUFFER, logPath.c_str()));
    ReadUninstallLog();
    EXPECT_EQ(SET_CAPACITY, RecordSet.count);
    EXPECT_EQ(canary, RecordSet.items[SET_CAPACITY]);
    // Not remembered means possibly seen: no automatic key, so a repeat can never run twice.
    Pairs actions = {{5000, "Pexplicit"}};
    EXPECT_EQ(actions, Actions()) << Show(Actions());
    Pairs texts = {{0, "lib.dll"}};
    EXPECT_EQ(texts, Texts()) << Show(Texts());
    EXPECT_EQ(0, g_autoKeyCounters[7]); // P
    EXPECT_EQ(0, g_autoKeyCounters[5]); // K
}

TEST_F(LogReader, BadKeyFields)
{
    struct Row { const char* what; std::string log; Pairs texts; Pairs actions; } rows[] = {
        // The key field is read where it stands; its length takes no buffer.
        {"key field of 63 characters", "P12" + std::string(61, 'x') + ",v\n", {{12, "v"}}, {}},
        {"key field of 64 characters", "P12" + std::string(62, 'x') + ",v\n", {{12, "v"}}, {}},
        {"key field of 300 characters", "P12" + std::string(298, 'x') + ",v\n", {{12, "v"}}, {}},
        {"leading zeros", "P" + std::string(80, '0') + "30500,v\n", {}, {{30500, "Pv"}}},
        {"largest key", "P2147483647,v\n", {}, {{2147483647, "Pv"}}},
        // Numbers past 31 bits are outside the format; wrapped they would be any text or action.
        {"one past the largest key, then a new P", "P2147483648,v\nP0,w\n", {}, {{30002, "Pw"}}},
        {"would wrap to text 10", "P4294967306,v\n", {}, {}},
        {"would wrap to a negative key", "P3000000000,v\n", {}, {}},
        {"far too many digits", "P" + std::string(40, '9') + ",v\n", {}, {}},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Read(rows[i].log);
        EXPECT_EQ(rows[i].texts, Texts()) << "row " << i << " (" << rows[i].what << ")\n" << Show(Texts());
        EXPECT_EQ(rows[i].actions, Actions()) << "row " << i << " (" << rows[i].what << ")\n" << Show(Actions());
    }
}

TEST_F(LogReader, ZeroBytesInTheLog)
{
    struct Row { const char* what; std::string log; Pairs texts; Pairs actions; } rows[] = {
        // A cut record could name a parent folder: the whole line is left out.
        {"zero inside a record", BYTES("U0,c:\\App\0\\Sub,0\r\nU0,c:\\Other,0\r\n"), {},
         {{64999, "Uc:\\Other,0"}}},
        {"zero inside a text", BYTES("A10,ab\0cd\r\nA11,ok\r\n"), {{11, "ok"}}, {}},
        {"zero at a line start", BYTES("\0P0,x\nA11,ok\n"), {{11, "ok"}}, {}},
        {"zero just before the line end", BYTES("A10,x\0\nA11,ok\n"), {{11, "ok"}}, {}},
        {"zero in the letter's place after a digit", BYTES("\0" "5,x\nA11,ok\n"), {{11, "ok"}}, {}},
        {"zeros only", std::string(16, '\0'), {}, {}},
        {"zero in an unterminated last line", BYTES("A11,ok\nA12,a\0b"), {{11, "ok"}}, {}},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        Read(rows[i].log);
        EXPECT_EQ(rows[i].texts, Texts()) << "row " << i << " (" << rows[i].what << ")\n" << Show(Texts());
        EXPECT_EQ(rows[i].actions, Actions()) << "row " << i << " (" << rows[i].what << ")\n" << Show(Actions());
    }
}

TEST(LogLineWalk, NeverLooksPastTheBlock)
{
    // The bytes after the end would make a line if the walk read them.
    char block[] = "A1,x\n" "A2,y" "\r\nA3,z\r\n";
    char* end = block + 9;
    char* position = block;
    char* line = NextRecordLine(&position, end);
    ASSERT_NE(nullptr, line);
    EXPECT_STREQ("A1,x", line);
    EXPECT_EQ(nullptr, NextRecordLine(&position, end));
    EXPECT_EQ(end, position);
    EXPECT_EQ(0, memcmp(end, "\r\nA3,z\r\n", 8));
    // Once over, the walk stays over.
    EXPECT_EQ(nullptr, NextRecordLine(&position, end));
}

// Runs a reading that must end the process, answering and recording its box from this process.
std::vector<std::string> BoxesOfEndingRead(const char* caption, void (*prepare)(const std::string&),
                                           const std::string& path)
{
    std::unique_ptr<BoxAnswerer> answerer;
    if (!InDeathTestChild())
        answerer.reset(new BoxAnswerer(caption, {IDOK}));
    EXPECT_EXIT(
        {
            CopyText(g_caption, TEXT_FIELD, caption);
            CopyText(g_logPath, PATH_BUFFER, path.c_str());
            if (prepare)
                prepare(path);
            ReadUninstallLog();
        },
        ::testing::ExitedWithCode(EXIT_FATAL), "");
    answerer->Stop();
    return answerer->Texts();
}

TEST_F(LogReader, UnopenableLogEndsTheProcessWithItsBox)
{
    std::string missing = folder + "\\missing.ini";
    std::vector<std::string> texts = BoxesOfEndingRead("Log reader fatal box", nullptr, missing);
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ("Can't open uninstal log file " + missing + "!", texts[0]);
}

// A sparse file whose size is past 32 bits, so that its low part alone would be taken for its size.
// Made in the reading process: the fixture of that process rebuilds the folder first.
void MakeHugeLog(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    LARGE_INTEGER at;
    at.QuadPart = 0x100000000LL + 8;
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, NULL, 0, NULL, 0, &ignored, NULL);
    SetFilePointerEx(file, at, NULL, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

TEST_F(LogReader, LogOfFourGigabytesEndsTheProcessWithItsBox)
{
    std::vector<std::string> texts = BoxesOfEndingRead("Log reader size box", MakeHugeLog, logPath);
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ("Can't open uninstal log file " + logPath + "!", texts[0]);
    // The file was there at its full size: the box is not the one of a missing log.
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(logPath.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(1u, data.nFileSizeHigh);
    EXPECT_EQ(8u, data.nFileSizeLow);
    DeleteFileA(logPath.c_str());
}
