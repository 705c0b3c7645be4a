// What each record type does: its fields as its handler reads them, refusals and effects.
#include "uninstlog.h"
#include "common/common.h"
#include "log/log.h"

// Buffer widths of the handlers' fields, terminating zero included.
enum {
    CHECK_FIELD_WIDTH = 256,     // B kind, name, style
    CHECK_MESSAGE_WIDTH = 512,   // B message
    LIBRARY_WIDTH = 512,         // C, D library path
    FUNCTION_WIDTH = 64,         // C, D function name
    COUNT_WIDTH = 64,            // C, D argument count
    ARGUMENT_WIDTH = 256,        // C, D one argument
    ARGUMENT_SLOTS_MAX = 5,
    COMMAND_WIDTH = 512,         // E command line
    REGISTRY_PATH_WIDTH = 512,   // J root and key path
    VALUE_NAME_WIDTH = 128,      // J value name
    SHARED_PATH_WIDTH = 512,     // K library path
    INI_PATH_WIDTH = 512,        // M file and section
    INI_KEY_WIDTH = 256,         // M key
    PATTERN_WIDTH = 512,         // P, U pattern and mode
    NAME_PART_MAX = 255,         // last component of a pattern
    WILDCARD_FOLDER_LENGTH = 4   // a wildcard's folder part is longer than a drive root
};

const char* RecordKind(char letter)
{
    switch (letter) {
    case 'B': return "running-application check";
    case 'C': return "library call, a result of 0 ends the uninstall";
    case 'D': return "library call, result ignored";
    case 'E': return "program launch";
    case 'J': return "registry removal";
    case 'K': return "shared-library count release";
    case 'M': return "INI entry removal";
    case 'P': return "file removal";
    case 'U': return "file and folder tree removal";
    default: return 0;
    }
}

bool SameTextOf(const std::string& a, const std::string& b)
{
    return SameText(a.c_str(), b.c_str()) != 0;
}

int FieldCount(const std::string& fields)
{
    int count = 1;
    bool inside = false;
    for (char c : fields) {
        if (c == '"')
            inside = !inside;
        else if (c == ',' && !inside)
            count++;
    }
    return count;
}

// Field n as the program's routine cuts it into a buffer of width bytes; false when it does not fit.
static bool ReadField(const std::string& fields, int n, int width, std::string& out)
{
    std::vector<char> buffer((size_t)width, 0);
    bool fits = GetField(buffer.data(), width, fields.c_str(), n) != 0;
    out = buffer.data();
    return fits;
}

static size_t FieldLength(const std::string& fields, int n)
{
    std::string whole;
    ReadField(fields, n, (int)fields.size() + 1, whole);
    return whole.size();
}

static std::string TooLong(const std::string& fields, int n, const char* what, int width)
{
    return what + std::string(" has ") + std::to_string(FieldLength(fields, n)) + " characters, at most " +
           std::to_string(width - 1) + " fit: the record is passed over";
}

// Field n into out as the handler reads it; a field that does not fit refuses the record, with the reason.
static bool Take(const std::string& fields, int n, int width, const char* what, std::string& out, RecordView& v)
{
    if (ReadField(fields, n, width, out))
        return true;
    v.refused = TooLong(fields, n, what, width);
    return false;
}

static FieldValue Text(const std::string& name, const std::string& label, const std::string& text, const std::string& meaning = "")
{
    FieldValue f = FieldValue();
    f.name = name;
    f.label = label;
    f.text = text;
    f.meaning = meaning;
    return f;
}

static FieldValue Number(const std::string& name, const std::string& label, long long number, const std::string& meaning = "")
{
    FieldValue f = FieldValue();
    f.name = name;
    f.label = label;
    f.isNumber = true;
    f.number = number;
    f.meaning = meaning;
    return f;
}

static std::string Hex(unsigned value)
{
    const char* digits = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), digits[value % 16]);
        value /= 16;
    } while (value);
    return "0x" + s;
}

