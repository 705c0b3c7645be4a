// Reading a log with the program's own reader: what each line became, the actions in run order, the texts.
#include "uninstlog.h"
#include "common/common.h"
#include "log/log.h"
#include "startup/startup.h"
#ifndef _WIN32
#include "host/host.h"
#endif
#include <algorithm>
#include <map>
#include <string.h>

enum {
    PHASE_BOUNDARY_KEY = 15000,  // first key of the main phase
    PRODUCT_FIELD = 128,         // g_productName and g_caption, terminating zero included
    UNINSTALL_COPY_BUFFER = 512  // the first-stage pass's copy of a J record's key path and value name
};

static const char UNINSTALL_KEY_PREFIX[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Where the program shows each text, and how many arguments the formats get.
static const struct {
    int id;
    const char* use;
    int arguments;
} TEXT_USES[] = {
    {10, "product name: the second half of the title and the argument of text 43", -1},
    {13, "label of the button that ends the uninstall when nothing is left over", -1},
    {36, "fatal error when the uninstaller cannot copy itself: its path, then the copy's path", 2},
    {42, "progress line before the action with key 30001 (first of two)", -1},
    {43, "confirmation in the first stage, Yes/No, not with -s: the product name", 1},
    {44, "label of the button that deletes the selected leftover file", -1},
    {45, "label of the button that deletes all leftover files", -1},
    {46, "label of the button that closes the leftover list", -1},
    {48, "first part of the title of the dialog and of every message box", -1},
    {49, "fatal error when the second stage cannot be started: its command line", 1},
    {50, "progress line after the main phase", -1},
    {51, "Yes/No question before a P record of mode 1 removes a file: the file's path", 1},
    {52, "Yes/No question when a leftover file cannot be deleted, Yes retries: the path", 1},
    {53, "text above the leftover list", -1},
    {54, "progress line before the action with key 19999", -1},
    {55, "progress line before the action with key 21001", -1},
    {58, "progress line before the action with key 30001 (second of two)", -1},
    {81, "progress line before the action with key 3001 (first stage: shown nowhere)", -1},
};

const char* TextUse(int id)
{
    for (const auto& t : TEXT_USES)
        if (t.id == id)
            return t.use;
    return 0;
}

int TextArguments(int id)
{
    for (const auto& t : TEXT_USES)
        if (t.id == id)
            return t.arguments;
    return -1;
}

std::string FormatWith(const std::string& format, const std::vector<std::string>& arguments)
{
    std::vector<const char*> pointers;
    for (const std::string& a : arguments)
        pointers.push_back(a.c_str());
    char text[MESSAGE_MAX];
    FormatText(text, sizeof text, format.c_str(), pointers.data(), (int)pointers.size());
    return text;
}

bool IsEarly(int key)
{
    return key < PHASE_BOUNDARY_KEY;
}

bool EarlyLetter(char letter)
{
    return letter == 'B' || letter == 'C' || letter == 'D' || letter == 'E';
}

const TextEntry* FindText(const Log& log, int id)
{
    for (const TextEntry& t : log.texts)
        if (t.id == id)
            return &t;
    return 0;
}

std::string TextOrEmpty(const Log& log, int id)
{
    const TextEntry* t = FindText(log, id);
    return t ? t->text : std::string();
}

static bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Lines as an editor counts them: CR LF, a lone CR and a lone LF each end one.
static void SplitLines(Log& log)
{
    const std::string& b = log.bytes;
    size_t start = 0;
    for (size_t i = 0; i <= b.size(); i++) {
        bool end = i == b.size();
        if (!end && b[i] != '\r' && b[i] != '\n')
            continue;
        if (end && start == b.size())
            break;
        LogLine line = LogLine();
        line.number = (int)log.lines.size() + 1;
        line.start = start;
        line.bytes = b.substr(start, i - start);
        line.hasLineEnd = !end;
        line.use = line.bytes.empty() ? LINE_BLANK : LINE_IGNORED;
        line.repeatOf = -1;
        log.lines.push_back(line);
        if (!end && b[i] == '\r' && i + 1 < b.size() && b[i + 1] == '\n')
            i++;
        start = i + 1;
    }
}

// Why a line that the reader passes over is not a record line.
static std::string IgnoredReason(const LogLine& line, bool firstLine)
{
    const std::string& s = line.bytes;
    if (!line.hasLineEnd)
        return "no line end follows it: the last line of a log is read only when a line end ends it";
    if (s.find('\0') != std::string::npos)
        return "it holds a zero byte: the whole line is passed over";
    if (IsDigit(s[0]))
        return "it starts with a digit";
    if (firstLine && s.size() >= 3 && (unsigned char)s[0] == 0xEF && (unsigned char)s[1] == 0xBB && (unsigned char)s[2] == 0xBF)
        return "it starts with a byte-order mark: save the log without one";
    if (s.size() == 1)
        return "a one-character line";
    if (s[0] == '[')
        return "a section header";
    if (s[1] == ' ' || s[1] == '\t')
        return "a blank follows its first character, where the key's digits belong";
    return "its second character is not a digit";
}

// The key field's digits as one number, not cut to 32 bits (0 when there are none).
static unsigned long long KeyNumber(const std::string& bytes)
{
    unsigned long long value = 0;
    for (size_t i = 1; i < bytes.size() && IsDigit(bytes[i]); i++) {
        value = value * 10 + (unsigned long long)(bytes[i] - '0');
        if (value > 0xFFFFFFFFFFull)
            break; // far beyond every key; enough to say so
    }
    return value;
}

static bool NamesNoKey(const char* keyPath)
{
    for (const char* p = keyPath; *p; p++)
        if (*p != '\\')
            return false;
    return true;
}

// The first stage's second reading: every J record below the Uninstall key, on the reader's lines.
static void FindUninstallEntries(Log& log)
{
    for (size_t i = 0; i < log.lines.size(); i++) {
        const std::string& record = log.lines[i].record;
        LineUse use = log.lines[i].use;
        if ((use != LINE_TEXT && use != LINE_ACTION && use != LINE_NOTHING) || record.size() < 4 || record[0] != 'J' ||
            !StartsWithText(record.c_str() + 3, UNINSTALL_KEY_PREFIX))
            continue;
        std::string keyPath = record.substr(3);
        if (keyPath.size() >= UNINSTALL_COPY_BUFFER)
            continue;
        size_t cut = keyPath.size() - 1;
        while (cut > 0 && keyPath[cut] != ',')
            cut--;
        if (cut == 0)
            continue;
        keyPath.resize(cut);
        if (NamesNoKey(keyPath.c_str() + sizeof UNINSTALL_KEY_PREFIX - 1))
            continue;
        log.uninstallEntries.push_back(UninstallEntry{(int)i, keyPath});
    }
}

// The order of the program's sets: its comparison of names, case ignored in the user's locale.
struct Collation {
    bool operator()(const std::string& a, const std::string& b) const
    {
        return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN; // 0x400, 1
    }
};

// A file is handled once per run: a P record naming a file that an earlier P record (or a K record
// whose count reaches zero) has handled leaves it alone.
static void NoteFilesHandledBefore(Log& log)
{
    std::map<std::string, size_t, Collation> firstOf;
    for (size_t i = 0; i < log.actions.size(); i++) {
        PlannedAction& a = log.actions[i];
        char letter = log.lines[a.line].letter;
        const PatternView& p = a.view.pattern;
        std::string path;
        if (letter == 'P' && a.view.refused.empty() && !p.wildcard && p.name.find_first_of("*?") == std::string::npos)
            path = p.pattern;
        else if (letter == 'K' && a.view.refused.empty() && !a.view.fields.empty())
            path = a.view.fields[0].text;
        else
            continue;
        auto found = firstOf.find(path);
        if (found == firstOf.end()) {
            firstOf[path] = i;
            continue;
        }
        const PlannedAction& first = log.actions[found->second];
        bool shared = log.lines[first.line].letter == 'K';
        if (letter == 'P')
            a.view.notes.push_back("line " + std::to_string(log.lines[first.line].number) + " (key " + std::to_string(first.key) +
                                   ") handles the same file first" + (shared ? " when its count reaches zero" : "") +
                                   ": a file is handled once, so this record leaves it alone");
    }
}

#ifndef _WIN32
// The program cuts the product name and the title at 127 characters at a character boundary; this
// build knows no double-byte characters and cuts at a byte.
static std::string CutForDisplay(const std::string& text)
{
    return text.substr(0, PRODUCT_FIELD - 1);
}
#endif

static void BuildTitle(Log& log)
{
#ifdef _WIN32
    BuildTitles();
    log.product = g_productName;
    log.caption = g_caption;
#else
    log.product = CutForDisplay(GetLogString(10));
    log.caption = CutForDisplay(std::string(GetLogString(48)) + " " + log.product);
#endif
}

int ReadLog(const std::string& path, Log& log, std::string& error)
{
    log = Log();
    log.path = path;
    if (!ReadWholeFile(path, log.bytes, error))
        return 0;
    if ((unsigned long long)log.bytes.size() >= 0xFFFFFFFFull) {
        error = "the log has 4 GB or more; the program refuses it (\"Can't open uninstal log file\")";
        return 0;
    }
    if (path.size() >= PATH_BUFFER) {
        error = "the log's path has more than 511 characters";
        return 0;
    }
    for (char c : log.bytes)
        if ((unsigned char)c > 127)
            log.highBytes = true;

    // The program's own reading fills ActionList and StringTable.
    ResetLogState();
    AllocateRunTables();
    CopyText(g_logPath, PATH_BUFFER, path.c_str());
#ifndef _WIN32
    HostClearFiles();
    HostSetFile(path, log.bytes);
#endif
    ReadUninstallLog();
    BuildTitle(log);

    // A second walk with the same routines over a copy, from an empty RecordSet, tells line by
    // line what the first made of it.
    SplitLines(log);
    std::map<size_t, int> lineAt;
    for (size_t i = 0; i < log.lines.size(); i++)
        lineAt[log.lines[i].start] = (int)i;
    std::vector<char> copy(log.bytes.begin(), log.bytes.end());
    copy.push_back(0);
    char* base = copy.data();
    char* end = base + log.bytes.size();
    int firstCount = RecordSet.count;
    RecordSet.count = 0;
    int firstCounters[AUTO_KEY_LETTERS];
    memcpy(firstCounters, g_autoKeyCounters, sizeof firstCounters);
    ZeroBytes(g_autoKeyCounters, sizeof g_autoKeyCounters);
    std::map<size_t, int> recordAt;
    char* position = base;
    char* text;
    while ((text = NextRecordLine(&position, end)) != 0) {
        auto found = lineAt.find((size_t)(text - base));
        if (found == lineAt.end()) {
            error = "internal: a record line that starts inside a line";
            return 0;
        }
        LogLine& line = log.lines[found->second];
        line.letter = text[0];
        line.keyNumber = KeyNumber(line.bytes);
        int before = RecordSet.count;
        int counters[AUTO_KEY_LETTERS];
        memcpy(counters, g_autoKeyCounters, sizeof counters);
        char* record = text;
        line.key = ParseRecordKey(&record);
        line.recordOffset = (size_t)(record - base);
        line.record = record;
        recordAt[line.recordOffset] = found->second;
        for (int k = 0; k < AUTO_KEY_LETTERS; k++)
            if (g_autoKeyCounters[k] != counters[k])
                line.counter = g_autoKeyCounters[k];
        if (line.letter != 'A' && RecordSet.count == before) {
            line.repeat = true;
            line.setFull = before >= SET_CAPACITY;
            if (!line.setFull && SetLocate(&RecordSet, record) == 0) {
                auto earlier = recordAt.find((size_t)(RecordSet.items[RecordSet.pos] - base));
                if (earlier != recordAt.end())
                    line.repeatOf = earlier->second;
            }
        }
        if (line.key == KEY_IGNORED) {
            line.use = LINE_NOTHING;
            line.reason = line.keyNumber > 0x7FFFFFFFull ? "its key is beyond 2147483647: the line is passed over"
                                                          : "key 65535 makes a line neither a text nor an action";
        } else {
            line.use = line.key >= FIRST_ACTION_KEY ? LINE_ACTION : LINE_TEXT;
        }
    }
    if (RecordSet.count != firstCount || memcmp(firstCounters, g_autoKeyCounters, sizeof firstCounters) != 0) {
        error = "internal: the second reading did not see what the first saw";
        return 0;
    }
    RecordSet.count = 0; // its strings were in the copy
    for (size_t i = 0; i < log.lines.size(); i++)
        if (log.lines[i].use == LINE_IGNORED)
            log.lines[i].reason = IgnoredReason(log.lines[i], i == 0);

    // The program's tables, entry by entry, matched to their lines by where they stand in the file.
    for (int i = 0; i < ActionList.count; i++) {
        const ActionEntry& entry = ActionList.entries[i];
        auto found = recordAt.find((size_t)(entry.record - g_logBuffer));
        if (found == recordAt.end() || log.lines[found->second].key != entry.key) {
            error = "internal: an action that no line explains";
            return 0;
        }
        log.lines[found->second].kept = true;
        PlannedAction action = PlannedAction();
        action.order = i + 1;
        action.key = entry.key;
        action.line = found->second;
        switch (entry.key) {
        case 3001: action.progressTexts = {81}; break;
        case 19999: action.progressTexts = {54}; break;
        case 21001: action.progressTexts = {55}; break;
        case 30001: action.progressTexts = {42, 58}; break;
        case 64999: action.pause = true; break;
        default: break;
        }
        action.view = ViewRecord(log.lines[found->second].record);
        log.actions.push_back(action);
    }
    for (int slot = 0; slot < StringTable.count; slot++) {
        auto found = recordAt.find((size_t)(StringTable.texts[slot] - 1 - g_logBuffer));
        if (found == recordAt.end()) {
            error = "internal: a text that no line explains";
            return 0;
        }
        log.lines[found->second].kept = true;
        int id = StringTable.ids[slot];
        log.texts.push_back(TextEntry{id, found->second, GetLogString(id), strlen(StringTable.texts[slot])});
    }
    std::sort(log.texts.begin(), log.texts.end(), [](const TextEntry& a, const TextEntry& b) { return a.id < b.id; });
    for (const LogLine& line : log.lines) {
        if (line.use == LINE_ACTION && !line.kept)
            log.droppedActions++;
        if (line.use == LINE_TEXT && !FindText(log, line.key))
            log.droppedTexts++;
    }
    NoteFilesHandledBefore(log);
    FindUninstallEntries(log);
    return 1;
}
