// uninstlog lint: a warning with its line for each pitfall of a log.
#include "uninstlog.h"
#include <algorithm>
#include <map>
#include <stdio.h>

enum {
    LAST_USABLE_KEY = 2147483647,
    IGNORED_KEY = 65535
};

static void Warn(std::vector<Warning>& out, int line, const char* code, const std::string& message)
{
    out.push_back(Warning{line, code, message});
}

static bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static bool IsDigitByte(char c)
{
    return c >= '0' && c <= '9';
}

static char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? (char)(c - 32) : c;
}

static std::string Line(const Log& log, int index)
{
    return std::to_string(log.lines[index].number);
}

// A letter, then blanks or a sign before the key's digits, and a comma: a record written loosely.
static bool LooksLikeLooseKey(const std::string& text)
{
    if (text.size() < 4 || !IsLetter(text[0]) || text.find(',') == std::string::npos)
        return false;
    size_t i = 1;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        i++;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        i++;
    return i > 1 && i < text.size() && IsDigitByte(text[i]);
}

// Lines that look like records but that the reader passes over.
static void LintIgnoredLines(const Log& log, std::vector<Warning>& out)
{
    for (size_t i = 0; i < log.lines.size(); i++) {
        const LogLine& line = log.lines[i];
        const std::string& s = line.bytes;
        if (line.use == LINE_NOTHING) {
            Warn(out, line.number, "ignored-record", line.reason);
            continue;
        }
        if (line.use != LINE_IGNORED || !line.hasLineEnd)
            continue;
        size_t zero = s.find('\0');
        std::string text = s.substr(0, zero);
        size_t blanks = text.find_first_not_of(" \t");
        bool bom = i == 0 && text.size() >= 3 && (unsigned char)text[0] == 0xEF && (unsigned char)text[1] == 0xBB && (unsigned char)text[2] == 0xBF;
        std::string rest = bom ? text.substr(3) : text;
        if (zero != std::string::npos && text.size() >= 2 && IsLetter(text[0]) && IsDigitByte(text[1]))
            Warn(out, line.number, "ignored-record", "the line holds a zero byte, so the whole record is passed over");
        else if (bom && rest.size() >= 2 && IsLetter(rest[0]) && IsDigitByte(rest[1]))
            Warn(out, line.number, "ignored-record", "a byte-order mark stands before the first record, which is therefore passed over: save the log without one");
        else if (blanks != std::string::npos && blanks > 0 && text.size() >= blanks + 2 && IsLetter(text[blanks]) && IsDigitByte(text[blanks + 1]))
            Warn(out, line.number, "ignored-record", "the line starts with a blank, so it is not read as a record");
        else if (LooksLikeLooseKey(text))
            Warn(out, line.number, "ignored-record", "the key must follow the letter directly, as digits only: the line is passed over");
    }
}

static void LintRecordLines(const Log& log, std::vector<Warning>& out)
{
    bool droppedAction = false, droppedText = false, fullSet = false;
    for (size_t i = 0; i < log.lines.size(); i++) {
        const LogLine& line = log.lines[i];
        if (line.use != LINE_TEXT && line.use != LINE_ACTION)
            continue;
        bool handled = RecordKind(line.letter) != 0;
        if (line.setFull && !fullSet) {
            fullSet = true;
            Warn(out, line.number, "too-many-records", "more than 20000 distinct records: this record and every later one counts as a repeat (with key 0 it becomes text 0)");
        }
        if (line.use == LINE_TEXT && line.key == 0 && line.letter != 'A') {
            if (line.repeat && line.repeatOf >= 0)
                Warn(out, line.number, "repeat", "repeats line " + Line(log, line.repeatOf) +
                         " (records are compared ignoring case, keys aside): it draws no key, becomes text 0 and does nothing");
            else if (!line.repeat && !handled)
                Warn(out, line.number, "no-handler", std::string("the letter ") + line.letter +
                         (RecordKind(Upper(line.letter)) ? " is lower-case; letters are case-sensitive" : " names no record type") +
                         ": with key 0 the line becomes text 0 and does nothing");
        }
        if (line.use == LINE_TEXT && line.keyNumber >= 1 && line.keyNumber <= 1000 && handled)
            Warn(out, line.number, "key-is-text", "key " + std::to_string(line.keyNumber) + " makes this line text " +
                     std::to_string(line.keyNumber) + ", not a " + RecordKind(line.letter) + ": keys 1 to 1000 are text ids");
        if (line.use == LINE_ACTION && !line.kept && !droppedAction) {
            droppedAction = true;
            Warn(out, line.number, "too-many-actions", "the action list holds 19999 actions: this action and " +
                     std::to_string(log.droppedActions - 1) + " more are dropped without a word");
        }
        if (line.use == LINE_TEXT && !FindText(log, line.key) && !droppedText) {
            droppedText = true;
            Warn(out, line.number, "too-many-texts", "the text table holds 1000 ids: text " + std::to_string(line.key) +
                     " and every further new id are dropped");
        }
    }
}