static void ViewCheck(const std::string& fields, RecordView& v)
{
    std::string kindText, name, message, styleText;
    if (!Take(fields, 0, CHECK_FIELD_WIDTH, "the kind field", kindText, v))
        return;
    if (!Take(fields, 1, CHECK_FIELD_WIDTH, "the name", name, v))
        return;
    if (!Take(fields, 2, CHECK_MESSAGE_WIDTH, "the message", message, v))
        return;
    if (!Take(fields, 3, CHECK_FIELD_WIDTH, "the style field", styleText, v))
        return;
    unsigned short kind = (unsigned short)ParseInt(kindText.c_str());
    unsigned short style = (unsigned short)ParseInt(styleText.c_str());
    std::vector<char> n(name.begin(), name.end()), m(message.begin(), message.end());
    n.push_back(0);
    m.push_back(0);
    Unquote(n.data());
    Unquote(m.data());
    ExpandLineBreaks(m.data());
    static const char* const kinds[] = {
        "a file matching the name exists and cannot be opened for reading and writing without sharing",
        "a mutex of that name exists", "a top-level window has exactly this title",
        "the title of a top-level window contains the name, case ignored"};
    // An end chosen here ends the process with exit code 170 (EXIT_APPLICATION_RUNNING).
    static const char* const styles[] = {
        "Abort ends the uninstall (exit code 170), Retry looks again, Ignore goes on", "OK ends the uninstall (exit code 170)",
        "OK looks again, Cancel ends the uninstall (exit code 170)", "Retry looks again, Cancel ends the uninstall (exit code 170)",
        "Yes looks again, No goes on", "Yes looks again, No goes on, Cancel ends the uninstall (exit code 170)"};
    static_assert(EXIT_APPLICATION_RUNNING == 170, "the texts above name the code");
    static const unsigned boxTypes[] = {0x42, 0x40, 0x41, 0x45, 0x24, 0x23};
    int styleIndex = style < 6 ? style : 0;
    v.fields.push_back(Number("kind", "kind", kind, kind < 4 ? kinds[kind] : "no such kind: the check never finds the application running"));
    v.fields.push_back(Text("name", "name", n.data()));
    v.fields.push_back(Text("message", "message", m.data()));
    v.fields.push_back(Number("style", "style", style,
                              style < 6 ? styles[style] : std::string("no such style: the box of style 0, ") + styles[0]));
    v.fields.push_back(Number("boxType", "box type", boxTypes[styleIndex], Hex(boxTypes[styleIndex])));
    v.effect = kind < 4 ? "while the application counts as running, shows the message (" + std::string(styles[styleIndex]) + ")"
                        : "does nothing";
}

static void ViewCall(char letter, const std::string& fields, RecordView& v)
{
    std::string library, function, countText;
    if (!Take(fields, 0, LIBRARY_WIDTH, "the library path", library, v))
        return;
    if (!Take(fields, 1, FUNCTION_WIDTH, "the function name", function, v))
        return;
    if (!Take(fields, 2, COUNT_WIDTH, "the argument count", countText, v))
        return;
    int count = ParseInt(countText.c_str());
    bool absolute = (library.size() >= 2 && library[1] == ':') || (library.size() >= 2 && library[0] == '\\' && library[1] == '\\');
    v.fields.push_back(Text("library", "library", library,
                            absolute ? "loaded from this path, its dependencies from its folder"
                                     : "loaded from the installation folder (the log's folder) when it is there, else from the system folder"));
    v.fields.push_back(Number("absolute", "", absolute ? 1 : 0));
    v.fields.push_back(Text("function", "function", function));
    v.fields.push_back(Number("count", "arguments", count));
    if (count < 0 || count > ARGUMENT_SLOTS_MAX) {
        v.refused = "the argument count " + std::to_string(count) + " is outside 0 to 5: nothing is loaded or called";
        return;
    }
    FieldValue arguments = FieldValue();
    arguments.name = "arguments";
    arguments.label = "argument texts";
    arguments.isList = true;
    for (int i = 0; i < count; i++) {
        std::string argument;
        if (!Take(fields, 3 + i, ARGUMENT_WIDTH, ("argument " + std::to_string(i + 1)).c_str(), argument, v))
            return;
        if (3 + i >= v.fieldCount)
            v.notes.push_back("argument " + std::to_string(i + 1) + " is not in the record: the function gets the whole field text");
        arguments.list.push_back(argument);
    }
    v.fields.push_back(arguments);
    v.effect = "loads the library, calls " + function + " with " + std::to_string(count) + (count == 1 ? " text" : " texts") +
               " and releases it; " + (letter == 'C' ? "a result of 0 ends the uninstall at once (exit code " + std::to_string(EXIT_CALL_REFUSED) + ")"
                                 : std::string("the result is ignored"));
}

