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
int g_autoKeyCounters[9];

void ResetLogState(void)
{
    ZeroBytes(&ActionList, sizeof ActionList);
    ZeroBytes(&StringTable, sizeof StringTable);
    g_logBuffer = 0;
    ZeroBytes(g_autoKeyCounters, sizeof g_autoKeyCounters);
    ZeroBytes(&StringPool, sizeof StringPool);
}

void ReadUninstallLog(void) {}
int ParseRecordKey(char** line) { (void)line; return 0; }
unsigned short FindTextId(int id) { (void)id; return NO_TEXT_SLOT; }
const char* GetLogString(int id) { (void)id; return ""; }
