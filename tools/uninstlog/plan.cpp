// uninstlog plan: the run as the program will carry it out, for people or as JSON.
#include "uninstlog.h"
#include "common/common.h"
#include <stdio.h>

static std::string FieldText(const FieldValue& f)
{
    std::string value;
    if (f.isNumber)
        value = std::to_string(f.number);
    else if (f.isList)
        value = std::to_string(f.list.size());
    else
        value = Quoted(f.text);
    if (!f.meaning.empty())
        value += " (" + f.meaning + ")";
    return value;
}

static std::string ActionText(const Log& log, const PlannedAction& a)
{
    const LogLine& line = log.lines[a.line];
    std::string out;
    for (int id : a.progressTexts)
        out += "    progress line, text " + std::to_string(id) + ": " + Quoted(TextOrEmpty(log, id)) + "\n";
    if (a.pause)
        out += "    pause of 100 ms\n";
    out += "    " + std::to_string(a.order) + ". key " + std::to_string(a.key) + ", line " + std::to_string(line.number) + ": " +
           std::string(1, line.letter) + " " + a.view.kind + "\n";
    for (const FieldValue& f : a.view.fields) {
        if (f.label.empty())
            continue; // for machines: what the words of the effect say
        if (f.isList) {
            for (size_t i = 0; i < f.list.size(); i++)
                out += "         argument " + std::to_string(i + 1) + ": " + Quoted(f.list[i]) + "\n";
        } else {
            out += "         " + f.label + ": " + FieldText(f) + "\n";
        }
    }
    for (const std::string& note : a.view.notes)
        out += "         note: " + note + "\n";
    if (!a.view.refused.empty())
        out += "         passed over: " + a.view.refused + "\n";
    else
        out += "         does: " + a.view.effect + "\n";
    return out;
}

// Every line the run does nothing with, and why.
static std::vector<std::pair<int, std::string>> IgnoredLines(const Log& log)
{
    std::vector<std::pair<int, std::string>> out;
    for (const LogLine& line : log.lines) {
        std::string reason;
        if (line.use == LINE_IGNORED || line.use == LINE_NOTHING) {
            reason = line.reason;
        } else if (line.use == LINE_ACTION && !line.kept) {
            reason = "an action beyond the 19999th: the action list is full and it is dropped";
        } else if (line.use == LINE_TEXT && line.key == 0) {
            if (line.setFull)
                reason = "the 20001st distinct record or later: it counts as a repeat and becomes text 0, which is never shown";
            else if (line.repeat && line.repeatOf >= 0)
                reason = "it repeats line " + std::to_string(log.lines[line.repeatOf].number) +
                         " (records are compared ignoring case), draws no key and becomes text 0, which is never shown";
            else if (line.letter == 'A')
                reason = "text 0 is never shown";
            else
                reason = std::string("key 0 and the letter ") + line.letter + " draws no automatic key: it becomes text 0, which is never shown";
        } else if (line.use == LINE_TEXT && !line.kept) {
            const TextEntry* t = FindText(log, line.key);
            reason = t ? "text " + std::to_string(line.key) + " is replaced by line " + std::to_string(log.lines[t->line].number)
                       : "text " + std::to_string(line.key) + " is a new id with the text table full (1000 ids): it is dropped";
        }
        if (!reason.empty())
            out.push_back(std::make_pair(line.number, reason));
    }
    return out;
}

static std::string Confirmation(const Log& log)
{
    return FormatWith(TextOrEmpty(log, 43), {log.product});
}

static std::string PlanText(const Log& log)
{
    std::string out = "plan of " + log.path + "\n";
    if (log.highBytes && NativeBuild())
        out += "note: " + std::string(HighByteNote()) + "\n";
    out += "title: " + Quoted(log.caption) + "\n\n";
    out += "first stage, the uninstaller started in the installation folder:\n";
    out += "  asks (not with -s), text 43: " + Quoted(Confirmation(log)) + "\n";
    out += "  copies itself into the work folder (when it cannot: text 36, and the uninstall ends with exit code " +
           std::to_string(EXIT_FATAL) + ")\n";
    out += "  early phase:\n";
    size_t i = 0;
    bool any = false;
    for (; i < log.actions.size() && IsEarly(log.actions[i].key); i++, any = true)
        out += ActionText(log, log.actions[i]);
    if (!any)
        out += "    nothing\n";
    out += "  deletes the Add/Remove Programs keys that J records name, with every key below them, under HKEY_LOCAL_MACHINE:\n";
    for (const UninstallEntry& e : log.uninstallEntries)
        out += "    line " + std::to_string(log.lines[e.line].number) + ": " + Quoted(e.keyPath) + "\n";
    if (log.uninstallEntries.empty())
        out += "    none\n";
    out += "  starts the second stage (when it cannot: text 49, and the uninstall ends with exit code " +
           std::to_string(EXIT_FATAL) + ")\n\n";
    out += "second stage, the copy in the work folder:\n";
    out += "  main phase:\n";
    any = false;
    for (; i < log.actions.size(); i++, any = true)
        out += ActionText(log, log.actions[i]);
    if (!any)
        out += "    nothing\n";
    out += "  progress line, text 50: " + Quoted(TextOrEmpty(log, 50)) + "\n";
    out += "  with files left over: the list under text 53, buttons of texts 44, 45 and 46, and text 52 when a file cannot "
           "be deleted; without: the button of text 13 (with -s: no dialog)\n\n";
    out += "texts by id:\n";
    for (const TextEntry& t : log.texts) {
        const char* use = TextUse(t.id);
        out += "  " + std::to_string(t.id) + ", line " + std::to_string(log.lines[t.line].number) + ": " + Quoted(t.text) + "\n";
        if (t.length > t.text.size())
            out += "       shown cut to its first 511 of " + std::to_string(t.length) + " characters\n";
        out += "       " + std::string(use ? use : t.id == 0 ? "where key-0 records and repeats land: never shown" : "not shown by the uninstaller") + "\n";
    }
    if (log.texts.empty())
        out += "  none\n";
    out += "\nlines the run does nothing with:\n";
    std::vector<std::pair<int, std::string>> ignored = IgnoredLines(log);
    for (const auto& line : ignored)
        out += "  line " + std::to_string(line.first) + ": " + line.second + "\n";
    if (ignored.empty())
        out += "  none\n";
    return out;
}

