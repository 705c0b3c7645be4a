// Shared pieces of the dialog tests: log texts by hand, fixture folders, list-box reads.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include "fixtures.h"
#include <vector>
#include "log/log.h"

namespace ui_test {

// Fills StringTable with exactly these texts, as the reader would have.
inline void SetTexts(const std::map<int, std::string>& texts)
{
    static char* slots[MAX_TEXTS];
    static std::vector<std::string> storage;
    storage.clear();
    storage.reserve(texts.size());
    StringTable.texts = slots;
    StringTable.count = 0;
    for (const auto& t : texts) {
        storage.push_back(t.second);
        StringTable.ids[StringTable.count] = (unsigned short)t.first;
        slots[StringTable.count] = &storage.back()[0];
        StringTable.count++;
    }
}

// The text with this id in a SetTexts map, empty when absent (as the log gives it).
inline std::string TextOf(const std::map<int, std::string>& texts, int id)
{
    auto found = texts.find(id);
    return found == texts.end() ? std::string() : found->second;
}

inline bool PathExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

using fixtures::DeleteTree;

inline void MakeFolders(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); i++)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), NULL);
}

// Writes a small file, making its folders; true when it is there.
inline bool MakeFile(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    MakeFolders(path.substr(0, path.rfind('\\')));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written;
    WriteFile(file, "x", 1, &written, NULL);
    CloseHandle(file);
    SetFileAttributesA(path.c_str(), attributes);
    return PathExists(path);
}

// A fresh, empty C:\utest\<name> for one test.
inline std::string FreshFolder(const std::string& name)
{
    std::string root = "C:\\utest\\" + name;
    DeleteTree(root);
    MakeFolders(root);
    return root;
}

inline std::vector<std::string> ListEntries(HWND dialog, int id)
{
    std::vector<std::string> entries;
    LRESULT count = SendDlgItemMessageA(dialog, id, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = SendDlgItemMessageA(dialog, id, LB_GETTEXTLEN, (WPARAM)i, 0);
        std::string text(length + 1, '\0');
        SendDlgItemMessageA(dialog, id, LB_GETTEXT, (WPARAM)i, (LPARAM)&text[0]);
        text.resize(length);
        entries.push_back(text);
    }
    return entries;
}

inline int Selected(HWND dialog, int id)
{
    return (int)SendDlgItemMessageA(dialog, id, LB_GETCURSEL, 0, 0);
}

inline std::string ControlText(HWND dialog, int id)
{
    char text[1024];
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

inline bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; }
inline bool Shown(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != 0; }

} // namespace ui_test