static void ViewLaunch(const std::string& fields, RecordView& v)
{
    std::string command;
    if (!Take(fields, 0, COMMAND_WIDTH, "the command line", command, v))
        return;
    v.fields.push_back(Text("command", "command line", command));
    if (!command.empty() && command[0] == '"') {
        size_t close = command.find('"', 1);
        if (close == std::string::npos) {
            v.refused = "the command line opens a quote that it never closes: nothing is started";
            return;
        }
        v.fields.push_back(Text("program", "program", command.substr(1, close - 1), "started under its short (8.3) path where it has one"));
        v.fields.push_back(Text("rest", "after the program", command.substr(close + 1), "appended as it stands"));
    }
    v.effect = "starts the command line and waits until the program has ended";
}

static void ViewRegistry(const std::string& fields, RecordView& v)
{
    static const char* const roots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
    std::string rootText, keyPath, valueName;
    if (!Take(fields, 0, REGISTRY_PATH_WIDTH, "the root field", rootText, v))
        return;
    unsigned rootNumber = (unsigned char)ParseInt(rootText.c_str());
    v.fields.push_back(Number("root", "root", rootNumber, rootNumber < 4 ? roots[rootNumber] : "no root"));
    if (rootNumber >= 4) {
        v.refused = "root " + std::to_string(rootNumber) + " names no root key (0 to 3)";
        return;
    }
    if (!Take(fields, 1, REGISTRY_PATH_WIDTH, "the key path", keyPath, v))
        return;
    if (!Take(fields, 2, VALUE_NAME_WIDTH, "the value name", valueName, v))
        return;
    std::string key = std::string(roots[rootNumber]) + "\\" + keyPath;
    bool whole = valueName.empty();
    bool standard = !whole && SameTextOf(valueName, "default");
    v.fields.push_back(Text("keyPath", "key path", keyPath));
    v.fields.push_back(Text("valueName", "value name", valueName,
                            whole ? "empty: the whole key" : (standard ? "the key's default value" : "")));
    if (v.fieldCount < 3)
        v.notes.push_back("the record has no value-name field: the handler reads the whole field text as the value name");
    v.fields.push_back(Text("removes", "", whole ? "tree" : standard ? "defaultValue" : "value"));
    if (whole) {
        bool none = true;
        for (char c : keyPath)
            if (c != '\\')
                none = false;
        if (none) {
            v.refused = "the key path names no key: nothing is deleted";
            return;
        }
        v.effect = "deletes the key " + key + " with every key below it";
    } else if (standard) {
        v.effect = "deletes the default value of " + key;
    } else {
        v.effect = "deletes the value \"" + valueName + "\" of " + key;
    }
}

static void ViewShared(const std::string& fields, RecordView& v)
{
    std::string path;
    if (!Take(fields, 0, SHARED_PATH_WIDTH, "the library path", path, v))
        return;
    v.fields.push_back(Text("path", "library path", path));
    if (path.empty()) {
        v.refused = "an empty path names no library's count";
        return;
    }
    v.effect = "lowers the library's count under SharedDLLs by one; at zero the value goes and the file is listed for the user "
               "(neither listed nor deleted in a silent run), and later records leave it alone";
}

