// Fuzz target: the log reader on a whole log, with the tables set up as stage control does.
//
// Input: one control byte, then the log. Control bit 0x80 repeats the log 2 to the power (c & 0x0F)
// times (up to 32768) with every '#' replaced by the repetition number, so that table limits
// (19999 actions, 1000 texts, 20000 records) are reached from small inputs, while most mutations
// stay small and quick; bit 0x40 makes the read stop halfway.
#include "host/host.h"
#include "host/windows.h"
#include "common/common.h"
#include "log/log.h"
#include "startup/startup.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

static const char LOG_PATH[] = "C:\\App\\uninstal.ini";
static const size_t EXPANDED_MAX = 1u << 20; // enough for every table limit, small enough to stay quick

static std::string BuildLog(const uint8_t* data, size_t size)
{
    unsigned char control = data[0];
    std::string body((const char*)data + 1, size - 1);
    if (!(control & 0x80))
        return body;
    std::string log;
    int repeats = 1 << (control & 0x0F);
    for (int i = 0; i < repeats && log.size() < EXPANDED_MAX; i++) {
        std::string number = std::to_string(i);
        for (char c : body) {
            if (c == '#')
                log += number;
            else
                log += c;
        }
    }
    return log;
}

// The zero that ends a text must lie inside the log block.
static void CheckInsideLog(const char* text, const char* what, int index)
{
    const char* start;
    size_t size;
    FUZZ_CHECK(HostBlockOf(text, &start, &size) && start == g_logBuffer, "%s %d points outside the log block", what, index);
    FUZZ_CHECK(memchr(text, 0, size - (size_t)(text - start)) != 0, "%s %d is not terminated inside the log block", what, index);
}

static void CheckTables()
{
    FUZZ_CHECK(ActionList.count >= 0 && ActionList.count <= MAX_ACTIONS, "action count %d", ActionList.count);
    for (int i = 0; i < ActionList.count; i++) {
        const ActionEntry& e = ActionList.entries[i];
        FUZZ_CHECK(e.key >= FIRST_ACTION_KEY && e.key != KEY_IGNORED, "entry %d has key %d", i, e.key);
        FUZZ_CHECK(i == 0 || ActionList.entries[i - 1].key <= e.key, "entry %d key %d after key %d", i, e.key,
                   ActionList.entries[i - 1].key);
        CheckInsideLog(e.record, "action record", i);
        FUZZ_CHECK(!(e.record[0] >= '0' && e.record[0] <= '9'), "entry %d record starts with a digit", i);
    }

    FUZZ_CHECK(StringTable.count >= 0 && StringTable.count <= MAX_TEXTS, "text count %d", StringTable.count);
    std::set<unsigned short> ids;
    for (int i = 0; i < StringTable.count; i++) {
        unsigned short id = StringTable.ids[i];
        FUZZ_CHECK(id <= 1000, "slot %d holds id %u", i, id);
        FUZZ_CHECK(ids.insert(id).second, "id %u in two slots", id);
        CheckInsideLog(StringTable.texts[i], "text slot", i);
        FUZZ_CHECK(FindTextId(id) == i, "FindTextId(%u) gave %u, slot %d", id, FindTextId(id), i);
        // Only the stored 16 bits match; an id that agrees in its low 16 bits is another id.
        FUZZ_CHECK(FindTextId(id + 65536) == NO_TEXT_SLOT, "FindTextId(%d) found a slot", id + 65536);
        const char* text = GetLogString(id);
        size_t length = strlen(text);
        FUZZ_CHECK(length < TEXT_BUFFER, "GetLogString(%u) gave %zu characters", id, length);
        if (strlen(StringTable.texts[i]) < TEXT_BUFFER)
            FUZZ_CHECK(strcmp(text, StringTable.texts[i]) == 0, "GetLogString(%u) differs from its slot", id);
    }
    for (int id : {-1, 1001, 65535, 70000})
        FUZZ_CHECK(GetLogString(id)[0] == 0 || ids.count((unsigned short)id), "GetLogString(%d) not empty", id);

    FUZZ_CHECK(RecordSet.count >= 0 && RecordSet.count <= SET_CAPACITY, "record set count %d", RecordSet.count);
    for (int i = 1; i < RecordSet.count; i++)
        FUZZ_CHECK(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, RecordSet.items[i - 1], -1, RecordSet.items[i], -1) ==
                       CSTR_LESS_THAN,
                   "record set items %d and %d out of order or equal", i - 1, i);
    for (int i = 0; i < RecordSet.count; i++)
        CheckInsideLog(RecordSet.items[i], "record set item", i);
}

// What the reader must produce, written plainly: actions as (key, record) pairs, texts by slot.
struct ModelTables {
    std::multiset<std::pair<int, std::string>> actions;
    std::vector<std::pair<int, std::string>> texts;
};

