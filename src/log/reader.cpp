// Log reader: line rules, record keys, the text table and the action list.
#include "log.h"
#include "../common/common.h"
#include "../startup/startup.h"

char* g_logBuffer;
ActionListType ActionList;
StringTableType StringTable;
SortedStringSet RecordSet;
SortedStringSet ProcessedFiles;
StringPoolType StringPool;
StringPoolType PathKeys;
StringPoolType RecordKeys;
int g_autoKeyCounters[AUTO_KEY_LETTERS];
static char s_logString[TEXT_BUFFER]; // GetLogString's shared result, overwritten by every call

// Letters that draw automatic keys, the base of each and the direction it counts in,
// in the order of g_autoKeyCounters.
static const char AUTO_KEY_LETTER[AUTO_KEY_LETTERS] = {'B', 'C', 'D', 'E', 'J', 'K', 'M', 'P', 'U'};
static const int AUTO_KEY_BASE[AUTO_KEY_LETTERS] = {4000, 4000, 5000, 7000, 20000, 20000, 21000, 30000, 65000};
static const int AUTO_KEY_STEP[AUTO_KEY_LETTERS] = {-1, 1, 1, 1, -1, 1, 1, 1, -1};

void ResetLogState(void)
{
    g_logBuffer = 0;
    ZeroBytes(&ActionList, sizeof ActionList);
    ZeroBytes(&StringTable, sizeof StringTable);
    ZeroBytes(&RecordSet, sizeof RecordSet);
    ZeroBytes(&ProcessedFiles, sizeof ProcessedFiles);
    ZeroBytes(&StringPool, sizeof StringPool);
    ZeroBytes(&PathKeys, sizeof PathKeys);
    ZeroBytes(&RecordKeys, sizeof RecordKeys);
    ZeroBytes(g_autoKeyCounters, sizeof g_autoKeyCounters);
    s_logString[0] = 0;
    g_sortMaxDepth = 0;
}

void AllocateRunTables(void)
{
    // RecordSet keeps the limit the log format documents; a file the run cannot remember must not
    // count as handled, so ProcessedFiles grows.
    AllocatePool(&RecordKeys);
    AllocateSet(&RecordSet, SET_CAPACITY, 0, &RecordKeys);
    AllocatePool(&StringPool);
    AllocatePool(&PathKeys);
    AllocateSet(&ProcessedFiles, SET_CAPACITY, 1, &PathKeys);
}

void ReleaseRunTables(void)
{
    ReleaseSet(&ProcessedFiles);
    ReleasePool(&StringPool);
    ReleasePool(&PathKeys);
    ReleaseSet(&RecordSet);
    ReleasePool(&RecordKeys);
    FreeBlock((void**)&g_logBuffer);
    FreeBlock((void**)&ActionList.entries);
    FreeBlock((void**)&StringTable.texts);
}

static int IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

char* NextRecordLine(char** position, char* end)
{
    char* p = *position;
    while (p < end) {
        char* line = p;
        int hasZero = 0;
        while (p < end && *p != '\r' && *p != '\n') {
            if (*p == 0)
                hasZero = 1;
            p++;
        }
        // A last line without a line end is not read.
        if (p >= end)
            break;
        while (p < end && (*p == '\r' || *p == '\n'))
            *p++ = 0;
        // A zero byte would cut the record short and could turn it into another one
        // (a folder that is a parent of the one meant), so such a line is not read at all.
        if (hasZero || line[0] == 0)
            continue;
        if (IsDigit(line[0]) || !IsDigit(line[1]))
            continue;
        *position = p;
        return line;
    }
    *position = end;
    return 0;
}