static void ViewIni(const std::string& fields, RecordView& v)
{
    std::string file, section, key;
    if (!Take(fields, 0, INI_PATH_WIDTH, "the INI file path", file, v))
        return;
    if (!Take(fields, 1, INI_PATH_WIDTH, "the section", section, v))
        return;
    if (!Take(fields, 2, INI_KEY_WIDTH, "the key", key, v))
        return;
    v.fields.push_back(Text("file", "INI file", file));
    v.fields.push_back(Text("section", "section", section));
    v.fields.push_back(Text("key", "key", key, key.empty() ? "empty: the whole section" : ""));
    if (v.fieldCount < 3)
        v.notes.push_back("the record has no key field: the handler reads the whole field text as the key name");
    v.fields.push_back(Text("removes", "", key.empty() ? "section" : "key"));
    if (file.find('\\') == std::string::npos) {
        v.refused = "the INI file has no folder: it would be looked for in the current folder and written in the Windows folder";
        return;
    }
    if (key.empty())
        v.effect = "deletes the section [" + section + "] with all of its keys";
    else
        v.effect = "deletes the key \"" + key + "\" of [" + section + "], and the section when no key is left in it";
    v.effect += " (nothing when the file does not exist)";
}

static void ViewRemoval(char letter, const std::string& fields, RecordView& v)
{
    std::string modeText, pattern;
    if (!Take(fields, 1, PATTERN_WIDTH, "the mode field", modeText, v))
        return;
    if (!Take(fields, 0, PATTERN_WIDTH, "the path pattern", pattern, v))
        return;
    v.mode = (unsigned char)ParseInt(modeText.c_str());
    v.pattern = ViewPattern(pattern);
    static const char* const pModes[] = {
        "deletes each matching file; a file that cannot be deleted is listed for the user",
        "asks text 51 before deleting each matching file; No leaves it",
        "lists each matching file for the user to delete"};
    static const char* const uModes[] = {
        "lists every file of the tree for the user to delete and deletes none; only folders that hold no file are removed",
        "deletes every file of the tree and removes the folders that become empty",
        "touches no file; removes only the folders that are empty already"};
    std::string meaning;
    if (letter == 'P')
        meaning = v.mode < 3 ? pModes[v.mode] : "leaves each matching file alone, marked as handled so that later records pass it over";
    else
        meaning = v.mode < 3 ? uModes[v.mode] : "touches no file; removes the folders of the tree that end up empty";
    v.fields.push_back(Text("pattern", "path pattern", pattern,
                            v.pattern.wildcard ? "a wildcard pattern: matching entries of " + v.pattern.folder
                                               : "a plain pattern: the platform's own matching"));
    v.fields.push_back(Number("mode", "mode", v.mode, meaning));
    static const char* const pFiles[] = {"delete", "ask", "list"};
    static const char* const uFiles[] = {"list", "delete"};
    v.fields.push_back(Text("files", "", letter == 'P' ? (v.mode < 3 ? pFiles[v.mode] : "keep") : (v.mode < 2 ? uFiles[v.mode] : "none")));
    if (v.fieldCount < 2)
        v.notes.push_back("the record has no mode field: the handler reads the whole field text as the mode");
    if (!v.pattern.refused.empty()) {
        v.refused = v.pattern.refused;
        return;
    }
    v.fields.push_back(Text("search", "search", v.pattern.search));
    v.fields.push_back(Text("folder", "", v.pattern.folder));
    v.fields.push_back(Number("wildcard", "", v.pattern.wildcard ? 1 : 0));
    v.fields.push_back(Number("takesAll", "", v.pattern.takesAll ? 1 : 0));
    if (!v.pattern.takesNothing.empty())
        v.notes.push_back(v.pattern.takesNothing);
    if (!v.pattern.wellKnown.empty())
        v.notes.push_back("refused on every machine where " + v.pattern.wellKnown + " is one of the system's well-known folders");
    else if (v.pattern.takesAll)
        v.notes.push_back("it takes every entry of " + v.pattern.folder + ", which the program refuses on a machine where that is a drive "
                          "or share root or one of the system's well-known folders (Windows, system, temp, Program Files, profiles and "
                          "their documents, desktop, start menu, application data, fonts)");
    if (letter == 'P')
        v.effect = meaning + "; folders are passed over";
    else if (v.pattern.wildcard)
        v.effect = "in " + v.pattern.folder + " and every matching subfolder: " + meaning;
    else
        v.effect = "the entry itself; a folder with everything below it, removed once it is empty: " + meaning;
}