static ModelTables ModelRead(const std::string& content)
{
    static const std::string letters = "BCDEJKMPU";
    static const int bases[] = {4000, 4000, 5000, 7000, 20000, 20000, 21000, 30000, 65000};
    static const int steps[] = {-1, 1, 1, 1, -1, 1, 1, 1, -1};
    int counters[9] = {};
    std::set<std::string> seen;
    ModelTables out;
    size_t i = 0;
    while (i < content.size()) {
        size_t end = content.find_first_of("\r\n", i);
        if (end == std::string::npos)
            break;
        std::string line = content.substr(i, end - i);
        i = content.find_first_not_of("\r\n", end);
        if (i == std::string::npos)
            i = content.size();
        auto digit = [](char c) { return c >= '0' && c <= '9'; };
        if (line.empty() || line.find('\0') != std::string::npos || digit(line[0]) || line.size() < 2 || !digit(line[1]))
            continue;
        char letter = line[0];
        size_t comma = line.find(',', 1);
        std::string record = std::string(1, letter) + (comma == std::string::npos ? "" : line.substr(comma + 1));
        uint64_t value = 0;
        bool overflow = false;
        for (size_t d = 1; d < line.size() && digit(line[d]); d++) {
            value = value * 10 + (uint64_t)(line[d] - '0');
            if (value > 0x7FFFFFFF) {
                overflow = true;
                value = 0x7FFFFFFF;
            }
        }
        int automatic = 0;
        if (letter != 'A' && seen.size() < SET_CAPACITY && seen.insert(Folded(record)).second) {
            size_t at = letters.find(letter);
            if (at != std::string::npos) {
                counters[at]++;
                automatic = bases[at] + steps[at] * counters[at];
            }
        }
        int key = overflow ? KEY_IGNORED : (value ? (int)value : automatic);
        if (key == KEY_IGNORED)
            continue;
        if (key >= FIRST_ACTION_KEY) {
            if (out.actions.size() < MAX_ACTIONS)
                out.actions.insert({key, record});
            continue;
        }
        bool replaced = false;
        for (auto& t : out.texts)
            if (t.first == key) {
                t.second = record.substr(1);
                replaced = true;
            }
        if (!replaced && out.texts.size() < MAX_TEXTS)
            out.texts.push_back({key, record.substr(1)});
    }
    return out;
}

static void CompareWithModel(const std::string& content)
{
    ModelTables expected = ModelRead(content);
    std::multiset<std::pair<int, std::string>> actions;
    for (int i = 0; i < ActionList.count; i++)
        actions.insert({ActionList.entries[i].key, ActionList.entries[i].record});
    FUZZ_CHECK(actions == expected.actions, "actions differ: %d read, %zu expected", ActionList.count, expected.actions.size());
    FUZZ_CHECK((size_t)StringTable.count == expected.texts.size(), "%d texts read, %zu expected", StringTable.count,
               expected.texts.size());
    for (int i = 0; i < StringTable.count; i++)
        FUZZ_CHECK(StringTable.ids[i] == expected.texts[i].first && expected.texts[i].second == StringTable.texts[i],
                   "slot %d: id %u [%.80s], expected id %d [%.80s]", i, StringTable.ids[i], StringTable.texts[i],
                   expected.texts[i].first, expected.texts[i].second.c_str());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static std::string log;
    log = BuildLog(data, size);
    HostClearFiles();
    HostSetFile(LOG_PATH, log, (data[0] & 0x40) ? log.size() / 2 : (size_t)-1);
    g_hostBoxes.clear();
    g_hostExitCount = 0;

    ClearRunState();
    CopyText(g_logPath, PATH_BUFFER, LOG_PATH);
    AllocateRunTables();

    g_hostExitArmed = 1;
    if (setjmp(g_hostExit) == 0)
        ReadUninstallLog();
    g_hostExitArmed = 0;

    // The log was there to open, so nothing may end the process.
    FUZZ_CHECK(g_hostExitCount == 0, "the reader ended the process (%zu boxes)", g_hostBoxes.size());
    FUZZ_CHECK(HostOpenHandles() == 0, "%d handles left open", HostOpenHandles());
    for (const HostBox& box : g_hostBoxes)
        FUZZ_CHECK(box.text.size() < MESSAGE_MAX, "box text of %zu characters", box.text.size());
    if (!(data[0] & 0x40))
        FUZZ_CHECK(g_hostBoxes.empty(), "a box on a complete read: %s", g_hostBoxes[0].text.c_str());
    if (g_logBuffer) {
        CheckTables();
        CompareWithModel((data[0] & 0x40) ? log.substr(0, log.size() / 2) : log);
    }

    HostReleaseAllBlocks();
    return 0;
}
