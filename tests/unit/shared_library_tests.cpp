// K records over a private SharedDLLs key: counts lowered with their own type, a count of 1 released.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "removal_support.h"

using namespace removal;

namespace {

const char* const SHARED = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

struct Stored {
    bool exists;
    DWORD type;
    std::string data;
};

Stored Read(const std::string& name)
{
    Stored s = {false, 0, ""};
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SHARED, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return s;
    char data[64];
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name.c_str(), 0, &s.type, (BYTE*)data, &size) == ERROR_SUCCESS) {
        s.exists = true;
        s.data.assign(data, size);
    }
    RegCloseKey(key);
    return s;
}

std::string Count(DWORD n) { return std::string((const char*)&n, 4); }

std::string Show(const Stored& s)
{
    if (!s.exists)
        return "(none)";
    std::string text = "type " + std::to_string(s.type) + " data";
    char hex[4];
    for (unsigned char c : s.data) {
        snprintf(hex, sizeof hex, " %02x", c);
        text += hex;
    }
    return text;
}

} // namespace

TEST(ReleaseSharedLibrary, LowersReleasesOrLeavesTheCount)
{
    const std::string dll = "C:\\utest\\shared\\lib.dll";
    const std::string longName = "C:\\" + std::string(508, 'n'); // 511 characters
    struct Row {
        std::string stored;   // value name as stored
        DWORD type;
        std::string data;
        std::string record;   // the K record's field
        bool exists;          // afterwards
        std::string after;    // data afterwards
        bool listed;
    } rows[] = {
        {dll, REG_DWORD, Count(5), dll, true, Count(4), false},
        {dll, REG_BINARY, Count(5), dll, true, Count(4), false},
        {dll, REG_DWORD, Count(2), "C:\\UTEST\\Shared\\LIB.DLL", true, Count(1), false}, // names compared ignoring case
        {dll, REG_DWORD, Count(1), dll, false, "", true},
        {dll, REG_BINARY, Count(1), dll, false, "", true},
        {dll, REG_DWORD, Count(0), dll, true, Count(0), false},              // no valid count: left alone
        {dll, REG_BINARY, std::string("\x01\x00", 2), dll, true, std::string("\x01\x00", 2), false},
        {dll, REG_BINARY, Count(1) + Count(0), dll, true, Count(1) + Count(0), false},
        {dll, REG_SZ, std::string("12\0", 3), dll, true, std::string("12\0", 3), false},
        {dll, REG_SZ, std::string("123\0", 4), dll, true, std::string("123\0", 4), false},
        {dll, REG_DWORD, Count(1), "\"" + dll + "\"", true, Count(1), false}, // quotes stay part of the name
        {dll, REG_DWORD, Count(1), "C:\\utest\\shared\\other.dll", true, Count(1), false},
        {"", REG_DWORD, Count(1), "", true, Count(1), false},                   // the key's default value is no library
        {longName, REG_DWORD, Count(1), longName, false, "", true},            // 511 characters: fits exactly
        {longName + "n", REG_DWORD, Count(1), longName + "n", true, Count(1), false}, // one too long
        {longName + std::string(400, 'n'), REG_DWORD, Count(1), longName + std::string(400, 'n'), true, Count(1), false},
    };
    int row = 0;
    for (const Row& r : rows) {
        row++;
        PrivateKey key;
        ASSERT_TRUE(key.MapRoot(HKEY_LOCAL_MACHINE));
        ASSERT_TRUE(RegSetBytes(HKEY_LOCAL_MACHINE, SHARED, r.stored, r.type, r.data.data(), (DWORD)r.data.size())) << "row " << row;
        RunTables tables;
        LeftoverWindow leftovers;
        RunRecord("K" + r.record);
        Stored expected = {r.exists, r.type, r.after};
        EXPECT_EQ(Show(expected), Show(Read(r.stored))) << "row " << row << " record " << r.record.substr(0, 60);
        std::vector<std::string> listed = r.listed ? std::vector<std::string>{r.record} : std::vector<std::string>{};
        EXPECT_EQ(Joined(listed), Joined(leftovers.Items())) << "row " << row;
        EXPECT_EQ(Joined(listed), Joined(RunTables::Processed())) << "row " << row;
    }
}

// A released library goes to the user: a later P or U record neither deletes nor lists it again.
TEST(ReleaseSharedLibrary, ReleasedFileIsLeftAloneByFileRecords)
{
    std::string folder = FreshFolder();
    Lay(folder, {"app\\lib.dll", "app\\kept.dll"});
    std::string dll = folder + "\\app\\lib.dll", kept = folder + "\\app\\kept.dll";
    PrivateKey key;
    ASSERT_TRUE(key.MapRoot(HKEY_LOCAL_MACHINE));
    DWORD one = 1, five = 5;
    RegSetBytes(HKEY_LOCAL_MACHINE, SHARED, dll, REG_DWORD, &one, 4);
    RegSetBytes(HKEY_LOCAL_MACHINE, SHARED, kept, REG_DWORD, &five, 4);
    RunTables tables;
    LeftoverWindow leftovers;
    RunRecord("K" + dll);
    RunRecord("K" + kept);
    RunRecord("P" + dll + ",0");
    RunRecord("U" + folder + "\\app\\*.*,0");
    EXPECT_EQ(Joined({"app\\", "app\\kept.dll", "app\\lib.dll"}), Joined(ListTree(folder)));
    EXPECT_EQ(Joined({kept, dll}), Joined(leftovers.Items())); // sorted; kept.dll listed by the U record only
}

TEST(ReleaseSharedLibrary, MissingKeyChangesNothing)
{
    PrivateKey key;
    ASSERT_TRUE(key.MapRoot(HKEY_LOCAL_MACHINE));
    RunTables tables;
    LeftoverWindow leftovers;
    RunRecord("KC:\\utest\\none.dll");
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, SHARED));
    EXPECT_EQ(Joined({}), Joined(leftovers.Items()));
}
