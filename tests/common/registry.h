// Registry helpers shared by the in-process and system tests: keys and values made, read and cleared with the tests' own walk.
#pragma once
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace fixtures {

inline bool RegKeyExists(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline bool RegCreate(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The key and everything below it; true when the key is gone. Named apart from the system's
// RegDeleteKeyTree, which a call with a plain char pointer would pick, returning 0 on success.
inline bool RegDeleteKeyTree(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return !RegKeyExists(root, path);
    // Subkeys first: RegDeleteKeyA removes only empty keys.
    for (;;) {
        char name[512];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (!RegDeleteKeyTree(key, name))
            break;
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
    return !RegKeyExists(root, path);
}

// Makes the key when it is missing.
inline bool RegSetBytes(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(key, name.c_str(), 0, type, (const BYTE*)data, size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

inline bool RegSetString(HKEY root, const std::string& path, const std::string& name, const std::string& value)
{
    return RegSetBytes(root, path, name, REG_SZ, value.c_str(), (DWORD)value.size() + 1);
}

inline bool RegSetDword(HKEY root, const std::string& path, const std::string& name, DWORD value)
{
    return RegSetBytes(root, path, name, REG_DWORD, &value, sizeof value);
}

// The value's type and bytes; false when the key or the value is missing.
inline bool RegQuery(HKEY root, const std::string& path, const std::string& name, DWORD* type, std::string* data)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name.c_str(), NULL, type, NULL, &size);
    if (result == ERROR_SUCCESS && data) {
        data->assign(size, '\0');
        result = RegQueryValueExA(key, name.c_str(), NULL, type, size ? (BYTE*)&(*data)[0] : NULL, &size);
        data->resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

inline bool RegValueExists(HKEY root, const std::string& path, const std::string& name)
{
    DWORD type;
    return RegQuery(root, path, name, &type, nullptr);
}

inline bool RegGetString(HKEY root, const std::string& path, const std::string& name, std::string* value)
{
    DWORD type;
    std::string data;
    if (!RegQuery(root, path, name, &type, &data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    while (!data.empty() && data.back() == '\0')
        data.pop_back();
    *value = data;
    return true;
}

inline bool RegGetDword(HKEY root, const std::string& path, const std::string& name, DWORD* value)
{
    DWORD type;
    std::string data;
    if (!RegQuery(root, path, name, &type, &data) || type != REG_DWORD || data.size() != sizeof(DWORD))
        return false;
    memcpy(value, data.data(), sizeof(DWORD));
    return true;
}

// Names of the subkeys, sorted.
inline std::vector<std::string> RegSubkeys(HKEY root, const std::string& path)
{
    std::vector<std::string> out;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    for (DWORD i = 0;; i++) {
        char name[512];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        out.push_back(name);
    }
    RegCloseKey(key);
    std::sort(out.begin(), out.end());
    return out;
}

// Names of the values, sorted; "(default)" for the unnamed one.
inline std::vector<std::string> RegValueNames(HKEY root, const std::string& path)
{
    std::vector<std::string> out;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    for (DWORD i = 0;; i++) {
        char name[16384];
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        out.push_back(name[0] ? name : "(default)");
    }
    RegCloseKey(key);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace fixtures