RecordView ViewRecord(const std::string& record)
{
    RecordView v = RecordView();
    char letter = record.empty() ? 0 : record[0];
    std::string fields = record.size() > 1 ? record.substr(1) : std::string();
    v.fieldCount = FieldCount(fields);
    const char* kind = RecordKind(letter);
    v.hasHandler = kind != 0;
    v.kind = kind ? kind : "no record type";
    switch (letter) {
    case 'B': ViewCheck(fields, v); break;
    case 'C':
    case 'D': ViewCall(letter, fields, v); break;
    case 'E': ViewLaunch(fields, v); break;
    case 'J': ViewRegistry(fields, v); break;
    case 'K': ViewShared(fields, v); break;
    case 'M': ViewIni(fields, v); break;
    case 'P':
    case 'U': ViewRemoval(letter, fields, v); break;
    default: v.refused = "no handler for the letter: the entry is passed over (letters are case-sensitive)"; break;
    }
    return v;
}

std::vector<std::string> PathParts(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = path.find('\\', start)) != std::string::npos; start = at + 1)
        parts.push_back(path.substr(start, at - start));
    parts.push_back(path.substr(start));
    return parts;
}

std::string Normalised(const std::string& folder)
{
    std::string prefix, rest = folder;
    if (rest.compare(0, 4, "\\\\?\\") == 0 || rest.compare(0, 4, "\\\\.\\") == 0)
        rest = rest.substr(4);
    if (rest.compare(0, 2, "\\\\") == 0) {
        prefix = "\\\\";
        rest = rest.substr(2);
    }
    std::vector<std::string> parts;
    for (const std::string& part : PathParts(rest)) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (parts.size() > 1)
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out = prefix;
    for (size_t i = 0; i < parts.size(); i++)
        out += (i ? "\\" : "") + parts[i];
    return out;
}

static bool IsRoot(const std::string& normalised)
{
    if (normalised.size() <= 2 && (normalised.size() < 2 || normalised[1] == ':'))
        return true;
    std::string share;
    if (normalised.compare(0, 2, "\\\\") == 0)
        share = normalised.substr(2);
    else if (normalised.size() >= 4 && SameTextOf(normalised.substr(0, 4), "UNC\\"))
        share = normalised.substr(4);
    else
        return false;
    int separators = 0;
    for (char c : share)
        if (c == '\\')
            separators++;
    return separators <= 1;
}

// Folders that are the system's own on most machines; the program asks the system for the real ones.
static const char* const USUAL_SYSTEM_FOLDERS[] = {
    "C:\\Windows", "C:\\Windows\\System32", "C:\\Windows\\SysWOW64", "C:\\Windows\\Fonts", "C:\\Windows\\Temp",
    "C:\\Program Files", "C:\\Program Files (x86)", "C:\\Program Files\\Common Files",
    "C:\\Program Files (x86)\\Common Files", "C:\\Users", "C:\\Users\\Public", "C:\\Users\\Public\\Desktop",
    "C:\\Users\\Public\\Documents", "C:\\ProgramData", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu",
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "C:\\Documents and Settings",
    "C:\\Documents and Settings\\All Users"};

std::string UsualSystemFolder(const std::string& folder)
{
    std::string normalised = Normalised(folder);
    for (const char* usual : USUAL_SYSTEM_FOLDERS)
        if (SameTextOf(normalised, usual))
            return usual;
    return std::string();
}

