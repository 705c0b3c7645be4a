// Measures what ProcessedFiles costs a U record's removal of a large tree: MarkProcessed over the
// paths in the order the walk meets them, against the whole removal of the same tree.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <algorithm>
#include "actions/actions.h"
#include "common/common.h"
#include "log/log.h"

namespace {

const int FILES_PER_FOLDER = 50;
const char* const ROOT = "C:\\uninst-bench\\set";

double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// n files in n / FILES_PER_FOLDER folders, with names as long as an application's locale files.
bool LayTree(int n)
{
    CreateDirectoryA("C:\\uninst-bench", NULL);
    CreateDirectoryA(ROOT, NULL);
    char path[MAX_PATH];
    for (int d = 0; d < n / FILES_PER_FOLDER; d++) {
        snprintf(path, sizeof path, "%s\\resources%05d", ROOT, d);
        CreateDirectoryA(path, NULL);
        for (int f = 0; f < FILES_PER_FOLDER; f++) {
            snprintf(path, sizeof path, "%s\\resources%05d\\locale-%05d-%02d.pak", ROOT, d, d, f);
            HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
            if (h == INVALID_HANDLE_VALUE)
                return false;
            CloseHandle(h);
        }
    }
    return true;
}

// Every file path in the order a U record's walk meets it: the entries of a folder as the system
// lists them, a folder's contents where the folder is met.
void WalkOrder(const std::string& folder, std::vector<std::string>& paths)
{
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            WalkOrder(folder + "\\" + name, paths);
        else
            paths.push_back(folder + "\\" + name);
    } while (FindNextFileA(h, &found));
    FindClose(h);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; i++)
        sizes.push_back(atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000, 100000};
    printf("%-8s %12s %12s %12s %10s\n", "files", "marking ms", "removal ms", "per file us", "set share");
    for (int n : sizes) {
        RemoveDirectoryA(ROOT);
        if (!LayTree(n)) {
            printf("could not lay %d files under %s\n", n, ROOT);
            return 1;
        }
        std::vector<std::string> paths;
        WalkOrder(ROOT, paths);

        AllocateRunTables();
        double start = Now();
        for (const std::string& p : paths)
            MarkProcessed(p.c_str());
        double marking = Now() - start;
        ReleaseRunTables();
        std::vector<std::string> sorted = paths;
        std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
            return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
        });
        AllocateRunTables();
        start = Now();
        for (const std::string& p : sorted)
            MarkProcessed(p.c_str());
        double ascending = Now() - start;
        ReleaseRunTables();
        printf("ascending order: %.1f ms\n", ascending);

        AllocateRunTables();
        start = Now();
        RemoveFiles(ROOT, 1, 1); // a U record in mode 1: the whole tree goes
        double removal = Now() - start;
        ReleaseRunTables();
        bool gone = GetFileAttributesA(ROOT) == INVALID_FILE_ATTRIBUTES;
        printf("%-8d %12.1f %12.1f %12.1f %9.1f%%%s\n", n, marking, removal, removal * 1000.0 / n,
               100.0 * marking / removal, gone ? "" : "  (tree not removed whole)");
    }
    return 0;
}
