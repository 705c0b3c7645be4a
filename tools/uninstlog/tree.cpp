// uninstlog tree: a log that removes an installed copy of a folder, with the texts a run shows.
#include "uninstlog.h"
#include <stdio.h>

enum {
    PATH_LIMIT = 511,        // characters of a path the removal code handles
    DESCENT_LIMIT = 507,     // a folder's path plus "\*.*" must fit the same buffer
    COMPONENT_LIMIT = 255    // characters of one name
};

// The texts of a whole run: title, confirmation, errors, progress, leftover list, questions.
static const char* const TREE_TEXTS[] = {
    "A48,Uninstall",
    "A43,Remove %s and all of its components?",
    "A36,The uninstaller cannot copy %s to %s.",
    "A49,The uninstaller cannot start %s.",
    "A42,Removing files...",
    "A58,This may take a moment.",
    "A50,Done.",
    "A13,Close",
    "A53,These files could not be removed. Delete them now?",
    "A44,&Delete",
    "A45,Delete &all",
    "A46,&Close",
    "A51,Remove %s?",
    "A52,%s could not be deleted. Try again?"};

static std::string Folded(const std::string& s)
{
    std::string out = s;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = (char)(c + 32);
        if (c == '/')
            c = '\\';
    }
    return out;
}

// Why the installed path cannot be named by one U record, empty when it can.
static std::string RefusedInstalledPath(const std::string& path)
{
    bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' && path[2] == '\\';
    bool share = path.compare(0, 2, "\\\\") == 0;
    if (!drive && !share)
        return "the installed path must be absolute, as C:\\Program Files\\Example or \\\\server\\share\\Example";
    for (char c : path)
        if (c == ',' || c == '"' || c == '*' || c == '?' || c == '<' || c == '>' || c == '|' || c == '/' || (unsigned char)c < 32)
            return std::string("the installed path holds ") + (c == ',' ? "a comma, which ends a field" : c == '"' ? "a quote, which stays part of the path" :
                                                                  "a character that no path may hold") + "";
    PatternView p = ViewPattern(path);
    if (!p.refused.empty() || p.name.empty())
        return "the installed path cannot be removed as a tree: " + (p.refused.empty() ? std::string("it is a root") : p.refused);
    if (Normalised(path).size() <= 2 || p.folder.empty())
        return "the installed path is a drive root";
    std::string usual = UsualSystemFolder(path);
    if (!usual.empty())
        return "the installed path is " + usual + " on most machines, a folder the uninstaller never removes";
    return std::string();
}

int TreeCommand(const std::vector<std::string>& arguments)
{
    std::vector<std::string> positional, asks;
    std::string product, output, logName = "uninstal.ini";
    for (size_t i = 0; i < arguments.size(); i++) {
        const std::string& a = arguments[i];
        bool hasValue = i + 1 < arguments.size();
        if (a == "--ask" && hasValue)
            asks.push_back(arguments[++i]);
        else if (a == "--product" && hasValue)
            product = arguments[++i];
        else if (a == "--output" && hasValue)
            output = arguments[++i];
        else if (a == "--log-name" && hasValue)
            logName = arguments[++i];
        else if (a.compare(0, 2, "--") == 0)
            positional.clear(), positional.resize(3);
        else
            positional.push_back(a);
    }
    if (positional.size() != 2) {
        fprintf(stderr, "usage: uninstlog tree FOLDER INSTALLED-PATH [--ask NAME]... [--product NAME] [--log-name NAME] [--output FILE]\n");
        return STATUS_UNREADABLE;
    }
    std::string folder = positional[0], installed = positional[1];
    if (installed.size() > 3 && installed.back() == '\\')
        installed.pop_back();
    std::string refused = RefusedInstalledPath(installed);
    if (refused.empty() && installed.size() > DESCENT_LIMIT)
        refused = "the installed path has more than " + std::to_string(DESCENT_LIMIT) + " characters";
    if (!refused.empty()) {
        fprintf(stderr, "uninstlog: %s\n", refused.c_str());
        return STATUS_WARNINGS;
    }
    if (product.empty())
        product = installed.substr(installed.rfind('\\') + 1);
    std::vector<FolderEntry> entries;
    std::string error;
    if (!ListFolder(folder, entries, error)) {
        fprintf(stderr, "uninstlog: %s\n", error.c_str());
        return STATUS_UNREADABLE;
    }
    bool highBytes = false;
    for (const FolderEntry& e : entries) {
        std::string path = installed + "\\" + e.relative;
        std::string name = e.relative.substr(e.relative.rfind('\\') + 1);
        if (path.size() > (e.folder ? (size_t)DESCENT_LIMIT : (size_t)PATH_LIMIT) || name.size() > COMPONENT_LIMIT) {
            fprintf(stderr, "uninstlog: %s would be too long for the uninstaller, which handles paths of %d characters\n", path.c_str(), PATH_LIMIT);
            return STATUS_WARNINGS;
        }
        for (char c : e.relative)
            if ((unsigned char)c > 127)
                highBytes = true;
    }
    std::string log = "[Uninstall]\r\nA10," + product + "\r\n";
    for (const char* text : TREE_TEXTS)
        log += std::string(text) + "\r\n";
    for (const std::string& ask : asks) {
        std::string wanted = Folded(ask);
        bool byName = wanted.find('\\') == std::string::npos;
        bool found = false;
        for (const FolderEntry& e : entries) {
            std::string relative = Folded(e.relative);
            std::string name = relative.substr(relative.rfind('\\') + 1);
            if (e.folder || (byName ? name != wanted : relative != wanted))
                continue;
            if (e.relative.find(',') != std::string::npos) {
                fprintf(stderr, "uninstlog: %s holds a comma, which no record can name\n", e.relative.c_str());
                return STATUS_WARNINGS;
            }
            log += "P0," + installed + "\\" + e.relative + ",1\r\n";
            found = true;
        }
        if (!found) {
            fprintf(stderr, "uninstlog: --ask %s: no such file in %s\n", ask.c_str(), folder.c_str());
            return STATUS_WARNINGS;
        }
    }
    // The tree goes last of all: its automatic key, 64999, is the last one.
    log += "U0," + installed + ",1\r\n";

    // What is written must lint clean.
    std::string check = output.empty() ? TemporaryFile(error) : output;
    if (check.empty() || !WriteWholeFile(check, log, error)) {
        fprintf(stderr, "uninstlog: %s\n", error.c_str());
        return STATUS_UNREADABLE;
    }
    Log read;
    bool readBack = ReadLog(check, read, error) != 0;
    if (output.empty())
        remove(check.c_str());
    if (!readBack) {
        fprintf(stderr, "uninstlog: %s\n", error.c_str());
        return STATUS_UNREADABLE;
    }
    LintOptions options;
    options.installedLog = installed + "\\" + logName;
    std::vector<Warning> warnings = LintLog(read, options);
    for (const Warning& w : warnings)
        fprintf(stderr, "uninstlog: the log would not lint clean: line %d: %s: %s\n", w.line, w.code.c_str(), w.message.c_str());
    if (!warnings.empty())
        return STATUS_WARNINGS;
    if (highBytes && NativeBuild())
        fprintf(stderr, "uninstlog: note: names above 127 are written with the bytes they have here; the log must hold them in the "
                        "code page of the user's system\n");
    if (output.empty())
        Emit(log);
    return STATUS_DONE;
}
