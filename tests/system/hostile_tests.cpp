// Hostile uninstall logs through the real program, and libraries planted beside its temporary copy.
#include "harness.h"
#include "chain.h"
#include <algorithm>
#include <functional>

using namespace sys;

namespace {

const DWORD HOSTILE_WAIT = 180000; // the largest logs take a while under Wine; a hang still fails

// The faults in a chain's endings: a stage of the program that did not end with 0, anything that
// ended abnormally, any program but the two stages and the script's interpreter (a crash
// reporter, say), and a chain in which the second stage never ran.
std::vector<std::string> BadEndings(const std::vector<std::string>& endings)
{
    std::vector<std::string> bad;
    int stages = 0;
    for (const std::string& e : endings) {
        if (e == "uninst.exe 0")
            stages++;
        else if (e.compare(0, 8, "cmd.exe ") != 0 && e.compare(0, 12, "conhost.exe ") != 0)
            bad.push_back(e);
        else if (e.find("abnormal") != std::string::npos)
            bad.push_back(e);
    }
    if (stages < 2)
        bad.push_back("only " + std::to_string(stages) + " stages ended with 0");
    return bad;
}

std::string Repeat(const std::string& text, int times)
{
    std::string out;
    out.reserve(text.size() * (size_t)times);
    for (int i = 0; i < times; i++)
        out += text;
    return out;
}

// Paths of one hostile run. Sentinels lie where no record of a log may reach.
struct Where {
    std::string dir, app, exe, copy, temp, outside, ini, key, tag;
};

// Bytes of a small pseudo-random generator, so that the junk is the same in every run.
std::string Junk(size_t size, unsigned seed)
{
    std::string out(size, '\0');
    for (size_t i = 0; i < size; i++) {
        seed = seed * 1103515245u + 12345u;
        out[i] = (char)(seed >> 16);
    }
    return out;
}

struct HostileLog {
    const char* name;
    // The log after the caption lines; the caption is "Hostile <name>".
    std::function<std::string(const Where&)> body;
    // Boxes the run must show, in order; null: any boxes (each is answered No).
    std::function<std::vector<std::string>(const Where&)> boxes;
};

std::string Lines(const std::vector<std::string>& lines)
{
    return LogText(lines);
}

const HostileLog HOSTILE_LOGS[] = {
    {"binary_junk", [](const Where&) { return Junk(65536, 7) + "\r\n" + Junk(4096, 8) + "\n"; }, nullptr},
    {"zero_bytes",
     [](const Where& w) {
         // Cut at its zero, each record would name a sentinel.
         return std::string("U0,") + w.outside + '\0' + "\\gone,0\r\n" + "P0," + w.outside + "\\keep.txt" + '\0' +
                ".gone,0\r\n" + "M0," + w.ini + ",Keep," + '\0' + "gone\r\n" + "J0,1," + w.key + "," + '\0' + "gone\r\n" +
                std::string(4096, '\0') + "\r\n";
     },
     [](const Where&) { return std::vector<std::string>{}; }},
    {"megabyte_line",
     [](const Where& w) {
         return "P0," + w.outside + "\\" + std::string(1 << 20, 'a') + ",0\r\nA51," + std::string(1 << 20, '%') + "\r\nU0," +
                std::string(1 << 20, '\\') + ",0\r\nJ0,1," + w.key + "\\" + std::string(1 << 20, 'k') + ",\r\n";
     },
     [](const Where&) { return std::vector<std::string>{}; }},
    {"commas_and_quotes",
     [](const Where& w) {
         std::string commas = std::string(5000, ','), quotes = std::string(5000, '"');
         std::string out;
         for (const char* type : {"B", "C", "D", "E", "J", "K", "M", "P", "U"}) {
             out += std::string(type) + "0," + commas + "\r\n";
             out += std::string(type) + "0," + quotes + "\r\n";
             out += std::string(type) + "0," + Repeat("\",", 2000) + "\r\n";
         }
         // An unbalanced quote protects every comma after it: the fields below are not the sentinels.
         out += "P0,\"" + w.outside + "\\keep.txt,0\r\n";
         out += "U0,\"" + w.outside + ",0\r\n";
         out += "M0," + w.ini + ",\"Keep,\r\n";
         out += "J0,1,\"" + w.key + ",\r\n";
         out += "J0,1," + w.key + ",\"\r\n";
         return out;
     },
     nullptr},
    {"missing_fields",
     [](const Where& w) {
         return Lines({"B0", "B0,", "B0,0", "B0,0,", "B0,2,x", "C0", "C0,", "C0,x", "C0,x,y", "D0,x,y,", "E0", "E0,", "E0,\"",
                       "J0", "J0,", "J0,1", "J0,1,", "J0,1," + w.key, "K0", "K0,", "M0", "M0,", "M0," + w.ini, "M0," + w.ini + ",",
                       "M0," + w.ini + ",Keep", "P0", "P0,", "P0,,", "U0", "U0,", "U0,,", "U0,,0", "P0,,0", "A", "B", "P"});
     },
     nullptr},
    {"overlong_fields",
     [](const Where& w) {
         std::string l600 = std::string(600, 'x'), l300 = std::string(300, 'y'), l130 = std::string(130, 'z'), l70(70, 'w');
         // A field refused for its length must not be read as empty: an empty value or key
         // field means the whole registry key or INI section.
         return Lines({"B0,0," + l300 + ",m,0", "B0,2,x," + l600 + ",0", "B0," + l300 + ",x,m,0", "B0,2,x,m," + l300,
                       "C0," + w.dir + "\\" + l600 + ",F,0", "C0,kernel32.dll," + l70 + ",0", "C0,kernel32.dll,GetTickCount," + l70,
                       "D0,kernel32.dll,lstrlenA,1," + l300, "E0," + l600, "E0,\"" + l600 + "\"", "J0,1," + w.key + "," + l130,
                       "J0,1," + w.key + "\\" + l600 + ",", "J0," + l600 + "," + w.key + ",", "K0," + w.dir + "\\" + l600,
                       "M0," + w.ini + ",Keep," + l300, "M0," + w.ini + "," + l600 + ",", "M0," + w.dir + "\\" + l600 + ",Keep,",
                       "P0," + w.outside + "\\keep.txt," + l600, "P0," + w.outside + "\\" + l600 + ",0",
                       "U0," + w.outside + "," + l600, "U0," + w.outside + "\\" + l600 + ",0", "A10," + l600, "A48," + l600});
     },
     nullptr},
    {"numbers_past_32_bits",
     [](const Where& w) {
         // A key past 32 bits is outside the format: wrapped, these would delete sentinels.
         return Lines({"P4294967296," + w.outside + "\\keep.txt,0", "P-5," + w.outside + "\\keep.txt,0",
                       "P99999999999999999999999," + w.outside + "\\keep.txt,0", "A4294967306,wrapped text 10",
                       "U18446744073709551616," + w.outside + ",1", "M4294967296," + w.ini + ",Keep,",
                       "J4294967296,1," + w.key + ",", "J0,4294967297," + w.key + "\\Gone,", "J0,-4294967295," + w.key + "\\Gone,",
                       "P0," + w.outside + "\\keep.txt,-4294967294", "P0," + w.outside + "\\keep.txt,4294967298",
                       "B0,4294967296,x,m,0", "B0,2,x,m,-1", "B0,2,x,m,99999999999", "C0,kernel32.dll,GetTickCount,4294967296",
                       "C0,kernel32.dll,GetTickCount,-1", "D0,kernel32.dll,GetTickCount,6,a,b,c,d,e,f"});
     },
     nullptr},
    {"many_records",
     [](const Where& w) {
         std::string out;
         for (int i = 0; i < 25000; i++)
             out += "P0," + w.app + "\\gone\\f" + std::to_string(i) + ".txt,0\r\n";
         for (int i = 0; i < 2000; i++)
             out += "J0,1," + w.key + "\\Gone" + std::to_string(i) + ",\r\n";
         return out;
     },
     [](const Where&) { return std::vector<std::string>{}; }},
    {"many_texts",
     [](const Where& w) {
         std::string out;
         for (int i = 0; i <= 1000; i++)
             if (i != 10 && i != 48)
                 out += "A" + std::to_string(i) + ",text " + std::to_string(i) + " %s\r\n";
         for (int i = 0; i < 3000; i++) // duplicates without a key all land in text 0
             out += "P0," + w.app + "\\gone.txt,0\r\n";
         out += "A51,Asked %s\r\nP0," + w.app + "\\ask.txt,1\r\n";
         return out;
     },
     [](const Where& w) { return std::vector<std::string>{"Asked " + w.app + "\\ask.txt"}; }},
    {"percent_signs",
     [](const Where& w) {
         std::string formats = "%s%s%s%s %d %x %n %p %% %";
         std::string out;
         for (int id : {0, 13, 36, 42, 43, 44, 45, 46, 49, 50, 52, 53, 54, 55, 58, 81, 51})
             out += "A" + std::to_string(id) + "," + formats + "\r\n";
         out += "P0," + w.app + "\\ask.txt,1\r\n";
         out += "B0,0," + w.app + "\\held%s.txt,%s%s %n|#%x,1\r\n";
         return out;
     },
     [](const Where& w) { return std::vector<std::string>{w.app + "\\ask.txt%s%s%s %d %x %n %p % %"}; }},
    {"names_itself_and_work_folder",
     [](const Where& w) {
         // The running copy cannot go; the work folder is the temp folder, never taken whole;
         // starting the installed program again is a second instance, which ends at once.
         return Lines({"E0,\"" + w.exe + "\"", "C0," + w.exe + ",ProgramEntry,0", "D0," + w.copy + ",ProgramEntry,0",
                       "K0," + w.copy, "P0," + w.copy + ",0", "U0," + w.temp + ",0", "U0," + w.temp + "\\,0",
                       "U0," + w.temp + "\\..\\temp,0", "P0," + w.temp + "\\*.*,0", "U0,.,0", "P0,*.*,0", "P0,.\\*.*,0"});
     },
     [](const Where&) { return std::vector<std::string>{}; }},
    {"system_folders",
     [](const Where&) {
         // Only modes that delete nothing even where a folder were taken: P mode 1 asks first,
         // and every question is answered No (a question fails the row); U mode 0 only lists.
         return Lines({"U0,C:\\,0", "U0,C:,0", "U0,\\,0", "P0,C:\\*.*,1", "P0,\\*.*,1", "P0,C:\\*,1", "U0,C:\\windows,0",
                       "U0,C:\\WINDOWS\\,0", "P0,C:\\windows\\*.*,1", "U0,C:\\windows\\system32,0", "U0,C:\\windows\\..,0",
                       "U0,C:\\Program Files,0", "U0,C:\\PROGRA~1,0", "P0,C:\\Program Files\\*.*,1", "U0,C:\\users,0",
                       "U0,\\\\?\\C:\\,0", "U0,\\\\.\\C:\\windows,0", "U0,C:\\windows\\fonts,0", "P0,C:\\windows\\*,1"});
     },
     [](const Where&) { return std::vector<std::string>{}; }},
    {"system_folder_wildcards",
     [](const Where& w) {
         // Wildcards in a drive root are refused whatever they match. In the Windows folder and
         // Program Files only the ones that take every entry are refused (the row above): an
         // application installed there may still remove its own kind of file, such as *.gid.
         return Lines({"P0,C:\\*." + w.tag + ",0", "P0,C:\\" + w.tag + ".*,0", "U0,C:\\*." + w.tag + ",1",
                       "U0,C:\\" + w.tag + ".*,1"});
     },
     [](const Where&) { return std::vector<std::string>{}; }},
};

class HostileLogs : public SystemTest, public ::testing::WithParamInterface<HostileLog> {};

void PrintTo(const HostileLog& row, std::ostream* out)
{
    *out << row.name;
}

} // namespace

