// Sorted string sets: RecordSet, ProcessedFiles and the pool of path copies.
#include "log.h"
#include "../common/common.h"

static int CompareItem(const char* stored, const char* searched)
{
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, stored, -1, searched, -1);
}

enum {
    BLOCK_LIMIT = 0x7FFF0000 // bytes of the largest block asked for; more is a block that cannot be had
};

// A block of the given size, or, for a size past BLOCK_LIMIT, the end that every block which
// cannot be had brings (AllocBlock refuses a size of 0).
static void* TakeBlock(SIZE_T size)
{
    return AllocBlock(size <= BLOCK_LIMIT ? (DWORD)size : 0);
}

// A growing set moves to a block twice as large; its strings stay where they are.
static void GrowSet(SortedStringSet* set)
{
    SIZE_T capacity = (SIZE_T)set->capacity * 2;
    char** items = (char**)TakeBlock(capacity * sizeof(char*));
    MoveBytes(items, set->items, (DWORD)(set->count * sizeof(char*)));
    FreeBlock((void**)&set->items);
    set->items = items;
    set->capacity = (int)capacity;
}

// A further pool block with room for at least `needed` bytes after its link to the one before.
static void TakePoolBlock(SIZE_T needed)
{
    SIZE_T size = sizeof(char*) + needed;
    if (size < STRING_POOL_SIZE)
        size = STRING_POOL_SIZE;
    char* block = (char*)TakeBlock(size);
    *(char**)block = StringPool.further;
    StringPool.further = block;
    StringPool.next = block + sizeof(char*);
    StringPool.end = block + size;
}

int SetSearch(SortedStringSet* set, const char* s)
{
    for (;;) {
        if (set->span <= 1)
            return CompareItem(set->items[set->pos], s);
        unsigned int half = set->span / 2;
        unsigned int odd = set->span % 2;
        int c = CompareItem(set->items[set->pos + half], s);
        if (c == CSTR_LESS_THAN) {
            set->pos += half + odd;
            set->span = set->span - odd - half;
        } else if (c != CSTR_EQUAL) {
            // A failed comparison (0) is taken as greater, never as equal.
            set->span = set->span - odd - half;
        } else {
            set->pos += half;
            while (c == CSTR_EQUAL && set->pos > 0) {
                set->pos--;
                c = CompareItem(set->items[set->pos], s);
            }
            if (c == CSTR_EQUAL)
                return c;
            set->pos++;
            return CompareItem(set->items[set->pos], s);
        }
    }
}

int SetLocate(SortedStringSet* set, const char* s)
{
    set->span = (unsigned int)set->count;
    set->pos = 0;
    if (set->count == 0)
        return 1;
    int r = SetSearch(set, s);
    if (r == CSTR_EQUAL)
        return 0;
    return r == CSTR_LESS_THAN ? -1 : 1;
}

int SetInsert(SortedStringSet* set, const char* s)
{
    int r = SetLocate(set, s);
    if (r == 0)
        return 0;
    if (set->count >= set->capacity) {
        // A set that does not grow takes nothing more; the caller treats the string as not new.
        if (!set->grows)
            return 0;
        GrowSet(set);
    }
    int at = (r == -1) ? set->pos + 1 : set->pos;
    MoveBytes(&set->items[at + 1], &set->items[at], (DWORD)(sizeof(char*) * (set->count - at)));
    set->pos = at;
    set->items[at] = (char*)s;
    set->count++;
    return 1;
}

int MarkProcessed(const char* path)
{
    int n = TextLength(path);
    if ((INT_PTR)n + 1 > StringPool.end - StringPool.next)
        TakePoolBlock((SIZE_T)n + 1);
    CopyText(StringPool.next, n + 1, path);
    if (!SetInsert(&ProcessedFiles, StringPool.next))
        return 0;
    StringPool.next += n + 1;
    return 1;
}

void ReleaseStringPool(void)
{
    while (StringPool.further) {
        char* previous = *(char**)StringPool.further;
        FreeBlock((void**)&StringPool.further);
        StringPool.further = previous;
    }
    FreeBlock((void**)&StringPool.block);
    StringPool.next = 0;
    StringPool.end = 0;
}

// The set's moves are whole pointers, so they go a word at a time; the loops must stay loops
// (the compiler would otherwise call the byte-wise memmove of our own runtime).
__attribute__((optimize("no-tree-loop-distribute-patterns")))
void MoveBytes(void* destination, const void* source, DWORD n)
{
    char* d = (char*)destination;
    const char* s = (const char*)source;
    int backwards = (s < d && d < s + n);
    if ((((UINT_PTR)d | (UINT_PTR)s | (UINT_PTR)n) & (sizeof(UINT_PTR) - 1)) == 0) {
        UINT_PTR* dw = (UINT_PTR*)d;
        const UINT_PTR* sw = (const UINT_PTR*)s;
        DWORD words = n / sizeof(UINT_PTR);
        if (backwards) {
            while (words--)
                dw[words] = sw[words];
        } else {
            for (DWORD i = 0; i < words; i++)
                dw[i] = sw[i];
        }
        return;
    }
    if (backwards) {
        while (n--)
            d[n] = s[n];
    } else {
        for (DWORD i = 0; i < n; i++)
            d[i] = s[i];
    }
}