static bool Removes(char letter)
{
    return letter == 'J' || letter == 'K' || letter == 'M' || letter == 'P' || letter == 'U';
}

static bool Deletes(const PlannedAction& a, const LogLine& line)
{
    if (!a.view.refused.empty())
        return false;
    return (line.letter == 'P' && (a.view.mode == 0 || a.view.mode == 1)) || (line.letter == 'U' && a.view.mode == 1);
}

static bool HasQuote(const std::string& s)
{
    return s.find('"') != std::string::npos;
}

static std::string FieldTextOf(const RecordView& v, const char* name)
{
    for (const FieldValue& f : v.fields)
        if (f.name == name)
            return f.text;
    return std::string();
}

// Where the log and the uninstaller lie on the user's machine, when that can be told.
struct InstalledFiles {
    std::string folder;         // empty when not known
    std::string logName;
    std::string uninstallerName;
};

static std::string FileNameOfPath(const std::string& path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

static InstalledFiles FindInstalledFiles(const Log& log, const LintOptions& options)
{
    InstalledFiles f;
    f.uninstallerName = options.uninstallerName.empty() ? "uninst.exe" : options.uninstallerName;
    if (!options.installedLog.empty()) {
        f.logName = FileNameOfPath(options.installedLog);
        size_t cut = options.installedLog.rfind('\\');
        f.folder = cut == std::string::npos ? std::string() : options.installedLog.substr(0, cut);
        return f;
    }
    f.logName = FileNameOfPath(log.path);
    for (const PlannedAction& a : log.actions) {
        const PatternView& p = a.view.pattern;
        if (log.lines[a.line].letter == 'P' && a.view.refused.empty() && !p.wildcard &&
            (SameTextOf(p.name, f.logName) || SameTextOf(p.name, f.uninstallerName)))
            return InstalledFiles{p.folder, f.logName, f.uninstallerName};
    }
    return f;
}

// Does the action remove the file (folder\name)? Without the folder only plain P patterns naming it count.
static bool RemovesFile(const PlannedAction& a, const LogLine& line, const InstalledFiles& where, const std::string& name)
{
    if (!Deletes(a, line))
        return false;
    const PatternView& p = a.view.pattern;
    if (where.folder.empty())
        return line.letter == 'P' && !p.wildcard && SameTextOf(p.name, name);
    std::string file = where.folder + "\\" + name;
    if (line.letter == 'P')
        return SameTextOf(Normalised(p.folder), Normalised(where.folder)) && MatchesName(p, name);
    if (!p.wildcard)
        return Inside(file, p.pattern);
    if (!Inside(file, p.folder))
        return false;
    std::string below = Normalised(file).substr(Normalised(p.folder).size());
    while (!below.empty() && below[0] == '\\')
        below.erase(0, 1);
    return MatchesName(p, below.substr(0, below.find('\\')));
}

static void LintSelfRemoval(const Log& log, const LintOptions& options, std::vector<Warning>& out)
{
    InstalledFiles where = FindInstalledFiles(log, options);
    for (size_t i = 0; i < log.actions.size(); i++) {
        const PlannedAction& a = log.actions[i];
        const LogLine& line = log.lines[a.line];
        std::string what;
        if (RemovesFile(a, line, where, where.logName))
            what = "the log (" + where.logName + ")";
        if (RemovesFile(a, line, where, where.uninstallerName))
            what += (what.empty() ? "" : " and ") + std::string("the uninstaller (") + where.uninstallerName + ")";
        if (what.empty())
            continue;
        int later = 0, lastKey = 0;
        for (size_t k = i + 1; k < log.actions.size(); k++) {
            const PlannedAction& b = log.actions[k];
            if (Removes(log.lines[b.line].letter) && b.view.refused.empty()) {
                later++;
                lastKey = b.key;
            }
        }
        if (later == 0)
            continue;
        int suggestion = lastKey + 1 == IGNORED_KEY ? lastKey + 2 : lastKey + 1;
        std::string message = "removes " + what + " at key " + std::to_string(a.key) + " while " + std::to_string(later) +
                              (later == 1 ? " removal runs" : " removals run") + " after it, up to key " + std::to_string(lastKey) +
                              ": a run cut short between them leaves a half-removed application that cannot be uninstalled again";
        if (IsEarly(a.key))
            message += "; in the first stage it also keeps the uninstall from going on (the log is read again after the early phase)";
        if (lastKey < LAST_USABLE_KEY)
            message += ". Put it last: an explicit key above " + std::to_string(lastKey) + ", such as " + std::to_string(suggestion) +
                       (line.letter == 'U' ? ", or make it the first U line of the log, whose key 64999 is the last automatic key" : "");
        Warn(out, line.number, "removes-itself-early", message);
    }
}

// U mode 0 lists instead of deleting; P mode 0 deletes. Warned where deletion was likely meant.
static void LintListingTree(const Log& log, const PlannedAction& a, const InstalledFiles& where, std::vector<Warning>& out)
{
    const LogLine& line = log.lines[a.line];
    if (line.letter != 'U' || a.view.mode != 0 || !a.view.refused.empty())
        return;
    const PatternView& p = a.view.pattern;
    std::string reason;
    if (!where.folder.empty() && !p.wildcard && Inside(where.folder, p.pattern))
        reason = "this tree holds the installation folder itself";
    bool anyDeletes = false;
    for (const PlannedAction& b : log.actions) {
        const LogLine& other = log.lines[b.line];
        if (!Deletes(b, other))
            continue;
        anyDeletes = true;
        if (reason.empty() && !p.wildcard && Inside(b.view.pattern.pattern, p.pattern))
            reason = "line " + std::to_string(other.number) + " deletes files inside this tree";
    }
    if (reason.empty() && !anyDeletes)
        reason = "no record of this log deletes any file";
    if (reason.empty())
        return;
    Warn(out, line.number, "u-mode-0", "U mode 0 lists every file of the tree for the user to delete and deletes none (its folders stay); "
             "U mode 1 deletes them. P counts its modes the other way: P mode 0 deletes. Mode 0 suits the user's own files, "
             "but " + reason + ": mode 1 was probably meant");
}

static void LintFieldShapes(const Log& log, const PlannedAction& a, std::vector<Warning>& out)
{
    const LogLine& line = log.lines[a.line];
    const RecordView& v = a.view;
    int number = line.number;
    static const struct {
        char letter;
        int fields;
    } expected[] = {{'B', 4}, {'E', 1}, {'J', 3}, {'K', 1}, {'M', 3}, {'P', 2}, {'U', 2}};
    int wanted = 0;
    for (const auto& e : expected)
        if (e.letter == line.letter)
            wanted = e.fields;
    if ((line.letter == 'C' || line.letter == 'D') && v.refused.empty()) {
        for (const FieldValue& f : v.fields)
            if (f.name == "count")
                wanted = 3 + (int)f.number;
    }
    if (line.letter == 'J' && v.fieldCount < 3)
        Warn(out, number, "missing-last-field", "the record has no value-name field, so the value name is read as the whole text \"" +
                 line.record.substr(1) + "\" and nothing is deleted; end the line with a comma to delete the whole key, or name the value");
    else if (line.letter == 'M' && v.fieldCount < 3)
        Warn(out, number, "missing-last-field", "the record has no key field, so the key is read as the whole text \"" + line.record.substr(1) +
                 "\" and only a section without keys goes; end the line with a comma to delete the whole section, or name the key");
    else if ((line.letter == 'P' || line.letter == 'U') && v.fieldCount < 2)
        Warn(out, number, "missing-last-field", "the record has no mode field, so the mode is read from the whole text: mode " +
                 std::to_string(v.mode) + "; write the mode after a comma");
    else if ((line.letter == 'C' || line.letter == 'D') && v.refused.empty() && wanted > v.fieldCount)
        Warn(out, number, "missing-last-field", "the record has fewer argument fields than its count: a missing argument is passed as the whole field text");
    if (wanted > 0 && v.fieldCount > wanted && !(line.letter == 'B' && !v.refused.empty()))
        Warn(out, number, "extra-fields", "the record has " + std::to_string(v.fieldCount) + " fields where the handler reads " +
                 std::to_string(wanted) + ": a comma outside quotes ends a field, so a path or name with a comma is cut there");
}

static void LintAction(const Log& log, const PlannedAction& a, std::vector<Warning>& out)
{
    const LogLine& line = log.lines[a.line];
    const RecordView& v = a.view;
    int number = line.number;
    if (!v.hasHandler) {
        Warn(out, number, "no-handler", std::string("no record type ") + line.letter +
                 (RecordKind(Upper(line.letter)) ? " (letters are case-sensitive)" : "") + ": the action is passed over");
        return;
    }
    bool early = IsEarly(a.key);
    if (early != EarlyLetter(line.letter)) {
        std::string how = line.keyNumber != 0 ? "key " : "the automatic key ";
        if (early)
            Warn(out, number, "key-phase", how + std::to_string(a.key) + " puts this " + RecordKind(line.letter) +
                     " in the early phase, in the first stage: before the copy runs it, with no dialog (a file it lists is shown "
                     "nowhere); its record type belongs to the main phase, keys 15000 and above");
        else
            Warn(out, number, "key-phase", how + std::to_string(a.key) + " puts this " + RecordKind(line.letter) +
                     " in the main phase, in the second stage, after the Add/Remove Programs entries are gone; its record type "
                     "belongs to the early phase, keys 1001 to 14999");
    }
    LintFieldShapes(log, a, out);
    if (!v.refused.empty())
        Warn(out, number, line.letter == 'P' || line.letter == 'U' ? "refused-pattern" : "refused-record",
             "the " + std::string(RecordKind(line.letter)) + " is passed over: " + v.refused);
    else if (!v.pattern.takesNothing.empty())
        Warn(out, number, "refused-pattern", "the " + std::string(RecordKind(line.letter)) + " takes nothing: " + v.pattern.takesNothing);
    else if (!v.pattern.wellKnown.empty())
        Warn(out, number, "refused-pattern", "the pattern takes every entry of " + v.pattern.wellKnown +
                 ", which is one of the system's well-known folders on most machines: there it is refused");
    for (const std::string& note : v.notes)
        if (note.find("handles the same file first") != std::string::npos)
            Warn(out, number, "same-file", note);
    std::string quoted;
    if (line.letter == 'K' && HasQuote(FieldTextOf(v, "path")))
        quoted = "the library path keeps its quotes and names no SharedDLLs value";
    else if (line.letter == 'M' && (HasQuote(FieldTextOf(v, "file")) || HasQuote(FieldTextOf(v, "section")) || HasQuote(FieldTextOf(v, "key"))))
        quoted = "the INI file, section and key keep their quotes and name no such file or entry";
    else if ((line.letter == 'P' || line.letter == 'U') && HasQuote(v.pattern.pattern))
        quoted = "the path pattern keeps its quotes and matches no file";
    else if (line.letter == 'J' && HasQuote(FieldTextOf(v, "keyPath")))
        quoted = "the key path keeps its quotes and names no key";
    else if ((line.letter == 'C' || line.letter == 'D') && HasQuote(FieldTextOf(v, "library")))
        quoted = "the library path keeps its quotes and cannot be loaded";
    if (!quoted.empty())
        Warn(out, number, "quoted-path", quoted + "; write it without quotes (a path with a comma cannot be written at all)");
    if (line.letter == 'E' && v.refused.empty()) {
        std::string command = FieldTextOf(v, "command");
        std::string first = command.substr(0, command.find(' '));
        std::string lower = first;
        for (char& c : lower)
            c = (char)(c >= 'A' && c <= 'Z' ? c + 32 : c);
        bool program = lower.size() > 4 && (lower.compare(lower.size() - 4, 4, ".exe") == 0 || lower.compare(lower.size() - 4, 4, ".com") == 0 ||
                                            lower.compare(lower.size() - 4, 4, ".bat") == 0 || lower.compare(lower.size() - 4, 4, ".cmd") == 0);
        if (!command.empty() && command[0] != '"' && first.size() < command.size() && first.find('\\') != std::string::npos && !program)
            Warn(out, number, "unquoted-program", "the program's path is not in quotes and has a blank in it: the system may start \"" + first +
                     "\" instead; put the path in double quotes");
    }
}

static void LintActions(const Log& log, const LintOptions& options, std::vector<Warning>& out)
{
    InstalledFiles where = FindInstalledFiles(log, options);
    std::map<int, int> firstWithKey;
    for (const PlannedAction& a : log.actions) {
        LintAction(log, a, out);
        LintListingTree(log, a, where, out);
    }
    // Equal keys: the later line names the earlier one.
    std::vector<const PlannedAction*> byLine;
    for (const PlannedAction& a : log.actions)
        byLine.push_back(&a);
    std::sort(byLine.begin(), byLine.end(), [](const PlannedAction* x, const PlannedAction* y) { return x->line < y->line; });
    for (const PlannedAction* a : byLine) {
        auto found = firstWithKey.find(a->key);
        if (found == firstWithKey.end()) {
            firstWithKey[a->key] = a->line;
            continue;
        }
        Warn(out, log.lines[a->line].number, "equal-keys", "key " + std::to_string(a->key) + " is also the key of line " + Line(log, found->second) +
                 ": actions with equal keys run in the order the uninstaller's sort leaves them (see plan), not in log order");
    }
}

// Texts the run shows, each with the record that makes it show (or none: always shown).
static void LintTexts(const Log& log, std::vector<Warning>& out)
{
    std::vector<std::pair<int, int>> wanted = {{10, 0}, {48, 0}, {43, 0}, {36, 0}, {49, 0}, {50, 0}, {13, 0}};
    for (const PlannedAction& a : log.actions) {
        const LogLine& line = log.lines[a.line];
        int number = line.number;
        if (a.key == 30001)
            wanted.insert(wanted.end(), {{42, number}, {58, number}});
        if (a.key == 19999)
            wanted.push_back({54, number});
        if (a.key == 21001)
            wanted.push_back({55, number});
        if (line.letter == 'P' && a.view.refused.empty() && a.view.mode == 1)
            wanted.push_back({51, number});
        if ((line.letter == 'K' || line.letter == 'P' || line.letter == 'U') && a.view.refused.empty())
            wanted.insert(wanted.end(), {{53, number}, {44, number}, {45, number}, {46, number}, {52, number}});
    }
    std::map<int, bool> said;
    for (const auto& w : wanted) {
        if (said[w.first] || FindText(log, w.first))
            continue;
        said[w.first] = true;
        std::string because = w.second ? " (line " + std::to_string(w.second) + " makes it show)" : "";
        Warn(out, w.second, "missing-text", "text " + std::to_string(w.first) + " is shown but not defined" + because + ": " +
                 TextUse(w.first) + "; the uninstaller shows an empty text");
    }
    for (const TextEntry& t : log.texts) {
        int arguments = TextArguments(t.id);
        if (!TextUse(t.id) || t.id == 81)
            continue;
        const std::string& s = t.text;
        int next = 0;
        for (size_t i = 0; i < s.size(); i++) {
            if (s[i] != '%')
                continue;
            char c = i + 1 < s.size() ? s[i + 1] : 0;
            if (arguments < 0) {
                if (c == '%' || IsLetter(c)) {
                    Warn(out, log.lines[t.line].number, "format", "text " + std::to_string(t.id) + " is shown as it stands, so \"%" +
                             std::string(1, c) + "\" appears literally");
                    break;
                }
                continue;
            }
            if (c == 's' && next < arguments) {
                next++;
                i++;
            } else if (c == '%') {
                i++;
            } else {
                std::string what = c == 's' ? "a %s beyond its " + std::to_string(arguments) + (arguments == 1 ? " argument" : " arguments")
                                             : c ? "\"%" + std::string(1, c) + "\"" : "a % at its end";
                Warn(out, log.lines[t.line].number, "format", "text " + std::to_string(t.id) + " has " + what +
                         ", which stays as it stands: only %s (one per argument) and %% are filled");
                break;
            }
        }
    }
}

std::vector<Warning> LintLog(const Log& log, const LintOptions& options)
{
    std::vector<Warning> out;
    if (!log.lines.empty() && !log.lines.back().hasLineEnd && log.lines.back().use != LINE_BLANK)
        Warn(out, log.lines.back().number, "no-line-end", "the last line has no line end, so it is not read; end it with CR LF");
    LintIgnoredLines(log, out);
    LintRecordLines(log, out);
    LintActions(log, options, out);
    LintTexts(log, out);
    LintSelfRemoval(log, options, out);
    std::stable_sort(out.begin(), out.end(), [](const Warning& a, const Warning& b) { return a.line < b.line; });
    return out;
}

static std::string InstalledNote(const Log& log, const LintOptions& options)
{
    if (FindInstalledFiles(log, options).folder.empty())
        return "the installation folder is not known, so only P records that name the log or the uninstaller are checked for "
               "removing them early; --installed-as gives the log's installed path";
    return std::string();
}

int LintCommand(const std::vector<std::string>& arguments)
{
    bool json = false;
    LintOptions options;
    std::vector<std::string> files;
    for (size_t i = 0; i < arguments.size(); i++) {
        const std::string& a = arguments[i];
        if (a == "--json") {
            json = true;
        } else if ((a == "--installed-as" || a == "--uninstaller") && i + 1 < arguments.size()) {
            (a == "--installed-as" ? options.installedLog : options.uninstallerName) = arguments[++i];
        } else if (a.compare(0, 2, "--") == 0) {
            files.clear();
            break;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 1) {
        fprintf(stderr, "usage: uninstlog lint [--json] [--installed-as LOGPATH] [--uninstaller NAME] LOG\n");
        return STATUS_UNREADABLE;
    }
    Log log;
    std::string error;
    if (!ReadLog(files[0], log, error)) {
        if (json) {
            std::string out = "{\"log\": ";
            JsonString(out, files[0]);
            out += ", \"error\": ";
            JsonString(out, error);
            Emit(out + ", \"warnings\": [], \"status\": 2}\n");
        }
        fprintf(stderr, "uninstlog: %s\n", error.c_str());
        return STATUS_UNREADABLE;
    }
    std::vector<Warning> warnings = LintLog(log, options);
    std::vector<std::string> notes;
    if (log.highBytes && NativeBuild())
        notes.push_back(HighByteNote());
    std::string installed = InstalledNote(log, options);
    if (!installed.empty())
        notes.push_back(installed);
    int status = warnings.empty() ? STATUS_DONE : STATUS_WARNINGS;
    std::string out;
    if (json) {
        out = "{\"log\": ";
        JsonString(out, log.path);
        out += ",\n \"notes\": [";
        for (size_t i = 0; i < notes.size(); i++) {
            out += i ? ", " : "";
            JsonString(out, notes[i]);
        }
        out += "],\n \"warnings\": [";
        for (size_t i = 0; i < warnings.size(); i++) {
            out += i ? ",\n  {" : "\n  {";
            out += "\"line\": " + std::to_string(warnings[i].line) + ", \"code\": ";
            JsonString(out, warnings[i].code);
            out += ", \"message\": ";
            JsonString(out, warnings[i].message);
            out += "}";
        }
        out += "],\n \"status\": " + std::to_string(status) + "}\n";
    } else {
        for (const std::string& note : notes)
            out += log.path + ": note: " + note + "\n";
        for (const Warning& w : warnings)
            out += log.path + (w.line ? ":" + std::to_string(w.line) : std::string()) + ": " + w.code + ": " + w.message + "\n";
        if (warnings.empty())
            out += log.path + ": no warnings\n";
    }
    Emit(out);
    return status;
}
