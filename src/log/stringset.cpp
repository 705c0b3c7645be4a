// Sorted string sets: RecordSet, ProcessedFiles and the pool of path copies.
#include "log.h"

int SetLocate(SortedStringSet* set, const char* s) { (void)set; (void)s; return 1; }
int SetSearch(SortedStringSet* set, const char* s) { (void)set; (void)s; return 1; }
int SetInsert(SortedStringSet* set, const char* s) { (void)set; (void)s; return 0; }
int MarkProcessed(const char* path) { (void)path; return 1; }
void MoveBytes(void* destination, const void* source, DWORD n) { (void)destination; (void)source; (void)n; }
