// Times reading and sorting a full uninstall log against merely reading the file and walking its lines.
#include <windows.h>
#include <cstdio>
#include <cmath>
#include <string>
#include <vector>
#include <algorithm>
#include "common/common.h"
#include "log/log.h"
#include "clock.h"
#include "startup/startup.h"

namespace {

const int RUNS = 15;

// 19999 action records of every kind, most with automatic keys and some explicit, repeats among
// them, and 1000 text ids of which a fifth appear twice.
std::string MakeLog()
{
    const char letters[] = "BCDEJKMPU";
    std::string log = "[Uninstall]\r\n";
    char line[160];
    for (int id = 0; id < 1000; id++) {
        snprintf(line, sizeof line, "A%d,Text number %d with a %%s in it\r\n", id, id);
        log += line;
    }
    for (int i = 0; i < 19999; i++) {
        char letter = letters[i % 9];
        if (i % 50 == 7)
            snprintf(line, sizeof line, "%c%d,c:\\Program Files\\Bench\\file%05d.dat,0\r\n", letter, 40000 + i % 300, i);
        else
            snprintf(line, sizeof line, "%c0,c:\\Program Files\\Bench\\folder%03d\\file%05d.dat,0\r\n", letter, i % 97, i);
        log += line;
        if (i % 5 == 0) {
            snprintf(line, sizeof line, "A%d,Replaced text %d\r\n", (i / 5) % 1000, i);
            log += line;
        }
        if (i % 100 == 3) { // a repeat in other letter case: dropped into text 0
            snprintf(line, sizeof line, "%c0,C:\\PROGRAM FILES\\BENCH\\FOLDER%03d\\FILE%05d.DAT,0\r\n", letter, i % 97, i);
            log += line;
        }
    }
    return log;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One read call into one block, then a walk over its lines: the floor under any reader.
long ReadAndWalk(const char* path)
{
    DWORD size = 1;
    HANDLE file = OpenForSize(path, &size);
    char* block = (char*)AllocBlock(size + 1);
    ReadExact(file, block, size, path);
    CloseHandle(file);
    long lines = 0;
    for (char* p = block; p < block + size;) {
        while (p < block + size && *p != '\r' && *p != '\n')
            p++;
        if (p < block + size)
            lines++;
        while (p < block + size && (*p == '\r' || *p == '\n'))
            p++;
    }
    FreeBlock((void**)&block);
    return lines;
}

// The reading as stage control does it, with the sets allocated first.
void ReadAndSort()
{
    ReleaseRunTables();
    ResetLogState();
    AllocateRunTables();
    ReadUninstallLog();
}

long g_comparisons;
int CountingCompare(const void* a, const void* b)
{
    g_comparisons++;
    return CompareKeys(a, b);
}

} // namespace

int main()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "uninst_log_bench";
    CreateDirectoryA(folder.c_str(), NULL);
    std::string path = folder + "\\uninstal.ini";
    std::string log = MakeLog();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    WriteFile(file, log.data(), (DWORD)log.size(), &written, NULL);
    CloseHandle(file);
    CopyText(g_logPath, PATH_BUFFER, path.c_str());

    std::vector<double> walk, full;
    long lines = 0;
    for (int run = 0; run < RUNS; run++) {
        double t0 = Now();
        lines = ReadAndWalk(path.c_str());
        double t1 = Now();
        ReadAndSort();
        double t2 = Now();
        walk.push_back(t1 - t0);
        full.push_back(t2 - t1);
    }
    int actions = ActionList.count;
    int texts = StringTable.count;

    // Comparisons of the sort on the actions in their log order, as the reader hands them over.
    std::vector<ActionEntry> unsorted;
    {
        ReleaseRunTables();
        ResetLogState();
        AllocateRunTables();
        std::string copy = log;
        char* position = &copy[0];
        char* end = position + copy.size();
        char* line;
        while ((line = NextRecordLine(&position, end)) != 0) {
            int key = ParseRecordKey(&line);
            if (key >= FIRST_ACTION_KEY && key != KEY_IGNORED)
                unsorted.push_back({key, line});
        }
        g_comparisons = 0;
        SortActions(unsorted.data(), (int)unsorted.size(), (unsigned short)sizeof(ActionEntry), CountingCompare);
    }
    double n = (double)unsorted.size();

    printf("log: %lu bytes, %ld lines, %d actions, %d texts, median of %d runs\n", (unsigned long)log.size(),
           lines, actions, texts, RUNS);
    printf("read file and walk lines: %8.3f ms\n", Median(walk));
    printf("read and sort the log:    %8.3f ms\n", Median(full));
    printf("ratio:                    %8.2f\n", Median(full) / Median(walk));
    printf("sort comparisons: %ld for %.0f entries (n log2 n = %.0f, ratio %.2f); deepest stack %d\n",
           g_comparisons, n, n * std::log2(n), (double)g_comparisons / (n * std::log2(n)), g_sortMaxDepth);

    ReleaseRunTables();
    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
