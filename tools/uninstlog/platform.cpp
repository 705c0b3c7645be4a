// What differs between the Windows and the native build: files, folders, replacing a file.
#include "uninstlog.h"
#include <algorithm>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

int ReadWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    bytes.clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot open " + path + ": " + strerror(errno);
        return 0;
    }
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, n);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        error = "cannot read " + path;
        return 0;
    }
    return 1;
}

int WriteWholeFile(const std::string& path, const std::string& bytes, std::string& error)
{
    // Written beside it and then put in its place, so that a failed write leaves the old file whole.
    std::string temporary = path + ".uninstlog-new";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file) {
        error = "cannot write " + temporary + ": " + strerror(errno);
        return 0;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = fclose(file) == 0 && ok;
    if (!ok) {
        remove(temporary.c_str());
        error = "cannot write " + temporary;
        return 0;
    }
#ifdef _WIN32
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) { // 0x1
        DeleteFileA(temporary.c_str());
        error = "cannot replace " + path + " (error " + std::to_string(GetLastError()) + ")";
        return 0;
    }
#else
    struct stat old;
    if (stat(path.c_str(), &old) == 0)
        chmod(temporary.c_str(), old.st_mode & 07777);
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + strerror(errno);
        remove(temporary.c_str());
        return 0;
    }
#endif
    return 1;
}

// Case folded for A to Z, so that both builds list a tree in the same order.
static bool FoldedLess(const FolderEntry& a, const FolderEntry& b)
{
    size_t n = std::min(a.relative.size(), b.relative.size());
    for (size_t i = 0; i < n; i++) {
        unsigned char x = (unsigned char)a.relative[i], y = (unsigned char)b.relative[i];
        if (x >= 'A' && x <= 'Z')
            x = (unsigned char)(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = (unsigned char)(y + 32);
        if (x != y)
            return x < y;
    }
    return a.relative.size() < b.relative.size();
}

static int ListInto(const std::string& root, const std::string& relative, std::vector<FolderEntry>& entries, std::string& error)
{
#ifdef _WIN32
    std::string folder = relative.empty() ? root : root + "\\" + relative;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        error = "cannot list " + folder;
        return 0;
    }
    std::vector<FolderEntry> here;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        here.push_back(FolderEntry{relative.empty() ? name : relative + "\\" + name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0}); // 0x10
    } while (FindNextFileA(search, &found));
    FindClose(search);
#else
    std::string folder = root;
    std::string unixRelative = relative;
    std::replace(unixRelative.begin(), unixRelative.end(), '\\', '/');
    if (!relative.empty())
        folder += "/" + unixRelative;
    DIR* directory = opendir(folder.c_str());
    if (!directory) {
        error = "cannot list " + folder + ": " + strerror(errno);
        return 0;
    }
    std::vector<FolderEntry> here;
    while (struct dirent* entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat status;
        bool isFolder = lstat((folder + "/" + name).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
        here.push_back(FolderEntry{relative.empty() ? name : relative + "\\" + name, isFolder});
    }
    closedir(directory);
#endif
    std::sort(here.begin(), here.end(), FoldedLess);
    for (const FolderEntry& e : here) {
        entries.push_back(e);
        if (e.folder && !ListInto(root, e.relative, entries, error))
            return 0;
    }
    return 1;
}

int ListFolder(const std::string& root, std::vector<FolderEntry>& entries, std::string& error)
{
    entries.clear();
    return ListInto(root, "", entries, error);
}

std::string TemporaryFile(std::string& error)
{
#ifdef _WIN32
    char folder[MAX_PATH + 1], path[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder || !GetTempFileNameA(folder, "ulg", 0, path)) {
        error = "no temporary file can be made";
        return std::string();
    }
    return path;
#else
    const char* folder = getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/uninstlog-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back(0);
    int handle = mkstemp(path.data());
    if (handle < 0) {
        error = "no temporary file can be made: " + std::string(strerror(errno));
        return std::string();
    }
    close(handle);
    return path.data();
#endif
}
