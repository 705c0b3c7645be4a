// The authoring tool against the real program: a stamped name is the log it reads, and the plan of each system test's log is what it does.
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include "harness.h"
#include "format_model.h"
#include "json.h"

using namespace sys;

namespace {

const char* const SHARED_DLLS = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

Captured RunTool(const std::string& arguments) { return RunCaptured(Quoted(Env("UNINST_TOOL")) + " " + arguments, ""); }

std::string Folded(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 32);
    return s;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); i++) {
        if (i < text.size() && text[i] != '\r' && text[i] != '\n')
            continue;
        if (i > start)
            lines.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    return lines;
}

std::string ParentOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

class Uninstlog : public SystemTest {};

} // namespace

// Names of several shapes, each stamped over an earlier stamp: the program reads the log of the new
// name (whose E record traces itself), never the one of the name before.
TEST_F(Uninstlog, StampedNameIsTheLogTheProgramReads)
{
    struct Row {
        int row;
        std::string name;
    } rows[] = {
        {1, "uninstall.ini"},
        {2, "my product log.ini"},
        {3, "logs\\uninst.log"},
        {4, "x"},
        {5, "..\\beside.ini"},
        {6, std::string(120, 'n') + ".ini"},
    };
    for (const Row& r : rows) {
        std::string what = "row " + std::to_string(r.row) + ": " + r.name;
        std::string folder = Path("r" + std::to_string(r.row));
        std::string app = Join(folder, "app");
        std::string exe = CopyUninst(app, "uninst.exe", "");
        ASSERT_FALSE(exe.empty()) << what;
        std::string trace = Join(folder, "trace.txt");
        ASSERT_TRUE(WriteLog(Join(app, "first.ini"), {"A10,First", "A48,Uninstall", "E0," + TraceCommand(trace, "first")})) << what;
        ASSERT_TRUE(WriteLog(Join(app, r.name), {"A10,Stamped", "A48,Uninstall", "E0," + TraceCommand(trace, "stamped")})) << what;
        Captured first = RunTool("stamp " + Quoted(exe) + " first.ini");
        ASSERT_EQ(0, first.status) << what << ": " << first.errors;
        Captured second = RunTool("stamp " + Quoted(exe) + " " + Quoted(r.name));
        ASSERT_EQ(0, second.status) << what << ": " << second.errors;
        Process p;
        ASSERT_TRUE(Start(p, Quoted(exe) + " -s", app)) << what;
        ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << what << ": the run did not end";
        std::vector<std::string> tags;
        for (const TraceLine& t : ReadTraces(trace))
            tags.push_back(t.tag);
        EXPECT_EQ(std::vector<std::string>{"stamped"}, tags) << what;
    }
}

