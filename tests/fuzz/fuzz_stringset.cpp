// Fuzz target: ProcessedFiles and its pool, and a record set, against a case-folded model set.
//
// Input: lines separated by LF; each line is marked as processed and inserted into RecordSet.
#include "host/host.h"
#include "host/windows.h"
#include "common/common.h"
#include "log/log.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <set>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    std::string all((const char*)data, size);
    size_t at = 0;
    while (at <= all.size()) {
        size_t end = all.find('\n', at);
        if (end == std::string::npos)
            end = all.size();
        std::string line = all.substr(at, end - at);
        lines.push_back(line.substr(0, strlen(line.c_str())));
        at = end + 1;
    }

    AllocateRunTables();

    std::set<std::string> model;
    std::vector<char*> copies;
    for (const std::string& line : lines) {
        bool isNew = model.insert(Folded(line)).second;
        int marked = MarkProcessed(line.c_str());
        FUZZ_CHECK(marked == (isNew ? 1 : 0), "MarkProcessed [%s] gave %d", line.c_str(), marked);
        const char* newest = StringPool.further ? StringPool.further : StringPool.block;
        const char* start;
        size_t blockSize;
        FUZZ_CHECK(HostBlockOf(newest, &start, &blockSize) && start == newest && StringPool.end == newest + blockSize,
                   "newest pool block is not a whole block");
        FUZZ_CHECK(StringPool.next >= newest && StringPool.next <= StringPool.end, "pool cursor outside its block");
        char* copy = (char*)malloc(line.size() + 1);
        memcpy(copy, line.c_str(), line.size() + 1);
        copies.push_back(copy);
        int inserted = SetInsert(&RecordSet, copy);
        FUZZ_CHECK(inserted == (isNew ? 1 : 0), "SetInsert [%s] gave %d", line.c_str(), inserted);
    }
    FUZZ_CHECK(ProcessedFiles.count == (int)model.size() && RecordSet.count == (int)model.size(), "counts %d %d, expected %zu",
               ProcessedFiles.count, RecordSet.count, model.size());
    for (const SortedStringSet* set : {&ProcessedFiles, &RecordSet})
        for (int i = 1; i < set->count; i++)
            FUZZ_CHECK(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, set->items[i - 1], -1, set->items[i], -1) == CSTR_LESS_THAN,
                       "items %d and %d out of order or equal", i - 1, i);
    for (char* copy : copies)
        free(copy);
    HostReleaseAllBlocks();
    return 0;
}