TEST_P(HostileLogs, EndsCleanlyAndTouchesNoSentinel)
{
    const HostileLog& row = GetParam();
    Where w;
    w.dir = dir_;
    w.app = Path("app");
    w.temp = temp_;
    w.outside = Path("outside");
    w.ini = Path("outside\\keep.ini");
    w.key = FreshKey();
    w.tag = std::string("hostile_") + row.name;
    w.exe = CopyUninst(w.app);
    ASSERT_FALSE(w.exe.empty());
    w.copy = Join(temp_, "uninst.exe");

    std::vector<std::string> files = {Path("outside\\keep.txt"), Path("outside\\sub\\deep.txt"), Path("app\\keep.dat"),
                                      Path("app\\ask.txt"), Join(temp_, "keep.txt")};
    std::vector<std::string> systemFiles = {"C:\\" + w.tag + "." + w.tag, "C:\\windows\\" + w.tag + "." + w.tag,
                                            "C:\\Program Files\\" + w.tag + "." + w.tag};
    for (const std::string& f : files)
        ASSERT_TRUE(WriteText(f, "sentinel")) << f;
    for (const std::string& f : systemFiles)
        ASSERT_TRUE(WriteText(f, "sentinel")) << f;
    ASSERT_TRUE(IniWrite(w.ini, "Keep", "Key", "value"));
    ASSERT_TRUE(IniWrite(w.ini, "Other", "A", "b"));
    ASSERT_TRUE(RegSetString(HKEY_CURRENT_USER, w.key, "Keep", "value"));
    ASSERT_TRUE(RegSetString(HKEY_CURRENT_USER, w.key + "\\Sub", "Deep", "value"));

    std::string caption = std::string("Hostile ") + row.name;
    ASSERT_TRUE(WriteBytes(Path("app\\uninstal.ini"), LogText({"A48,Hostile", std::string("A10,") + row.name}) + row.body(w)));

    BoxAnswerer boxes(caption.c_str(), {IDNO});
    ChainRun run;
    ASSERT_TRUE(run.Start("\"" + w.exe + "\" -s", w.app, temp_));
    bool ended = run.WaitAll(HOSTILE_WAIT);
    boxes.Stop();

    // The system-folder sentinels go first, whatever the outcome, since they lie outside the test's folder.
    std::vector<std::string> systemMissing;
    for (const std::string& f : systemFiles) {
        if (!Exists(f))
            systemMissing.push_back(f);
        DeleteFileA(f.c_str());
    }
    EXPECT_TRUE(ended) << row.name << ": the run did not end within " << HOSTILE_WAIT << " ms";
    EXPECT_EQ(0u, run.ExitCode()) << row.name;
    std::vector<std::string> endings = Endings(run);
    EXPECT_EQ(std::vector<std::string>{}, BadEndings(endings)) << row.name << ": " << ::testing::PrintToString(endings);
    EXPECT_EQ(std::vector<std::string>{}, systemMissing) << row.name;
    for (const std::string& f : files)
        EXPECT_EQ("sentinel", ReadBytes(f)) << row.name << ": " << f;
    EXPECT_EQ("value", IniRead(w.ini, "Keep", "Key")) << row.name;
    EXPECT_EQ("b", IniRead(w.ini, "Other", "A")) << row.name;
    std::string value;
    EXPECT_TRUE(RegGetString(HKEY_CURRENT_USER, w.key, "Keep", &value) && value == "value") << row.name;
    EXPECT_TRUE(RegGetString(HKEY_CURRENT_USER, w.key + "\\Sub", "Deep", &value) && value == "value") << row.name;
    if (row.boxes)
        EXPECT_EQ(row.boxes(w), boxes.Texts()) << row.name;
    // The copy and the script are gone once the chain has ended.
    EXPECT_FALSE(Exists(w.copy)) << row.name;
    EXPECT_FALSE(Exists(Join(temp_, "guninst.bat"))) << row.name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileLogs, ::testing::ValuesIn(HOSTILE_LOGS),
                         [](const ::testing::TestParamInfo<HostileLog>& info) { return std::string(info.param.name); });