int ParseRecordKey(char** line)
{
    char* text = *line;
    char letter = text[0];

    char* comma = text + 1;
    while (*comma && *comma != ',')
        comma++;

    // The key is read before the rewrite; a number past 2147483647 marks a line that is
    // outside the format, and wrapping it could make it any text or action.
    unsigned int value = 0;
    int overflow = 0;
    for (const char* d = text + 1; IsDigit(*d); d++) {
        unsigned int digit = (unsigned int)(*d - '0');
        if (value > (0x7FFFFFFFu - digit) / 10u)
            overflow = 1;
        else
            value = value * 10u + digit;
    }

    // Without a comma the record is the letter alone; it goes over the last character of the
    // key field, so that it ends at the line's own zero and not in the next line.
    int hasComma = (*comma == ',');
    char* record = hasComma ? comma : comma - 1;
    if (record < text + 1)
        record = text;
    record[0] = letter;
    if (!hasComma)
        record[1] = 0;
    *line = record;

    int automatic = 0;
    if (letter != 'A' && SetInsert(&RecordSet, record)) {
        for (int i = 0; i < AUTO_KEY_LETTERS; i++) {
            if (AUTO_KEY_LETTER[i] == letter) {
                g_autoKeyCounters[i]++;
                automatic = AUTO_KEY_BASE[i] + AUTO_KEY_STEP[i] * g_autoKeyCounters[i];
                break;
            }
        }
    }
    if (overflow)
        return KEY_IGNORED;
    return value != 0 ? (int)value : automatic;
}

unsigned short FindTextId(int id)
{
    for (int i = 0; i < StringTable.count; i++) {
        if ((int)StringTable.ids[i] == id)
            return (unsigned short)i;
    }
    return NO_TEXT_SLOT;
}

const char* GetLogString(int id)
{
    s_logString[0] = 0;
    unsigned short slot = FindTextId(id);
    if (slot == NO_TEXT_SLOT)
        return s_logString;
    // A longer text is cut for display; every text is shown, not used as a name.
    const char* text = StringTable.texts[slot];
    int n = 0;
    while (n < TEXT_BUFFER - 1 && text[n]) {
        s_logString[n] = text[n];
        n++;
    }
    s_logString[n] = 0;
    return s_logString;
}

static void StoreRecord(int key, char* record)
{
    if (key == KEY_IGNORED)
        return;
    if (key >= FIRST_ACTION_KEY) {
        // A full list drops further actions silently.
        if (ActionList.count < MAX_ACTIONS) {
            ActionList.entries[ActionList.count].key = key;
            ActionList.entries[ActionList.count].record = record;
            ActionList.count++;
        }
        return;
    }
    unsigned short slot = FindTextId(key);
    if (slot != NO_TEXT_SLOT) {
        StringTable.texts[slot] = record + 1;
        return;
    }
    // A full table takes no further ids; texts of ids already there are still replaced.
    if (StringTable.count >= MAX_TEXTS)
        return;
    StringTable.ids[StringTable.count] = (unsigned short)(key & 0xFFFF);
    StringTable.texts[StringTable.count] = record + 1;
    StringTable.count++;
}

void ReadUninstallLog(void)
{
    DWORD size = 1; // any non-zero size opens for reading
    HANDLE file = OpenForSize(g_logPath, &size);
    if (file == INVALID_HANDLE_VALUE)
        ShowMessage(MSG_ERROR | MSG_EXIT, "Can't open uninstal log file %s!", g_logPath);
    // A log of 4 GB or more cannot be held with its extra zero byte; reading only the low part
    // of its size would take a piece of it for the whole.
    DWORD high = 0;
    GetFileSize(file, &high);
    if (high != 0 || size == 0xFFFFFFFF) {
        CloseHandle(file);
        ShowMessage(MSG_ERROR | MSG_EXIT, "Can't open uninstal log file %s!", g_logPath);
    }
    g_logBuffer = (char*)AllocBlock(size + 1);
    ReadExact(file, g_logBuffer, size, g_logPath);

    ActionList.entries = (ActionEntry*)AllocBlock(ACTION_BLOCK * sizeof(ActionEntry));
    ActionList.count = 0;
    StringTable.texts = (char**)AllocBlock(MAX_TEXTS * sizeof(char*));
    StringTable.count = 0;
    ZeroBytes(StringTable.ids, sizeof StringTable.ids);

    char* position = g_logBuffer;
    char* end = g_logBuffer + size;
    char* line;
    while ((line = NextRecordLine(&position, end)) != 0) {
        int key = ParseRecordKey(&line);
        StoreRecord(key, line);
    }
    CloseHandle(file);

    SortActions(ActionList.entries, ActionList.count, (unsigned short)sizeof(ActionEntry), CompareKeys);
}
