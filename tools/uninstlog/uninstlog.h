// The authoring tool's shared types: a log as the program reads it, what each record does, the commands.
#pragma once
#include <stddef.h>
#include <string>
#include <vector>

// Exit statuses of every command.
enum {
    STATUS_DONE = 0,        // lint: no warning; plan, stamp, tree: done
    STATUS_WARNINGS = 1,    // lint: warnings; stamp and tree: a name, path or file refused
    STATUS_UNREADABLE = 2   // a file that cannot be read or written, or a command line that says nothing
};

// What the program's reader made of one line.
enum LineUse {
    LINE_BLANK,     // empty: part of a run of line ends
    LINE_IGNORED,   // not a record line
    LINE_TEXT,      // a record line with a key from 0 to 1000: a text
    LINE_ACTION,    // a record line with a key of 1001 or more: an action
    LINE_NOTHING    // a record line with key 65535 or a key beyond 2147483647
};

// One line as an editor counts them (CR LF, CR and LF each end one line).
struct LogLine {
    int number;             // from 1
    size_t start;           // offset of its first byte in the file
    std::string bytes;      // its bytes, without the line end
    bool hasLineEnd;
    LineUse use;
    std::string reason;     // LINE_IGNORED and LINE_NOTHING: why the program does nothing with it
    // Record lines only (LINE_TEXT, LINE_ACTION, LINE_NOTHING):
    char letter;
    int key;                // as ParseRecordKey gave it
    unsigned long long keyNumber; // the number its key field's digits make (not cut to 32 bits)
    bool repeat;            // a non-A record seen before (ignoring case), or one that found RecordSet full
    bool setFull;           // RecordSet was full when it came
    int repeatOf;           // index of the line it repeats, -1 when none
    int counter;            // the automatic number it drew for its letter, 0 when none
    size_t recordOffset;    // offset of its LogRecord in the file
    std::string record;     // the LogRecord: the letter, then the fields
    bool kept;              // action: in ActionList; text: its id shows this line's text
};

// One field as a handler reads it.
struct FieldValue {
    std::string name;       // machine name (JSON key)
    std::string label;      // for people; empty for a field that only machines read
    bool isNumber;
    long long number;
    std::string text;
    bool isList;
    std::vector<std::string> list;
    std::string meaning;    // what the value means to the handler, may be empty
};

// A P or U record's path pattern, split as the removal code splits it.
struct PatternView {
    std::string pattern, folder, name, base, extension, search;
    bool wildcard, baseWildcard, extensionWildcard, takesAll;
    std::string refused;    // why nothing is taken at all, empty when the search runs
    std::string takesNothing; // why a search that runs can find nothing
    std::string wellKnown;  // a folder that is a system folder on most machines, where every-entry patterns are refused
};

// What a record does when its handler runs.
struct RecordView {
    std::string kind;                // "file removal", ...
    std::vector<FieldValue> fields;  // in the order the handler reads them
    std::string refused;             // why the handler passes it over; empty when it acts
    std::string effect;              // what it does, in words
    std::vector<std::string> notes;  // what the author may not expect (missing fields...)
    int fieldCount;                  // fields as the field routine counts them
    bool hasHandler;                 // B C D E J K M P U
    PatternView pattern;             // P and U only
    int mode;                        // P and U only: the low 8 bits of field 1
};

struct PlannedAction {
    int order;                       // from 1, in run order
    int key;
    int line;                        // index into Log::lines
    std::vector<int> progressTexts;  // texts added to the progress list before it
    bool pause;                      // the 100 ms pause before it
    RecordView view;
};

struct TextEntry {
    int id;
    int line;               // index into Log::lines of the line whose text it is
    std::string text;       // as the program hands it out (at most 511 characters)
    size_t length;          // whole length in the log
};

// A J record that the first stage's pass over Add/Remove Programs entries acts on.
struct UninstallEntry {
    int line;               // index into Log::lines
    std::string keyPath;    // under HKEY_LOCAL_MACHINE
};

struct Log {
    std::string path;
    std::string bytes;
    std::vector<LogLine> lines;
    std::vector<PlannedAction> actions;  // run order
    std::vector<TextEntry> texts;        // ascending ids
    std::vector<UninstallEntry> uninstallEntries;
    std::string product;                 // g_productName
    std::string caption;                 // g_caption: the title of the dialog and of every box
    bool highBytes;                      // a byte above 127 somewhere
    int droppedActions;                  // beyond the 19999th
    int droppedTexts;                    // new ids that found the table full
};

// Reading (logfile.cpp). Returns 0 and says why in error when the file cannot be read.
int ReadLog(const std::string& path, Log& log, std::string& error);
const TextEntry* FindText(const Log& log, int id);
std::string TextOrEmpty(const Log& log, int id);
const char* TextUse(int id);        // where the program shows text id, 0 when it never does
int TextArguments(int id);          // arguments of a format text, -1 for a text shown as it stands
std::string FormatWith(const std::string& format, const std::vector<std::string>& arguments); // as the message box does
bool IsEarly(int key);              // runs in the early phase, first stage
bool EarlyLetter(char letter);      // B C D E: the early phase is their phase

// Records (records.cpp).
RecordView ViewRecord(const std::string& record);
PatternView ViewPattern(const std::string& pattern);
int FieldCount(const std::string& fields);
const char* RecordKind(char letter);
bool SameTextOf(const std::string& a, const std::string& b);  // the program's comparison
bool MatchesName(const PatternView& pattern, const std::string& fileName); // would the pattern take this entry name
std::vector<std::string> PathParts(const std::string& path); // split at backslashes, empty parts kept
std::string Normalised(const std::string& folder);     // "." and ".." taken out, no trailing backslash
bool Inside(const std::string& path, const std::string& folder); // path is the folder or lies below it
std::string UsualSystemFolder(const std::string& folder); // the system folder it is on most machines, or empty

// Output (output.cpp).
std::string Quoted(const std::string& bytes);          // "..." with control characters escaped
void JsonString(std::string& out, const std::string& bytes);
void JsonField(std::string& out, const FieldValue& field);
bool NativeBuild();                                    // the build over the host layer
const char* HighByteNote();                            // said once when a log holds bytes above 127
void Emit(const std::string& text);                    // to standard output, bytes as they are

// Platform (platform.cpp).
int ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);
int WriteWholeFile(const std::string& path, const std::string& bytes, std::string& error); // through a file beside it
struct FolderEntry {
    std::string relative;   // below the listed folder, backslashes
    bool folder;
};
int ListFolder(const std::string& root, std::vector<FolderEntry>& entries, std::string& error); // whole tree, sorted
std::string TemporaryFile(std::string& error); // a new empty file of its own, empty when none can be made

// Commands.
int PlanCommand(const std::vector<std::string>& arguments);
int LintCommand(const std::vector<std::string>& arguments);
int StampCommand(const std::vector<std::string>& arguments);
int TreeCommand(const std::vector<std::string>& arguments);

// Lint (lint.cpp), also used by tree to check what it wrote.
struct Warning {
    int line;               // line number, 0 for the log as a whole
    std::string code;
    std::string message;
};
struct LintOptions {
    std::string installedLog;   // the log's path on the user's machine, empty when not known
    std::string uninstallerName; // the uninstaller's file name beside it
};
std::vector<Warning> LintLog(const Log& log, const LintOptions& options);

// Stamp (stamp.cpp).
std::string RefusedLogName(const std::string& name);            // why the name cannot be stamped, empty when it can
std::string NotOurExecutable(const std::string& bytes, size_t* imageEnd); // why it is not ours, empty when it is
