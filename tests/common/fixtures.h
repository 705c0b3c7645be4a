// Folder-tree helpers shared by the in-process and system tests: clearing a tree left from earlier runs, listing one, names outside the ANSI code page.
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

// Names the ANSI code page lacks characters of, in UTF-8: the tests make, list and clear them with
// the W functions, which the program itself never uses. Each holds an emoji, which no ANSI code
// page but UTF-8 has, so that the system shows them with '?' whatever its code page.
const char* const FOREIGN_FILE = u8"Отчёт 📄.txt";
const char* const FOREIGN_BARE = u8"😀.dat";
const char* const FOREIGN_FOLDER = u8"Папка 📁";
const char* const FOREIGN_INNER = u8"Данные 📁";
const char* const FOREIGN_EMPTY = u8"Пусто 📁";

inline std::wstring WideFrom(UINT codePage, const std::string& text)
{
    int n = MultiByteToWideChar(codePage, 0, text.c_str(), -1, NULL, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(wide.size() - 1);
    return wide;
}

inline std::string NarrowTo(UINT codePage, const std::wstring& wide)
{
    int n = WideCharToMultiByte(codePage, 0, wide.c_str(), -1, NULL, 0, NULL, NULL);
    std::string text(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(codePage, 0, wide.c_str(), -1, &text[0], n, NULL, NULL);
    text.resize(text.size() - 1);
    return text;
}

inline std::wstring Wide(const std::string& utf8) { return WideFrom(CP_UTF8, utf8); }
inline std::string Utf8(const std::wstring& wide) { return NarrowTo(CP_UTF8, wide); }
inline std::string AnsiFromUtf8(const std::string& utf8) { return NarrowTo(CP_ACP, Wide(utf8)); }

inline bool DeleteTreeWide(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name != L"." && name != L"..")
                    DeleteTreeWide(path + L"\\" + name);
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// Removes a file or a whole folder tree, read-only entries and names outside the ANSI code page
// included; true when it is gone (a missing path is fine).
inline bool DeleteTree(const std::string& path)
{
    // Through the long-path prefix, so that an entry whose name ends in a dot or a blank (which the
    // system otherwise drops from a path) is removed by its own name.
    std::wstring wide = WideFrom(CP_ACP, path);
    if (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\')
        wide = L"\\\\?\\" + wide;
    return DeleteTreeWide(wide);
}

// Makes a UTF-8 path: a file holding "x", or a folder when it ends with a backslash; the folders
// above it too. True when it is there.
inline bool MakeUtf8(const std::string& utf8Path)
{
    std::wstring path = Wide(utf8Path);
    for (size_t i = 3; i < path.size(); i++)
        if (path[i] == L'\\')
            CreateDirectoryW(path.substr(0, i).c_str(), NULL);
    if (!path.empty() && path.back() == L'\\') {
        DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written;
    WriteFile(file, "x", 1, &written, NULL);
    CloseHandle(file);
    return true;
}

inline bool ExistsUtf8(const std::string& utf8Path)
{
    return GetFileAttributesW(Wide(utf8Path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// True when the ANSI code page holds every character of the UTF-8 text.
inline bool HasAnsiForm(const std::string& utf8)
{
    std::wstring wide = Wide(utf8);
    if (GetACP() == CP_UTF8)
        return true;
    BOOL lost = FALSE;
    char buffer[1024];
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, buffer, sizeof buffer, NULL, &lost);
    return n > 0 && !lost;
}

// The short name of an existing UTF-8 path, empty when it has none (short names are ASCII).
inline std::string ShortNameOf(const std::string& utf8Path)
{
    WIN32_FIND_DATAW wide;
    HANDLE search = FindFirstFileW(Wide(utf8Path).c_str(), &wide);
    if (search == INVALID_HANDLE_VALUE)
        return "";
    FindClose(search);
    std::string shortName;
    for (const wchar_t* c = wide.cAlternateFileName; *c; c++)
        shortName += (char)*c;
    return shortName;
}

// The name that the ANSI search gives for the entry of an ANSI folder with this short name.
inline std::string AnsiNameOf(const std::string& folder, const std::string& shortName)
{
    std::string name;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return name;
    do {
        if (lstrcmpiA(found.cAlternateFileName, shortName.c_str()) == 0)
            name = found.cFileName;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return name;
}

// The path by which an ANSI program reaches the UTF-8 path relative below root (an ASCII folder):
// each component that the code page lacks characters of goes by its short name.
inline std::string ReachingPath(const std::string& root, const std::string& relative)
{
    std::string path = root;
    std::string utf8 = root;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('\\', start);
        if (end == std::string::npos)
            end = relative.size();
        std::string part = relative.substr(start, end - start);
        utf8 += "\\" + part;
        if (part.empty())
            break;
        path += "\\" + (HasAnsiForm(part) ? AnsiFromUtf8(part) : ShortNameOf(utf8));
        start = end + 1;
    }
    return path;
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

inline void ListIntoUtf8(const std::wstring& base, const std::wstring& relative, std::vector<std::string>& out)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((base + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(Utf8(relative + name + L"\\"));
            ListIntoUtf8(base, relative + name + L"\\", out);
        } else {
            out.push_back(Utf8(relative + name));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// ListTree with every name as it is, in UTF-8 (root itself is an ASCII path).
inline std::vector<std::string> ListTreeUtf8(const std::string& root)
{
    std::vector<std::string> out;
    ListIntoUtf8(Wide(!root.empty() && root.back() == '\\' ? root : root + "\\"), L"", out);
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

// A whole file written from bytes, or read into them (empty when missing); no folders are made.
inline bool WriteFileText(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == text.size();
}

inline std::string ReadFileText(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

} // namespace fixtures
