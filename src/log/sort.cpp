// In-place quicksort of the action list by key, with its exact order for equal keys.
#include "log.h"

int g_sortMaxDepth;

void SwapBytes(void* a, void* b, unsigned int n)
{
    char* x = (char*)a;
    char* y = (char*)b;
    if (x == y)
        return;
    for (unsigned int k = 0; k < n; k++) {
        char t = x[k];
        x[k] = y[k];
        y[k] = t;
    }
}

int CompareKeys(const void* a, const void* b)
{
    int x = ((const ActionEntry*)a)->key;
    int y = ((const ActionEntry*)b)->key;
    if (x < y)
        return -1;
    return x > y ? 1 : 0;
}

void SortActions(void* base, int count, unsigned short size, CompareFunction compare)
{
    g_sortMaxDepth = 0;
    if (count < 2 || size == 0)
        return;
    char* array = (char*)base;
    // Pending ranges. The larger part is pushed, so the depth never exceeds log2(count / 3) + 1
    // (13 for a full action list); the test before each push only keeps writes inside the arrays.
    int firsts[SORT_STACK];
    int lasts[SORT_STACK];
    int depth = 0;
    int lo = 0;
    int hi = count - 1;
#define ELEMENT(k) (array + (SIZE_T)(k) * size)
    for (;;) {
        int m = hi - lo + 1;
        SwapBytes(ELEMENT(lo + m / 2), ELEMENT(lo), size);
        int i = lo;
        int j = hi + 1;
        for (;;) {
            i++;
            while (i <= hi && compare(ELEMENT(i), ELEMENT(lo)) < 0)
                i++;
            j--;
            while (j > lo && compare(ELEMENT(j), ELEMENT(lo)) > 0)
                j--;
            if (j < i)
                break;
            SwapBytes(ELEMENT(i), ELEMENT(j), size);
        }
        SwapBytes(ELEMENT(lo), ELEMENT(j), size);

        int left = j - lo;
        int right = hi - i + 1;
        int next = 0; // 1: go on with [lo, j - 1], 2: with [i, hi]
        if (left < right) {
            if (right >= 2 && depth < SORT_STACK) {
                firsts[depth] = i;
                lasts[depth] = hi;
                depth++;
            }
            if (left >= 2)
                next = 1;
        } else {
            if (left >= 2 && depth < SORT_STACK) {
                firsts[depth] = lo;
                lasts[depth] = j - 1;
                depth++;
            }
            if (right >= 2)
                next = 2;
        }
        if (depth > g_sortMaxDepth)
            g_sortMaxDepth = depth;

        if (next == 1) {
            hi = j - 1;
        } else if (next == 2) {
            lo = i;
        } else {
            if (depth == 0)
                break;
            depth--;
            lo = firsts[depth];
            hi = lasts[depth];
        }
    }
#undef ELEMENT
}