class LibrarySearch : public SystemTest {};

// Libraries planted in the work folder under the names of system libraries are not loaded into
// the copy that runs there, neither on the program's behalf nor for a library-call record that
// names them without a folder; a record with the absolute path still loads what it names.
TEST_F(LibrarySearch, NothingPlantedBesideTheCopyIsLoaded)
{
    // Known Wine difference: Wine's loader takes the dependencies of its own system libraries from
    // the executable's folder first while the process starts, before the program runs, and it
    // loads a shcore.dll found there as native code (on Windows it is a KnownDLL, always taken
    // from the system folder). That load cannot be prevented from inside the program, so
    // shcore.dll is not planted here; the others Wine loads at start are its own builtins.
    static const char* const planted[] = {"version.dll", "uxtheme.dll", "dwmapi.dll", "imm32.dll", "comctl32.dll",
                                          "winmm.dll", "msimg32.dll", "usp10.dll", "shlwapi.dll", "ole32.dll",
                                          "oleaut32.dll", "msctf.dll", "userenv.dll", "profapi.dll", "cryptbase.dll",
                                          "sspicli.dll", "propsys.dll", "winsta.dll", "dbghelp.dll"};
    std::string library = ReadBytes(TestBin("planted.dll"));
    ASSERT_FALSE(library.empty());
    for (const char* name : planted)
        ASSERT_TRUE(WriteBytes(Join(temp_, name), library)) << name;
    ASSERT_TRUE(WriteBytes(Join(temp_, "control.dll"), library));
    std::string exe = CopyUninst(Path("app"));
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(WriteText(Path("app\\ask.txt"), "kept"));
    // Main-phase keys, so the records run in the copy; the question box makes it create windows.
    ASSERT_TRUE(WriteLog(Path("app\\uninstal.ini"),
                         {"A48,Planted", "A10,libraries", "A51,Remove %s?", "D16000,version.dll,PlantedCall,0",
                          "D16001,dwmapi.dll,PlantedCall,0", "D16002," + Join(temp_, "control.dll") + ",PlantedCall,0",
                          "P0," + Path("app\\ask.txt") + ",1"}));

    BoxAnswerer boxes("Planted libraries", {IDNO});
    ChainRun run;
    ASSERT_TRUE(run.Start("\"" + exe + "\" -s", Path("app"), temp_));
    bool ended = run.WaitAll(WAIT_LONG);
    boxes.Stop();
    std::vector<std::string> endings = Endings(run);
    EXPECT_TRUE(ended) << ::testing::PrintToString(endings);
    EXPECT_EQ(std::vector<std::string>{}, BadEndings(endings)) << ::testing::PrintToString(endings);
    EXPECT_EQ(std::vector<std::string>{"Remove " + Path("app\\ask.txt") + "?"}, boxes.Texts());

    std::vector<std::string> markers;
    for (const char* name : planted)
        if (Exists(Join(temp_, std::string(name) + ".loaded")))
            markers.push_back(name);
    EXPECT_EQ(std::vector<std::string>{}, markers);
    // The control shows that a planted library does announce itself when it is loaded.
    EXPECT_TRUE(Exists(Join(temp_, "control.dll.loaded")));
}