PatternView ViewPattern(const std::string& pattern)
{
    PatternView p = PatternView();
    p.pattern = pattern;
    size_t slash = pattern.rfind('\\');
    if (slash == std::string::npos) {
        p.refused = "the pattern has no backslash: it would be looked for in the current folder while the file it names "
                    "lies in the root of the drive, so it is not used";
        return p;
    }
    p.name = pattern.substr(slash + 1);
    if (p.name.size() > NAME_PART_MAX) {
        p.refused = "its last component has " + std::to_string(p.name.size()) + " characters, at most 255";
        return p;
    }
    std::vector<char> folder(pattern.begin(), pattern.end());
    folder.push_back(0);
    StripLastComponent(folder.data());
    p.folder = folder.data();
    if (p.folder.size() == 2 && p.folder[1] == ':')
        p.folder += "\\";
    size_t dot = p.name.rfind('.');
    p.base = dot == std::string::npos ? p.name : p.name.substr(0, dot);
    p.extension = dot == std::string::npos ? std::string() : p.name.substr(dot + 1);
    p.baseWildcard = !p.name.empty() && p.name[0] == '*';
    bool starAfterDot = dot != std::string::npos && dot + 1 < p.name.size() && p.name[dot + 1] == '*';
    p.extensionWildcard = dot == std::string::npos || starAfterDot;
    p.wildcard = p.baseWildcard || starAfterDot;
    bool onlyWildcards = false;
    for (char c : p.name) {
        if (c == '*') {
            onlyWildcards = true;
        } else if (c != '?' && c != '.') {
            onlyWildcards = false;
            break;
        }
    }
    p.takesAll = (p.baseWildcard && p.extensionWildcard) || onlyWildcards;
    if (p.wildcard && ((!p.baseWildcard && p.base.find('?') != std::string::npos) ||
                       (!p.extensionWildcard && p.extension.find('?') != std::string::npos))) {
        p.refused = "a '?' in a part the wildcard compares as it stands could only meet the '?' the system puts for a "
                    "character outside the code page, so the pattern takes nothing and is not searched";
        return p;
    }
    if (p.wildcard && p.folder.size() < WILDCARD_FOLDER_LENGTH) {
        p.refused = "a wildcard pattern in the root of a drive, or without a folder, is refused";
        return p;
    }
    std::string normalised = Normalised(p.folder);
    if (p.takesAll && IsRoot(normalised)) {
        p.refused = "it would take every entry of a drive or share root, which is refused";
        return p;
    }
    if (p.takesAll)
        p.wellKnown = UsualSystemFolder(p.folder);
    if (p.wildcard) {
        char search[PATTERN_WIDTH];
        if (!JoinPath(search, sizeof search, p.folder.c_str(), "*.*")) {
            p.refused = "the folder and \\*.* do not fit 511 characters";
            return p;
        }
        p.search = search;
    } else {
        p.search = pattern;
        if (p.name.empty())
            p.takesNothing = "the pattern ends with a backslash: the search finds nothing, so nothing is taken";
    }
    return p;
}

// The platform's matching of a plain pattern's name: ? one character, * any run, case ignored.
static bool PlatformMatch(const char* pattern, const char* name)
{
    if (!*pattern)
        return !*name;
    if (*pattern == '*')
        return PlatformMatch(pattern + 1, name) || (*name && PlatformMatch(pattern, name + 1));
    if (!*name)
        return false;
    if (*pattern != '?') {
        char a[2] = {*pattern, 0}, b[2] = {*name, 0};
        if (!SameText(a, b))
            return false;
    }
    return PlatformMatch(pattern + 1, name + 1);
}

bool Inside(const std::string& path, const std::string& folder)
{
    std::string p = Normalised(path), f = Normalised(folder);
    if (f.empty() || p.size() < f.size() || !SameTextOf(p.substr(0, f.size()), f))
        return false;
    return p.size() == f.size() || p[f.size()] == '\\' || f.back() == '\\';
}

bool MatchesName(const PatternView& pattern, const std::string& fileName)
{
    if (!pattern.refused.empty())
        return false;
    if (!pattern.wildcard)
        return PlatformMatch(pattern.name.c_str(), fileName.c_str());
    size_t dot = fileName.rfind('.');
    std::string base = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    std::string extension = dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
    return (pattern.baseWildcard || SameTextOf(base, pattern.base)) && (pattern.extensionWildcard || SameTextOf(extension, pattern.extension));
}
