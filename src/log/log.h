// The uninstall log: reader, text table, action list, sorted string sets, ordering and fields.
#pragma once
#include <windows.h>

enum {
    MAX_ACTIONS = 19999,        // actions kept; the block has room for one more
    ACTION_BLOCK = 20000,
    MAX_TEXTS = 1000,           // StringTable slots
    TEXT_BUFFER = 512,          // GetLogString's result, terminating zero included
    SET_CAPACITY = 20000,       // strings in RecordSet, and in ProcessedFiles' first block
    STRING_POOL_SIZE = 200000,  // bytes of StringPool's first block, and the least of every further one
    KEY_FIELD_MAX = 63,         // characters of a key field
    NO_TEXT_SLOT = 65535,
    KEY_IGNORED = 65535,
    FIRST_ACTION_KEY = 1001,
    AUTO_KEY_LETTERS = 9,       // B C D E J K M P U draw automatic keys
    SORT_STACK = 30             // pending ranges of SortActions
};

struct ActionEntry {
    int key;            // place in the run
    char* record;       // LogRecord: the letter, then the fields
};

struct ActionListType {
    ActionEntry* entries;
    int count;
};

struct StringTableType {
    char** texts;                   // block of MAX_TEXTS pointers into g_logBuffer
    int count;
    unsigned short ids[MAX_TEXTS];
};

// Copies of paths and sort keys, appended one after another. A text that does not fit the newest
// block goes to a further one; blocks never move, since the sets point into them.
struct StringPoolType {
    char* block;        // the first block, STRING_POOL_SIZE bytes
    char* next;         // first free byte of the newest block
    char* end;          // end of the newest block
    char* further;      // newest further block; each begins with a pointer to the one before it
};

// Strings are compared by their sort keys (LCMapStringA with LCMAP_SORTKEY | NORM_IGNORECASE),
// byte by byte, which orders and equates them exactly as CompareStringA with NORM_IGNORECASE does;
// a string whose key cannot be made is compared with CompareStringA itself.
struct SortedStringSet {
    char** items;       // ascending, no two equal ignoring case
    int count;
    int pos;            // result of the last search
    unsigned int span;  // search working state
    int capacity;       // slots of items and keys
    int grows;          // 1: a full set moves to blocks twice as large; 0: it takes nothing more
    char** keys;        // sort key of the item in the same slot, or null where none could be made
    StringPoolType* keyPool; // where the keys are kept; null: no keys, every comparison by CompareStringA
    const char* searchKey;   // key of the string being searched, at keyPool's free end, or null
    int searchKeyLength;     // its bytes, terminating zero included
};

extern char* g_logBuffer;           // the log text, rewritten in place; everything points into it
extern ActionListType ActionList;   // actions sorted by key
extern StringTableType StringTable; // texts by id
extern SortedStringSet RecordSet;   // every non-A record seen, to drop repeats
extern SortedStringSet ProcessedFiles; // every file path already handled
extern StringPoolType StringPool;   // copies of ProcessedFiles' paths
extern StringPoolType PathKeys;     // sort keys of ProcessedFiles' paths
extern StringPoolType RecordKeys;   // sort keys of RecordSet's records
extern int g_autoKeyCounters[AUTO_KEY_LETTERS]; // automatic-key counters of B C D E J K M P U
extern int g_sortMaxDepth;          // most pending ranges the last SortActions held, for tests

// Reader
void ReadUninstallLog(void);
int ParseRecordKey(char** line);
unsigned short FindTextId(int id);
const char* GetLogString(int id);
void ResetLogState(void);
// RecordSet, ProcessedFiles and StringPool, empty, as the reading and the run need them. RecordSet
// keeps its SET_CAPACITY; ProcessedFiles and StringPool grow for as long as memory lasts.
void AllocateRunTables(void);
// Every block of a run: the sets, the pool, the log text, the action list and the text table.
void ReleaseRunTables(void);
// Next record line of a log block whose extra zero byte is at end: turns line ends into zeros,
// skips every line that is not a record line (and lines holding a zero byte), and returns 0
// once the walk is over (a last line without a line end is not read).
char* NextRecordLine(char** position, char* end);

// Sorted string set
int SetLocate(SortedStringSet* set, const char* s);
int SetSearch(SortedStringSet* set, const char* s);
int SetInsert(SortedStringSet* set, const char* s);
int MarkProcessed(const char* path); // a block that cannot be had ends the run (AllocBlock)
void AllocatePool(StringPoolType* pool);  // the first block, empty
void ReleasePool(StringPoolType* pool);   // every block
// The items and keys blocks of a set with this capacity, empty; keyPool may be null.
void AllocateSet(SortedStringSet* set, int capacity, int grows, StringPoolType* keyPool);
void ReleaseSet(SortedStringSet* set);
void MoveBytes(void* destination, const void* source, DWORD n);

// Ordering
typedef int (*CompareFunction)(const void* a, const void* b);
void SortActions(void* base, int count, unsigned short size, CompareFunction compare);
int CompareKeys(const void* a, const void* b);
void SwapBytes(void* a, void* b, unsigned int n);

// Fields. GetField returns 0 and an empty destination when the field does not fit.
int GetField(char* destination, int destinationSize, const char* text, int n);
int ParseInt(const char* text);
void Unquote(char* text);
void ExpandLineBreaks(char* text);