static void JsonActions(std::string& out, const Log& log)
{
    out += "  \"actions\": [";
    for (size_t i = 0; i < log.actions.size(); i++) {
        const PlannedAction& a = log.actions[i];
        const LogLine& line = log.lines[a.line];
        out += i ? ",\n    {" : "\n    {";
        out += "\"order\": " + std::to_string(a.order) + ", \"key\": " + std::to_string(a.key) +
               ", \"line\": " + std::to_string(line.number) + ", \"phase\": " + (IsEarly(a.key) ? "\"early\"" : "\"main\"") +
               ", \"stage\": " + (IsEarly(a.key) ? "\"first\"" : "\"second\"") + ", \"type\": ";
        JsonString(out, std::string(1, line.letter));
        out += ", \"kind\": ";
        JsonString(out, a.view.kind);
        out += ", \"record\": ";
        JsonString(out, line.record);
        out += ", \"progress\": [";
        for (size_t k = 0; k < a.progressTexts.size(); k++) {
            out += k ? ", " : "";
            out += "{\"text\": " + std::to_string(a.progressTexts[k]) + ", \"shows\": ";
            JsonString(out, TextOrEmpty(log, a.progressTexts[k]));
            out += "}";
        }
        out += std::string("], \"pause\": ") + (a.pause ? "true" : "false") + ", \"fields\": {";
        for (size_t k = 0; k < a.view.fields.size(); k++) {
            out += k ? ", " : "";
            JsonField(out, a.view.fields[k]);
        }
        out += "}, \"refused\": ";
        if (a.view.refused.empty())
            out += "null";
        else
            JsonString(out, a.view.refused);
        out += ", \"effect\": ";
        JsonString(out, a.view.effect);
        out += ", \"notes\": [";
        for (size_t k = 0; k < a.view.notes.size(); k++) {
            out += k ? ", " : "";
            JsonString(out, a.view.notes[k]);
        }
        out += "]}";
    }
    out += log.actions.empty() ? "],\n" : "\n  ],\n";
}

static std::string PlanJson(const Log& log)
{
    std::string out = "{\n  \"log\": ";
    JsonString(out, log.path);
    out += ",\n  \"note\": ";
    if (log.highBytes && NativeBuild())
        JsonString(out, HighByteNote());
    else
        out += "null";
    out += ",\n  \"title\": ";
    JsonString(out, log.caption);
    out += ",\n  \"product\": ";
    JsonString(out, log.product);
    out += ",\n  \"confirmation\": ";
    JsonString(out, Confirmation(log));
    out += ",\n";
    JsonActions(out, log);
    out += "  \"uninstallEntries\": [";
    for (size_t i = 0; i < log.uninstallEntries.size(); i++) {
        out += i ? ", " : "";
        out += "{\"line\": " + std::to_string(log.lines[log.uninstallEntries[i].line].number) + ", \"keyPath\": ";
        JsonString(out, log.uninstallEntries[i].keyPath);
        out += "}";
    }
    out += "],\n  \"texts\": [";
    for (size_t i = 0; i < log.texts.size(); i++) {
        const TextEntry& t = log.texts[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"id\": " + std::to_string(t.id) + ", \"line\": " + std::to_string(log.lines[t.line].number) + ", \"text\": ";
        JsonString(out, t.text);
        out += ", \"length\": " + std::to_string(t.length) + ", \"use\": ";
        if (TextUse(t.id))
            JsonString(out, TextUse(t.id));
        else
            out += "null";
        out += "}";
    }
    out += log.texts.empty() ? "],\n" : "\n  ],\n";
    out += "  \"ignored\": [";
    std::vector<std::pair<int, std::string>> ignored = IgnoredLines(log);
    for (size_t i = 0; i < ignored.size(); i++) {
        out += i ? ",\n    " : "\n    ";
        out += "{\"line\": " + std::to_string(ignored[i].first) + ", \"reason\": ";
        JsonString(out, ignored[i].second);
        out += "}";
    }
    out += ignored.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

int PlanCommand(const std::vector<std::string>& arguments)
{
    bool json = false;
    std::vector<std::string> files;
    for (const std::string& a : arguments) {
        if (a == "--json")
            json = true;
        else
            files.push_back(a);
    }
    if (files.size() != 1) {
        fprintf(stderr, "usage: uninstlog plan [--json] LOG\n");
        return STATUS_UNREADABLE;
    }
    Log log;
    std::string error;
    if (!ReadLog(files[0], log, error)) {
        fprintf(stderr, "uninstlog: %s\n", error.c_str());
        return STATUS_UNREADABLE;
    }
    Emit(json ? PlanJson(log) : PlanText(log));
    return STATUS_DONE;
}
