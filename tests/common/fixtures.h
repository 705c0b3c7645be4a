// Folder-tree helpers shared by the in-process and system tests: clearing a tree left from earlier runs and listing one.
#pragma once
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>

namespace fixtures {

// Wine's ntdll exports its version; Windows' does not.
inline bool IsWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Removes a file or a whole folder tree, read-only entries included; true when it is gone
// (a missing path is fine).
inline bool DeleteTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name != "." && name != "..")
                    DeleteTree(path + "\\" + name);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(path.c_str());
    } else {
        DeleteFileA(path.c_str());
    }
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// base ends with a backslash.
inline void ListInto(const std::string& base, const std::string& relative, std::vector<std::string>& out)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((base + relative + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(relative + name + "\\");
            ListInto(base, relative + name + "\\", out);
        } else {
            out.push_back(relative + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Every file and folder below root, relative to it and sorted; folders end with a backslash.
inline std::vector<std::string> ListTree(const std::string& root)
{
    std::vector<std::string> out;
    ListInto(!root.empty() && root.back() == '\\' ? root : root + "\\", "", out);
    std::sort(out.begin(), out.end());
    return out;
}

// The entries of all that are not in gone, sorted as ListTree sorts.
inline std::vector<std::string> Without(const std::vector<std::string>& all, const std::vector<std::string>& gone)
{
    std::vector<std::string> left;
    for (const std::string& a : all)
        if (std::find(gone.begin(), gone.end(), a) == gone.end())
            left.push_back(a);
    std::sort(left.begin(), left.end());
    return left;
}

} // namespace fixtures