namespace {

// One call of the system as the trace library records it: the function and its arguments.
struct Event {
    std::string call;
    std::vector<std::string> args;
};

std::string Show(const Event& e)
{
    std::string s = e.call;
    for (const std::string& a : e.args)
        s += " | " + a;
    return s;
}

std::string Show(const std::vector<Event>& events)
{
    std::string s;
    for (const Event& e : events)
        s += "\n    " + Show(e);
    return s.empty() ? " (none)" : s;
}

// The expected event names the arguments that matter; the observed one may have more.
bool Matches(const Event& expected, const Event& observed)
{
    if (expected.call != observed.call || expected.args.size() > observed.args.size())
        return false;
    for (size_t i = 0; i < expected.args.size(); i++)
        if (expected.args[i] != observed.args[i])
            return false;
    return true;
}

// Calls whose every occurrence the plan foretells. Searches, key openings, file and folder
// deletions and the leftover list also come from work the plan does not list one by one (a tree's
// descent): those are checked in their order only, among others of their kind.
bool Exact(const Event& e, const std::set<std::string>& also)
{
    static const std::set<std::string> exact = {"CreateProcessA", "LoadLibraryA", "LoadLibraryExA", "GetProcAddress",
                                                "OpenMutexA", "FindWindowA", "EnumWindows", "MessageBoxA", "RegDeleteKeyA",
                                                "RegDeleteValueA", "RegQueryValueExA", "RegSetValueExA",
                                                "WritePrivateProfileStringA", "Sleep", "ExitProcess"};
    if (e.call == "SendDlgItemMessageA")
        return !e.args.empty() && e.args[0] == "1005";
    return exact.count(e.call) > 0 || also.count(e.call) > 0;
}

std::vector<Event> ExactOnly(const std::vector<Event>& events, const std::set<std::string>& also)
{
    std::vector<Event> out;
    for (const Event& e : events)
        if (Exact(e, also))
            out.push_back(e);
    return out;
}

// Where the expected events do not stand in this order among the observed ones, empty when they do.
std::string NotInOrder(const std::vector<Event>& expected, const std::vector<Event>& observed)
{
    size_t at = 0;
    for (size_t i = 0; i < expected.size(); i++) {
        while (at < observed.size() && !Matches(expected[i], observed[at]))
            at++;
        if (at == observed.size())
            return "expected event " + std::to_string(i + 1) + " (" + Show(expected[i]) + ") not found in its place";
        at++;
    }
    return std::string();
}

std::string ExactDifference(const std::vector<Event>& expected, const std::vector<Event>& observed, const std::set<std::string>& also)
{
    std::vector<Event> a = ExactOnly(expected, also), b = ExactOnly(observed, also);
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; i++)
        if (!Matches(a[i], b[i]))
            return "call " + std::to_string(i + 1) + ": expected " + Show(a[i]) + ", came " + Show(b[i]);
    if (a.size() != b.size())
        return "expected " + std::to_string(a.size()) + " calls, came " + std::to_string(b.size()) + ": expected" + Show(a) +
               "\n  came" + Show(b);
    return std::string();
}

HKEY RootOf(const std::string& name)
{
    if (name == "HKCR" || name == "HKEY_CLASSES_ROOT")
        return HKEY_CLASSES_ROOT;
    if (name == "HKCU" || name == "HKEY_CURRENT_USER")
        return HKEY_CURRENT_USER;
    if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE")
        return HKEY_LOCAL_MACHINE;
    return HKEY_USERS;
}

const char* const ROOT_NAMES[] = {"HKCR", "HKCU", "HKLM", "HKU"};

// What the run itself changes, as far as later records depend on it.
struct Model {
    std::set<std::string> processed;            // folded paths handled once
    std::set<std::string> gone;                 // folded paths of files deleted
    std::set<std::string> goneKeys;             // folded "ROOT\path" of key trees deleted
    std::map<std::string, std::map<std::string, std::set<std::string>>> ini; // folded file, section: keys
    std::map<std::string, int> shared;          // folded path: count under SharedDLLs
    std::map<std::string, bool> answers;        // folded path: Yes to its question
    std::vector<std::string> protectedFolders;  // folded
};

