// Sorted string sets: RecordSet, ProcessedFiles, their sort keys and the pools that hold copies and keys.
#include "log.h"
#include "../common/common.h"

enum {
    BLOCK_LIMIT = 0x7FFF0000, // bytes of the largest block asked for; more is a block that cannot be had
    KEY_FLAGS = LCMAP_SORTKEY | NORM_IGNORECASE // 0x400 | 0x1: the key of CompareStringA's NORM_IGNORECASE
};

// A block of the given size, or, for a size past BLOCK_LIMIT, the end that every block which
// cannot be had brings (AllocBlock refuses a size of 0).
static void* TakeBlock(SIZE_T size)
{
    return AllocBlock(size <= BLOCK_LIMIT ? (DWORD)size : 0);
}

void AllocatePool(StringPoolType* pool)
{
    pool->block = (char*)AllocBlock(STRING_POOL_SIZE);
    pool->next = pool->block;
    pool->end = pool->block + STRING_POOL_SIZE;
    pool->further = 0;
}

void ReleasePool(StringPoolType* pool)
{
    while (pool->further) {
        char* previous = *(char**)pool->further;
        FreeBlock((void**)&pool->further);
        pool->further = previous;
    }
    FreeBlock((void**)&pool->block);
    pool->next = 0;
    pool->end = 0;
}

// At least `needed` free bytes at the pool's free end, in a further block when the newest one
// has fewer; returns the free end. The bytes are not taken: the caller advances `next`.
static char* PoolRoom(StringPoolType* pool, SIZE_T needed)
{
    if ((SIZE_T)(pool->end - pool->next) >= needed)
        return pool->next;
    SIZE_T size = sizeof(char*) + needed;
    if (size < STRING_POOL_SIZE)
        size = STRING_POOL_SIZE;
    char* block = (char*)TakeBlock(size);
    *(char**)block = pool->further;
    pool->further = block;
    pool->next = block + sizeof(char*);
    pool->end = block + size;
    return pool->next;
}

void AllocateSet(SortedStringSet* set, int capacity, int grows, StringPoolType* keyPool)
{
    set->items = (char**)TakeBlock((SIZE_T)capacity * sizeof(char*));
    set->keys = keyPool ? (char**)TakeBlock((SIZE_T)capacity * sizeof(char*)) : 0;
    set->count = 0;
    set->pos = 0;
    set->span = 0;
    set->capacity = capacity;
    set->grows = grows;
    set->keyPool = keyPool;
    set->searchKey = 0;
    set->searchKeyLength = 0;
}

void ReleaseSet(SortedStringSet* set)
{
    FreeBlock((void**)&set->items);
    FreeBlock((void**)&set->keys);
    set->count = 0;
    set->capacity = 0;
    set->searchKey = 0;
}

// A growing set moves to blocks twice as large; its strings and keys stay where they are.
static void GrowSet(SortedStringSet* set)
{
    SIZE_T capacity = (SIZE_T)set->capacity * 2;
    DWORD used = (DWORD)(set->count * sizeof(char*));
    char** items = (char**)TakeBlock(capacity * sizeof(char*));
    MoveBytes(items, set->items, used);
    FreeBlock((void**)&set->items);
    set->items = items;
    if (set->keys) {
        char** keys = (char**)TakeBlock(capacity * sizeof(char*));
        MoveBytes(keys, set->keys, used);
        FreeBlock((void**)&set->keys);
        set->keys = keys;
    }
    set->capacity = (int)capacity;
}

// The sort key of s, written at the free end of the set's key pool without taking its room, in
// searchKey; null when the set keeps no keys or none can be made (s is then compared with
// CompareStringA, which orders as the keys do).
static void MakeSearchKey(SortedStringSet* set, const char* s)
{
    set->searchKey = 0;
    StringPoolType* pool = set->keyPool;
    if (!pool || !set->keys)
        return;
    INT_PTR room = pool->end - pool->next;
    // A size of 0 would ask for the key's length instead of the key.
    int n = room > 0 ? LCMapStringA(LOCALE_USER_DEFAULT, KEY_FLAGS, s, -1, pool->next, room < 0x7FFFFFFF ? (int)room : 0x7FFFFFFF)
                     : 0;
    if (n <= 0) {
        n = LCMapStringA(LOCALE_USER_DEFAULT, KEY_FLAGS, s, -1, NULL, 0);
        if (n <= 0)
            return;
        n = LCMapStringA(LOCALE_USER_DEFAULT, KEY_FLAGS, s, -1, PoolRoom(pool, (SIZE_T)n), n);
        if (n <= 0)
            return;
    }
    // Keys are compared up to their zero; one holding a zero before its end is not used.
    const char* key = pool->next;
    for (int i = 0; i < n - 1; i++)
        if (key[i] == 0)
            return;
    if (key[n - 1] != 0)
        return;
    set->searchKey = key;
    set->searchKeyLength = n;
}

// The stored string in slot i against the searched one: CSTR_LESS_THAN, CSTR_EQUAL or
// CSTR_GREATER_THAN, or 0 when CompareStringA fails.
static int CompareItem(const SortedStringSet* set, int i, const char* s)
{
    const char* stored = set->keys ? set->keys[i] : 0;
    if (stored && set->searchKey) {
        const unsigned char* a = (const unsigned char*)stored;
        const unsigned char* b = (const unsigned char*)set->searchKey;
        while (*a && *a == *b) {
            a++;
            b++;
        }
        return *a < *b ? CSTR_LESS_THAN : (*a > *b ? CSTR_GREATER_THAN : CSTR_EQUAL);
    }
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, set->items[i], -1, s, -1);
}

int SetSearch(SortedStringSet* set, const char* s)
{
    for (;;) {
        if (set->span <= 1)
            return CompareItem(set, set->pos, s);
        unsigned int half = set->span / 2;
        unsigned int odd = set->span % 2;
        int c = CompareItem(set, set->pos + (int)half, s);
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
                c = CompareItem(set, set->pos, s);
            }
            if (c == CSTR_EQUAL)
                return c;
            set->pos++;
            return CompareItem(set, set->pos, s);
        }
    }
}

int SetLocate(SortedStringSet* set, const char* s)
{
    set->span = (unsigned int)set->count;
    set->pos = 0;
    // Made also for an empty set, where no comparison is made: an insertion keeps it.
    MakeSearchKey(set, s);
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
    DWORD tail = (DWORD)(sizeof(char*) * (set->count - at));
    MoveBytes(&set->items[at + 1], &set->items[at], tail);
    set->items[at] = (char*)s;
    if (set->keys) {
        MoveBytes(&set->keys[at + 1], &set->keys[at], tail);
        set->keys[at] = (char*)set->searchKey;
        // The key was written at the pool's free end; it is kept from now on.
        if (set->searchKey)
            set->keyPool->next += set->searchKeyLength;
    }
    set->pos = at;
    set->count++;
    return 1;
}

int MarkProcessed(const char* path)
{
    int n = TextLength(path);
    char* copy = PoolRoom(&StringPool, (SIZE_T)n + 1);
    CopyText(copy, n + 1, path);
    if (!SetInsert(&ProcessedFiles, copy))
        return 0; // present already: the next copy goes over this one
    StringPool.next = copy + n + 1;
    return 1;
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
