// Fixtures of the removal tests: a current record, the run's tables, a leftover list, private folders and keys.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <string>
#include <vector>
#include "fixtures.h"
#include "registry.h"
#include "ui_support.h"
#include "actions/actions.h"
#include "common/common.h"
#include "log/log.h"
#include "ui/ui.h"

namespace removal {

inline std::string TestName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("removal_") + info->test_suite_name() + "_" + info->name();
    for (char& c : name)
        if (!isalnum((unsigned char)c))
            c = '_';
    return name;
}

// Points g_currentAction at a private entry holding the record (letter first).
class CurrentRecord {
public:
    explicit CurrentRecord(const std::string& record) : text_(record.begin(), record.end())
    {
        text_.push_back(0);
        entry_.key = 30001;
        entry_.record = text_.data();
        g_currentAction = &entry_;
    }
    ~CurrentRecord() { g_currentAction = 0; }
private:
    std::vector<char> text_;
    ActionEntry entry_;
};

// Runs one record through its handler, as the dispatcher would.
inline void RunRecord(const std::string& record)
{
    CurrentRecord current(record);
    switch (record[0]) {
    case 'P': RemoveFilesAction(0); break;
    case 'U': RemoveFilesAction(1); break;
    case 'J': RemoveRegistryEntry(); break;
    case 'K': ReleaseSharedLibrary(); break;
    case 'M': RemoveIniEntry(); break;
    default: FAIL() << "no handler for " << record;
    }
}

// ProcessedFiles, StringPool and RecordSet as stage control allocates them, and the texts given.
class RunTables {
public:
    explicit RunTables(const std::map<int, std::string>& texts = {})
    {
        AllocateRunTables();
        ui_test::SetTexts(texts);
    }
    ~RunTables()
    {
        ReleaseSet(&ProcessedFiles);
        ReleaseSet(&RecordSet);
        ReleasePool(&StringPool);
        ReleasePool(&PathKeys);
        ReleasePool(&RecordKeys);
        StringTable.count = 0;
        StringTable.texts = 0;
    }
    static std::vector<std::string> Processed()
    {
        std::vector<std::string> paths;
        for (int i = 0; i < ProcessedFiles.count; i++)
            paths.push_back(ProcessedFiles.items[i]);
        return paths;
    }
};

// A hidden window holding a sorted list box with the leftover list's id, as g_dialog.
class LeftoverWindow {
public:
    LeftoverWindow()
    {
        window_ = CreateWindowExA(0, "STATIC", "removal test", WS_POPUP, 0, 0, 200, 200, 0, 0, 0, 0);
        list_ = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | LBS_SORT, 0, 0, 200, 200, window_,
                                (HMENU)(INT_PTR)IDC_LEFTOVER_LIST, 0, 0);
        g_dialog = window_;
    }
    ~LeftoverWindow()
    {
        g_dialog = 0;
        DestroyWindow(window_);
    }
    std::vector<std::string> Items() const
    {
        std::vector<std::string> items;
        LRESULT n = SendMessageA(list_, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; i++) {
            char text[1024] = {0};
            SendMessageA(list_, LB_GETTEXT, (WPARAM)i, (LPARAM)text);
            items.push_back(text);
        }
        return items;
    }
private:
    HWND window_;
    HWND list_;
};

using fixtures::DeleteTree;

// C:\utest\<test name>, emptied and made again; no trailing backslash.
inline std::string FreshFolder()
{
    std::string folder = "C:\\utest\\" + TestName();
    CreateDirectoryA("C:\\utest", 0);
    DeleteTree(folder);
    CreateDirectoryA(folder.c_str(), 0);
    return folder;
}

// Makes each entry below root: a name ending in a backslash is a folder, any other a file.
inline void Lay(const std::string& root, const std::vector<std::string>& entries)
{
    for (const std::string& e : entries) {
        std::string path = root + "\\" + e;
        for (size_t i = root.size() + 1; i < path.size(); i++)
            if (path[i] == '\\')
                CreateDirectoryA(path.substr(0, i).c_str(), 0);
        if (e.back() != '\\') {
            HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
            ASSERT_NE(INVALID_HANDLE_VALUE, f) << path;
            DWORD written;
            WriteFile(f, "x", 1, &written, 0);
            CloseHandle(f);
        }
    }
}

using fixtures::ListTree; // every entry below root, relative, sorted; folders end with a backslash
using fixtures::Without;  // the entries of a list that are not in another, sorted

inline std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& i : items)
        text += (text.empty() ? "" : " | ") + i;
    return "[" + text + "]";
}

using fixtures::IsWine;

using fixtures::RegCreate;
using fixtures::RegDeleteKeyTree;
using fixtures::RegKeyExists;
using fixtures::RegSetBytes;
using fixtures::RegSetString;
using fixtures::RegValueNames;
using fixtures::RegSubkeys;

// A private key under HKCU\Software\uninst-utest, deleted and made again; the root given to the
// code under test can be mapped onto it, so that no test touches a real root key.
class PrivateKey {
public:
    PrivateKey()
    {
        path_ = "Software\\uninst-utest\\" + TestName();
        RegDeleteKeyTree(HKEY_CURRENT_USER, path_);
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, 0, 0, KEY_ALL_ACCESS, 0, &key_, 0);
    }
    ~PrivateKey()
    {
        Unmap();
        RegCloseKey(key_);
        RegDeleteKeyTree(HKEY_CURRENT_USER, path_);
    }
    // From now on the predefined root stands for this key in this process.
    bool MapRoot(HKEY root)
    {
        mapped_.push_back(root);
        return RegOverridePredefKey(root, key_) == ERROR_SUCCESS;
    }
    void Unmap()
    {
        for (HKEY root : mapped_)
            RegOverridePredefKey(root, 0);
        mapped_.clear();
    }
    HKEY key() const { return key_; }
    const std::string& path() const { return path_; }
private:
    std::string path_;
    HKEY key_ = 0;
    std::vector<HKEY> mapped_;
};

} // namespace removal