class PlanRun : public SystemTest, public ::testing::WithParamInterface<const char*> {
protected:
    void TearDown() override
    {
        for (auto& key : keys_)
            RegDeleteKeyTree(key.first, key.second);
        HKEY shared;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED_DLLS, 0, KEY_SET_VALUE, &shared) == ERROR_SUCCESS) {
            for (const std::string& v : sharedValues_)
                RegDeleteValueA(shared, v.c_str());
            RegCloseKey(shared);
        }
        held_.clear();
        for (HANDLE m : mutexes_)
            CloseHandle(m);
        for (HWND w : windows_)
            DestroyWindow(w);
        SystemTest::TearDown();
    }

    std::string Substituted(std::string text)
    {
        const std::pair<std::string, std::string> marks[] = {
            {"{TRACE}", Quoted(TestBin("trace.exe")) + " " + Path("trace.txt")}, {"{DIRUPPER}", Folded(dir_)},
            {"{DIR}", dir_}, {"{APP}", Path("app")}, {"{TEMP}", temp_}, {"{TESTBIN}", Env("UNINST_TESTBIN")}, {"{UNIQUE}", name_}};
        for (const auto& m : marks)
            for (size_t at; (at = text.find(m.first)) != std::string::npos;)
                text.replace(at, m.first.size(), m.second);
        return text;
    }

    void Fixture(const std::string& directive)
    {
        size_t blank = directive.find(' ');
        std::string word = directive.substr(1, blank - 1);
        std::vector<std::string> a = Split(directive.substr(blank + 1), '|');
        if (word == "file" || word == "readonly" || word == "hold") {
            ASSERT_TRUE(WriteText(a[0], "x")) << directive;
            if (word == "readonly")
                SetFileAttributesA(a[0].c_str(), FILE_ATTRIBUTE_READONLY);
            if (word == "hold")
                held_.push_back(std::unique_ptr<HeldFile>(new HeldFile(a[0])));
        } else if (word == "folder") {
            ASSERT_TRUE(MakeFolders(a[0])) << directive;
        } else if (word == "layout") {
            for (size_t i = 1; i < a.size(); i++) {
                if (a[i].back() == '\\')
                    ASSERT_TRUE(MakeFolders(Join(a[0], a[i].substr(0, a[i].size() - 1)))) << directive;
                else
                    ASSERT_TRUE(WriteText(Join(a[0], a[i]), "x")) << directive;
            }
        } else if (word == "copy") {
            ASSERT_TRUE(MakeFolders(ParentOf(a[1])) && CopyFileA(a[0].c_str(), a[1].c_str(), FALSE)) << directive;
        } else if (word == "mutex") {
            mutexes_.push_back(CreateMutexA(NULL, FALSE, a[0].c_str()));
        } else if (word == "window") {
            windows_.push_back(CreateWindowExA(0, "STATIC", a[0].c_str(), WS_OVERLAPPED, 0, 0, 50, 50, NULL, NULL, GetModuleHandleA(NULL), NULL));
        } else if (word == "key") {
            // The key is removed from its first level that belongs to this test.
            std::string own = a[1].substr(0, a[1].find('\\', a[1].find(name_)));
            if (std::find(keys_.begin(), keys_.end(), std::make_pair(RootOf(a[0]), own)) == keys_.end()) {
                RegDeleteKeyTree(RootOf(a[0]), own);
                keys_.push_back(std::make_pair(RootOf(a[0]), own));
            }
            ASSERT_TRUE(RegSetString(RootOf(a[0]), a[1], a[2] == "(default)" ? "" : a[2], "x")) << directive;
        } else if (word == "shared") {
            ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, SHARED_DLLS, a[0], (DWORD)std::stoul(a[1]))) << directive;
            sharedValues_.push_back(a[0]);
            model_.shared[Folded(a[0])] = std::stoi(a[1]);
        } else if (word == "ini") {
            ASSERT_TRUE(MakeFolders(ParentOf(a[0])) && IniWrite(a[0], a[1], a[2], "1")) << directive;
            model_.ini[Folded(a[0])][Folded(a[1])].insert(Folded(a[2]));
        } else if (word == "answer") {
            model_.answers[Folded(a[0])] = a[1] == "yes";
        } else if (word == "protected") {
            model_.protectedFolders.push_back(Folded(a[0]));
        } else if (word == "exact") {
            exactAlso_.insert(a.begin(), a.end());
        } else {
            FAIL() << "unknown fixture " << directive;
        }
    }

    // ---- What the program will do, from the plan and from what the test can look at -------------

    bool KeyExists(HKEY root, const std::string& rootName, const std::string& path)
    {
        std::string folded = Folded(rootName + "\\" + path);
        for (const std::string& gone : model_.goneKeys)
            if (folded.compare(0, gone.size(), gone) == 0 && (folded.size() == gone.size() || folded[gone.size()] == '\\'))
                return false;
        HKEY key;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    // DeleteRegistryTree: the children first, each by its full path, then the key.
    void ExpectTree(const std::string& rootName, const std::string& path, std::vector<Event>& out)
    {
        HKEY root = RootOf(rootName);
        out.push_back({"RegOpenKeyExA", {rootName, path}});
        if (KeyExists(root, rootName, path)) {
            for (const std::string& child : RegSubkeys(root, path))
                ExpectTree(rootName, path + (path.back() == '\\' ? "" : "\\") + child, out);
        }
        out.push_back({"RegDeleteKeyA", {rootName, path}});
        model_.goneKeys.insert(Folded(rootName + "\\" + path));
    }

    // The file entry a plain pattern names, as the search gives its name; empty when there is none.
    std::string FoundFile(const std::string& pattern, bool* folder)
    {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return std::string();
        FindClose(search);
        std::string path = Join(ParentOf(pattern), found.cFileName);
        *folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!*folder && model_.gone.count(Folded(path)))
            return std::string();
        return path;
    }

    // The check's own test: some top-level title holds the name, case ignored.
    static BOOL CALLBACK TitleContains(HWND window, LPARAM parameter)
    {
        auto* search = (std::pair<std::string, bool>*)parameter;
        char title[512] = "";
        GetWindowTextA(window, title, 511);
        std::string t = title;
        const std::string& name = search->first;
        for (size_t i = 0; i + name.size() <= t.size() && !search->second; i++)
            search->second = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, t.c_str() + i, (int)name.size(), name.c_str(),
                                            (int)name.size()) == CSTR_EQUAL;
        return !search->second;
    }

    bool Runs(int kind, const std::string& name)
    {
        if (kind == 0) {
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA(name.c_str(), &found);
            if (search == INVALID_HANDLE_VALUE)
                return false;
            FindClose(search);
            HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, // 0xC0000000, 3, 0x80
                                      NULL);
            if (file == INVALID_HANDLE_VALUE)
                return true;
            CloseHandle(file);
            return false;
        }
        if (kind == 1) {
            HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()); // 0x1F0001
            if (mutex)
                CloseHandle(mutex);
            return mutex != NULL;
        }
        if (kind == 2)
            return FindWindowA(NULL, name.c_str()) != NULL;
        if (kind == 3) {
            std::pair<std::string, bool> search(name, false);
            EnumWindows(TitleContains, (LPARAM)&search);
            return search.second;
        }
        return false;
    }

    std::string Text(int id)
    {
        const json::Value& texts = plan_["texts"];
        for (size_t i = 0; i < texts.size(); i++)
            if (texts[i]["id"].integer() == id)
                return texts[i]["text"].text;
        return std::string();
    }

    // The result a C record gets from the test library's function.
    static int TestlibResult(const std::string& function)
    {
        if (function == "ReturnZero")
            return 0;
        return function == "ReturnNegative" ? -1 : 1;
    }

    void ExpectCheck(const json::Value& f, std::vector<Event>& out, bool& ends)
    {
        int kind = (int)f["kind"].integer();
        std::string name = f["name"].text;
        static const char* const looks[] = {"FindFirstFileA", "OpenMutexA", "FindWindowA", "EnumWindows"};
        if (kind > 3)
            return;
        out.push_back(kind == 3 ? Event{"EnumWindows", {}} : Event{looks[kind], {name}});
        if (!Runs(kind, name))
            return;
        unsigned type = (unsigned)f["boxType"].integer();
        char hex[16];
        wsprintfA(hex, "0x%X", type);
        out.push_back({"MessageBoxA", {f["message"].text, plan_["title"].text, hex}});
        // Go on where the box allows it; otherwise the answer that ends the uninstall.
        int answer = type == 0x42 ? IDIGNORE : (type == 0x24 || type == 0x23) ? IDNO : type == 0x40 ? IDOK : IDCANCEL;
        answers_.push_back(answer);
        if (answer == IDOK || answer == IDCANCEL) {
            out.push_back({"ExitProcess", {std::to_string(CODE_APPLICATION_RUNNING)}});
            ends = true;
        }
    }

    void ExpectCall(char letter, const json::Value& f, std::vector<Event>& out, bool& ends)
    {
        std::string library = f["library"].text, function = f["function"].text;
        bool absolute = f["absolute"].integer() != 0;
        std::string full = Join(ParentOf(Path("app\\uninstal.ini")), library);
        std::string loaded = absolute ? library : (Exists(full) ? full : library);
        out.push_back(absolute || Exists(full) ? Event{"LoadLibraryExA", {loaded, "0x8"}} : Event{"LoadLibraryA", {library}});
        HMODULE probe = LoadLibraryExA(loaded.c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES); // 0x1: its start-up code does not run
        if (!probe)
            return;
        bool exported = GetProcAddress(probe, function.c_str()) != NULL;
        FreeLibrary(probe);
        out.push_back({"GetProcAddress", {function}});
        bool testlib = Folded(loaded).find("TESTLIB.DLL") != std::string::npos;
        if (testlib) {
            calls_.push_back("load");
            if (exported) {
                std::string line = function;
                for (size_t i = 0; function.compare(0, 6, "Record") == 0 && i < f["arguments"].size(); i++)
                    line += "\t" + f["arguments"][i].text;
                calls_.push_back(line);
            }
            calls_.push_back("unload");
        }
        if (letter == 'C' && exported && testlib && TestlibResult(function) == 0) {
            out.push_back({"ExitProcess", {std::to_string(CODE_CALL_REFUSED)}});
            ends = true;
        }
    }

    void ExpectLaunch(const json::Value& f, std::vector<Event>& out)
    {
        std::string command = f["command"].text;
        if (f.has("program")) {
            char shortened[512];
            DWORD n = GetShortPathNameA(f["program"].text.c_str(), shortened, sizeof shortened);
            std::string s = n > 0 && n < sizeof shortened ? shortened : "";
            if (!s.empty() && s.find(' ') == std::string::npos && s.size() + f["rest"].text.size() < 512)
                command = s + f["rest"].text;
        }
        out.push_back({"CreateProcessA", {command}});
    }

    void ExpectRegistry(const json::Value& f, std::vector<Event>& out)
    {
        std::string root = ROOT_NAMES[f["root"].integer()];
        std::string path = f["keyPath"].text, removes = f["removes"].text;
        if (removes == "tree") {
            ExpectTree(root, path, out);
            return;
        }
        out.push_back({"RegOpenKeyExA", {root, path}});
        if (KeyExists(RootOf(root), root, path))
            out.push_back({"RegDeleteValueA", {removes == "defaultValue" ? std::string() : f["valueName"].text}});
    }

    void ExpectShared(const json::Value& a, std::vector<Event>& out)
    {
        out.push_back({"RegOpenKeyExA", {"HKLM", SHARED_DLLS}});
        if (a["refused"].type != json::Value::NONE)
            return;
        std::string path = a["fields"]["path"].text;
        out.push_back({"RegQueryValueExA", {path}});
        auto count = model_.shared.find(Folded(path));
        if (count == model_.shared.end() || count->second < 1)
            return;
        if (--count->second == 0) {
            out.push_back({"RegDeleteValueA", {path}});
            out.push_back({"SendDlgItemMessageA", {"1002", path}});
            model_.processed.insert(Folded(path));
            model_.shared.erase(count);
        } else {
            out.push_back({"RegSetValueExA", {path, std::to_string(count->second)}});
        }
    }

    void ExpectIni(const json::Value& f, std::vector<Event>& out)
    {
        std::string file = f["file"].text, section = f["section"].text, key = f["key"].text;
        DWORD attributes = GetFileAttributesA(file.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return;
        auto& sections = model_.ini[Folded(file)];
        if (f["removes"].text == "section") {
            out.push_back({"WritePrivateProfileStringA", {section, "(null)", "(null)", file}});
            sections.erase(Folded(section));
            return;
        }
        out.push_back({"WritePrivateProfileStringA", {section, key, "(null)", file}});
        sections[Folded(section)].erase(Folded(key));
        if (sections[Folded(section)].empty()) {
            out.push_back({"WritePrivateProfileStringA", {section, "(null)", "(null)", file}});
            sections.erase(Folded(section));
        }
    }

    bool ProtectedHere(const std::string& folder)
    {
        for (const std::string& p : model_.protectedFolders)
            if (Folded(folder) == p)
                return true;
        return false;
    }

    void ExpectRemoval(char letter, const json::Value& f, std::vector<Event>& out)
    {
        std::string pattern = f["pattern"].text, search = f["search"].text, files = f["files"].text;
        if (f["takesAll"].integer() && ProtectedHere(f["folder"].text))
            return; // every entry of a folder that is the system's own here
        out.push_back({"FindFirstFileA", {search}});
        std::string name = pattern.substr(pattern.rfind('\\') + 1);
        if (f["wildcard"].integer() || name.find_first_of("*?") != std::string::npos) {
            ASSERT_NE("ask", files) << "questions for patterns that match several files are not foretold: " << pattern;
            return;
        }
        bool folder = false;
        std::string path = FoundFile(pattern, &folder);
        if (path.empty())
            return;
        if (letter == 'U') {
            if (folder)
                out.push_back({"RemoveDirectoryA", {path}});
            return;
        }
        if (folder || !model_.processed.insert(Folded(path)).second)
            return;
        if (files == "ask") {
            out.push_back({"MessageBoxA", {ModelFormat(Text(51), {path}), plan_["title"].text, "0x24"}});
            bool yes = model_.answers[Folded(path)];
            answers_.push_back(yes ? IDYES : IDNO);
            if (!yes)
                return;
        }
        if (files == "delete" || files == "ask") {
            out.push_back({"DeleteFileA", {path}});
            model_.gone.insert(Folded(path));
        } else if (files == "list") {
            out.push_back({"SendDlgItemMessageA", {"1002", path}});
        }
    }

    // The events of one action, in the order the program makes them.
    void ExpectAction(const json::Value& a, std::vector<Event>& out, bool& ends)
    {
        for (size_t i = 0; i < a["progress"].size(); i++)
            out.push_back({"SendDlgItemMessageA", {"1005", a["progress"][i]["shows"].text}});
        if (a["pause"].boolean)
            out.push_back({"Sleep", {"100"}});
        char letter = a["type"].text[0];
        const json::Value& f = a["fields"];
        if (letter == 'K') {
            ExpectShared(a, out);
            return;
        }
        if (a["refused"].type != json::Value::NONE)
            return;
        switch (letter) {
        case 'B': ExpectCheck(f, out, ends); break;
        case 'C':
        case 'D': ExpectCall(letter, f, out, ends); break;
        case 'E': ExpectLaunch(f, out); break;
        case 'J': ExpectRegistry(f, out); break;
        case 'M': ExpectIni(f, out); break;
        case 'P':
        case 'U': ExpectRemoval(letter, f, out); break;
        default: break;
        }
    }

    json::Value plan_;
    Model model_;
    std::set<std::string> exactAlso_;   // calls this log's plan foretells each of, beyond the usual ones
    std::vector<int> answers_;          // to the boxes, in the order they come
    std::vector<std::string> calls_;    // the test library's own record
    std::vector<std::pair<HKEY, std::string>> keys_;
    std::vector<std::string> sharedValues_;
    std::vector<std::unique_ptr<HeldFile>> held_;
    std::vector<HANDLE> mutexes_;
    std::vector<HWND> windows_;
};

