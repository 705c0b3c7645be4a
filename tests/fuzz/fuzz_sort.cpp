// Fuzz target: the action sort, against a model of the same partition steps (equal keys included).
//
// Input: a mode byte, then keys: one byte each from a small set (mode even), or four bytes each.
#include "host/host.h"
#include "host/windows.h"
#include "log/log.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <utility>
#include <vector>

typedef std::vector<std::pair<int, int>> Entries; // key, tag

static void ModelSort(Entries& e)
{
    int count = (int)e.size();
    if (count < 2)
        return;
    std::vector<std::pair<int, int>> stack;
    int lo = 0, hi = count - 1;
    for (;;) {
        int m = hi - lo + 1;
        std::swap(e[lo + m / 2], e[lo]);
        int i = lo, j = hi + 1;
        for (;;) {
            i++;
            while (i <= hi && e[i].first < e[lo].first)
                i++;
            j--;
            while (j > lo && e[j].first > e[lo].first)
                j--;
            if (j < i)
                break;
            std::swap(e[i], e[j]);
        }
        std::swap(e[lo], e[j]);
        int left = j - lo, right = hi - i + 1;
        bool next = false;
        if (left < right) {
            if (right >= 2)
                stack.push_back({i, hi});
            if (left >= 2) {
                hi = j - 1;
                next = true;
            }
        } else {
            if (left >= 2)
                stack.push_back({lo, j - 1});
            if (right >= 2) {
                lo = i;
                next = true;
            }
        }
        FUZZ_CHECK(stack.size() <= 30, "the model needed %zu pending ranges", stack.size());
        if (next)
            continue;
        if (stack.empty())
            return;
        lo = stack.back().first;
        hi = stack.back().second;
        stack.pop_back();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    bool wide = data[0] & 1;
    Entries model;
    for (size_t i = 1; i + (wide ? 3 : 0) < size && model.size() < MAX_ACTIONS; i += wide ? 4 : 1) {
        int key;
        if (wide)
            memcpy(&key, data + i, 4);
        else
            key = 1001 + data[i] % 8;
        model.push_back({key, (int)model.size()});
    }
    // The records are tags that tell equal keys apart.
    int count = (int)model.size();
    ActionEntry* entries = (ActionEntry*)malloc(sizeof(ActionEntry) * (size_t)(count ? count : 1));
    static char tags[MAX_ACTIONS];
    for (int i = 0; i < count; i++) {
        entries[i].key = model[i].first;
        entries[i].record = &tags[model[i].second];
    }
    SortActions(entries, count, (unsigned short)sizeof(ActionEntry), CompareKeys);
    ModelSort(model);
    for (int i = 0; i < count; i++) {
        int tag = (int)(entries[i].record - tags);
        FUZZ_CHECK(entries[i].key == model[i].first && tag == model[i].second, "entry %d: key %d tag %d, expected key %d tag %d",
                   i, entries[i].key, tag, model[i].first, model[i].second);
    }
    free(entries);
    return 0;
}