const char* const SYSTEM_TEST_LOGS[] = {"stages_typical", "early_kinds", "early_answers", "early_calls", "early_calls_end",
                                        "early_launches", "removal_entry", "removal_whole", "removal_modes", "removal_patterns",
                                        "dialog_progress", "dialog_leftover", "widths"};

} // namespace

// The plan of a system test's log against the real run, with the test's own fixture: the calls the
// program makes of the system, recorded by a library that two appended D records load (one per
// stage), must be the ones the plan's actions, fields and milestones lead to, in the plan's order.
TEST_P(PlanRun, ProgramDoesWhatThePlanSays)
{
    std::string source = SourceRoot() + "\\tests\\system\\logs\\" + GetParam() + ".log";
    bool read = false;
    std::vector<std::string> lines = Lines(Substituted(ReadBytes(source, &read)));
    ASSERT_TRUE(read) << source;
    std::string app = Path("app");
    std::string exe = CopyUninst(app);
    ASSERT_FALSE(exe.empty());
    RegCreate(HKEY_LOCAL_MACHINE, SHARED_DLLS);
    std::vector<std::string> log;
    for (const std::string& line : lines) {
        if (line[0] != '#')
            log.push_back(line);
        else if (line.size() > 1 && line[1] != ' ')
            Fixture(line);
        if (HasFatalFailure())
            return;
    }
    std::string tracer = TestBin("apitrace.dll");
    log.push_back("D1001," + tracer + ",Install,0");
    log.push_back("D15000," + tracer + ",Install,0");
    std::string logPath = Join(app, "uninstal.ini");
    ASSERT_TRUE(WriteLog(logPath, log));

    Captured planned = RunTool("plan --json " + Quoted(logPath));
    ASSERT_EQ(0, planned.status) << planned.errors;
    std::string error;
    ASSERT_TRUE(json::Parse(planned.output, plan_, error)) << error << "\n" << planned.output;

    // The events of each stage: the actions after that stage's recorder, and what stage control adds.
    std::vector<Event> stage[2];
    bool ends = false, main = false, recording[2] = {false, false};
    const json::Value& actions = plan_["actions"];
    for (size_t i = 0; i < actions.size() && !ends; i++) {
        const json::Value& a = actions[i];
        int s = a["phase"].text == "early" ? 0 : 1;
        if (s == 1 && !main) {
            main = true;
            for (size_t k = 0; k < plan_["uninstallEntries"].size(); k++)
                ExpectTree("HKLM", plan_["uninstallEntries"][k]["keyPath"].text, stage[0]);
            stage[0].push_back({"CreateProcessA", {Quoted(Join(temp_, "uninst.exe")) + " -s " + Quoted(logPath)}});
            stage[0].push_back({"ExitProcess", {"0"}});
        }
        if (a["fields"]["library"].text == tracer) {
            recording[s] = true;
            continue;
        }
        std::vector<Event> events;
        ExpectAction(a, events, ends);
        if (HasFatalFailure())
            return;
        if (recording[s])
            stage[s].insert(stage[s].end(), events.begin(), events.end());
    }
    if (!ends) {
        stage[1].push_back({"CreateProcessA", {Quoted(Join(temp_, "guninst.bat"))}});
        stage[1].push_back({"ExitProcess", {"0"}});
    }

    std::string api = Path("api.txt"), calls = Path("calls.txt");
    answers_.push_back(IDNO); // any box the plan does not foretell: go on, not look again
    std::vector<BoxStep> steps;
    for (int answer : answers_)
        steps.push_back(BoxStep{answer, nullptr});
    ScriptedBoxes boxes(plan_["title"].text, steps);
    Process p;
    ASSERT_TRUE(p.Start(Quoted(exe) + " -s", app, temp_, {"UNINST_APITRACE_LOG=" + api, "UNINST_TESTLIB_LOG=" + calls})) << p.error;
    ASSERT_TRUE(p.WaitAll(WAIT_LONG)) << "the run did not end";
    boxes.Stop();

    std::vector<Event> observed[2];
    std::string firstPid;
    for (const std::string& line : Lines(ReadBytes(api))) {
        std::vector<std::string> parts = Split(line, '\t');
        if (firstPid.empty())
            firstPid = parts[0];
        Event e{parts[1], std::vector<std::string>(parts.begin() + 2, parts.end())};
        if (e.call != "Install")
            observed[parts[0] == firstPid ? 0 : 1].push_back(e);
    }
    for (int s = 0; s < 2; s++) {
        SCOPED_TRACE(s == 0 ? "first stage" : "second stage");
        EXPECT_EQ("", ExactDifference(stage[s], observed[s], exactAlso_));
        EXPECT_EQ("", NotInOrder(stage[s], observed[s])) << "came:" << Show(observed[s]);
    }
    EXPECT_EQ(calls_, Lines(ReadBytes(calls))) << "the test library's record";
}

INSTANTIATE_TEST_SUITE_P(SystemTestLogs, PlanRun, ::testing::ValuesIn(SYSTEM_TEST_LOGS),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });
