// J records, the tree walk and the first-stage pass, over root keys mapped onto private test keys.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "removal_support.h"
#include "startup/startup.h"

using namespace removal;

namespace {

const char* const UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const HKEY ROOTS[4] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};

// Every key and value below path, one line each: "Key\Sub" and "Key:Value".
void SnapshotInto(HKEY root, const std::string& path, const std::string& shown, std::vector<std::string>& out)
{
    for (const std::string& v : RegValueNames(root, path))
        out.push_back(shown + ":" + v);
    for (const std::string& c : RegSubkeys(root, path)) {
        std::string child = path.empty() ? c : path + "\\" + c;
        std::string childShown = shown.empty() ? c : shown + "\\" + c;
        out.push_back(childShown);
        SnapshotInto(root, child, childShown, out);
    }
}
std::vector<std::string> Snapshot(HKEY root)
{
    std::vector<std::string> out;
    SnapshotInto(root, "", "", out);
    std::sort(out.begin(), out.end());
    return out;
}

// The four roots, each mapped onto a subkey r0 to r3 of the test's private key.
class MappedRoots {
public:
    MappedRoots()
    {
        for (int i = 0; i < 4; i++) {
            std::string sub = key_.path() + "\\r" + std::to_string(i);
            RegCreateKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, 0, 0, KEY_ALL_ACCESS, 0, &subkeys_[i], 0);
        }
        for (int i = 0; i < 4; i++)
            ok_ = ok_ && RegOverridePredefKey(ROOTS[i], subkeys_[i]) == ERROR_SUCCESS;
    }
    ~MappedRoots()
    {
        for (int i = 0; i < 4; i++) {
            RegOverridePredefKey(ROOTS[i], 0);
            RegCloseKey(subkeys_[i]);
        }
    }
    bool ok() const { return ok_; }
    HKEY sub(int i) const { return subkeys_[i]; }
private:
    PrivateKey key_;
    HKEY subkeys_[4] = {};
    bool ok_ = true;
};

} // namespace

TEST(RemoveRegistryEntry, ValuesDefaultValuesTreesAndRefusedRecords)
{
    // the same layout below each of the four roots
    const std::vector<std::string> layout = {"App", "App:(default)", "App:Name", "App:Other", "App\\Sub", "App\\Sub2",
                                             "App\\Sub\\Deep", "App\\Sub\\Deep:v", "AppX", "AppX:v"};
    const std::vector<std::string> appTree = {"App", "App:(default)", "App:Name", "App:Other", "App\\Sub", "App\\Sub2",
                                              "App\\Sub\\Deep", "App\\Sub\\Deep:v"};
    struct Row {
        const char* record;
        int root;                       // the root where something goes, -1 none
        std::vector<std::string> gone;
    } rows[] = {
        {"J1,App,Name", 1, {"App:Name"}},
        {"J1,App,DEFAULT", 1, {"App:(default)"}},
        {"J1,App,Default", 1, {"App:(default)"}},
        {"J1,App,", 1, appTree},
        {"J1,App\\,", 1, appTree},
        {"J1,App\\Sub,", 1, {"App\\Sub", "App\\Sub\\Deep", "App\\Sub\\Deep:v"}},
        {"J1,App", -1, {}},                  // no third field: a value of the whole text's name
        {"J1,App,Missing", -1, {}},
        {"J1,Missing,", -1, {}},
        {"J1,\"App\",", -1, {}},             // quotes stay part of the name
        {"J0,App,", 0, appTree},
        {"J2,App,", 2, appTree},
        {"J3,App,Name", 3, {"App:Name"}},
        {"J256,App,", 0, appTree},           // the low byte picks the root
        {"J257,App,Other", 1, {"App:Other"}},
        {"J4,App,", -1, {}},                 // no root of that number
        {"J255,App,", -1, {}},
        {"J260,App,", -1, {}},
        {"J-1,App,", -1, {}},
        {"J1,,", -1, {}},                    // empty key path and empty value name: never the root
        {"J1,\\,", -1, {}},
        {"J1,\\\\\\,", -1, {}},
    };
    int row = 0;
    for (const Row& r : rows) {
        row++;
        MappedRoots roots;
        ASSERT_TRUE(roots.ok());
        for (int i = 0; i < 4; i++) {
            RegCreate(ROOTS[i], "App\\Sub\\Deep");
            RegCreate(ROOTS[i], "App\\Sub2");
            RegSetString(ROOTS[i], "App", "", "d");
            RegSetString(ROOTS[i], "App", "Name", "n");
            RegSetString(ROOTS[i], "App", "Other", "o");
            RegSetString(ROOTS[i], "App\\Sub\\Deep", "v", "v");
            RegSetString(ROOTS[i], "AppX", "v", "v");
            ASSERT_EQ(Joined(Without(layout, {})), Joined(Snapshot(ROOTS[i]))) << "row " << row << " root " << i;
        }
        {
            RunTables tables;
            RunRecord(r.record);
        }
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(Joined(Without(layout, i == r.root ? r.gone : std::vector<std::string>{})), Joined(Snapshot(ROOTS[i])))
                << "row " << row << " " << r.record << " root " << i;
    }
}

TEST(DeleteRegistryTree, StatusAndWhatAWalkCannotReach)
{
    MappedRoots roots;
    ASSERT_TRUE(roots.ok());
    HKEY root = roots.sub(1);
    // a subkey name of 128 characters or more ends its parent's walk where it stands
    std::string longName = "L" + std::string(130, 'l');
    RegCreate(root, "App\\A\\x");
    RegCreate(root, "App\\" + longName);
    RegCreate(root, "App\\Z");
    RegCreate(root, "Gone\\a\\b\\c");
    RegCreate(root, "Gone\\d");

    EXPECT_EQ(0, DeleteRegistryTree(root, "Gone"));
    EXPECT_NE(0, DeleteRegistryTree(root, "Gone"));
    EXPECT_NE(0, DeleteRegistryTree(root, "App"));
    EXPECT_EQ(Joined(Without({"App", "App\\" + longName, "App\\Z"}, {})), Joined(Snapshot(root)));
    // the root itself is never emptied
    EXPECT_NE(0, DeleteRegistryTree(root, ""));
    EXPECT_NE(0, DeleteRegistryTree(root, "\\"));
    EXPECT_EQ(Joined(Without({"App", "App\\" + longName, "App\\Z"}, {})), Joined(Snapshot(root)));
}

TEST(RemoveUninstallEntries, DeletesOnlyTheNamedEntriesBelowTheUninstallKey)
{
    std::string name255(255, 'k'), value203(203, 'v');
    std::string u = UNINSTALL;
    const std::vector<std::string> keys = {u + "\\App\\Sub", u + "\\Other", u + "Data", u + "\\" + name255,
                                           "Software\\Example"};
    struct Row {
        std::string line;
        std::vector<std::string> gone; // keys of the list above that go, with everything below them
    } rows[] = {
        {"J0,2," + u + "\\App,DisplayName", {u + "\\App"}},
        {"J0,1," + u + "\\App,", {u + "\\App"}},              // the root field is not read
        {"J0,3," + u + "\\App\\Sub,x", {u + "\\App\\Sub"}},
        {"J5,2," + u + "\\App,x", {u + "\\App"}},              // a text's key: the line still counts
        {"J0,2,SOFTWARE\\microsoft\\Windows\\CurrentVersion\\UNINSTALL\\App,x", {u + "\\App"}},
        {"J0,2," + u + "Data,x", {u + "Data"}},
        {"J0,2," + u + "\\App,Display,Name", {}},              // the cut names the key App,Display
        {"J0,2," + u + "\\" + name255 + "," + value203, {u + "\\" + name255}}, // 511 characters from the key path on
        {"J0,2," + u + "\\" + name255 + "," + value203 + "v", {}},              // 512: does not fit
        {"J0,2," + u + "\\" + name255 + "," + value203 + std::string(300, 'v'), {}},
        {"J0,02," + u + "\\App,x", {}},                        // two-character root field
        {"J0,2," + u + ",DisplayName", {}},                    // the Uninstall key itself
        {"J0,2," + u + "\\,DisplayName", {}},
        {"J0,2," + u + "\\\\\\,", {}},
        {"J0,2," + u, {}},                                     // no value-name field
        {"J0,2," + u + "\\App", {}},
        {"P0,2," + u + "\\App,x", {}},
        {"j0,2," + u + "\\App,x", {}},
        {" J0,2," + u + "\\App,x", {}},
        {"J0,2,Software\\Example,", {}},
        // a line holding a zero byte is passed over, as the reader passes it over, not cut at the zero
        {"J0,2," + u + "\\App," + std::string(1, '\0') + "x", {}},
        {"J0,2," + u + "\\App\\Sub" + std::string(1, '\0') + ",x", {}},
    };
    int row = 0;
    for (const Row& r : rows) {
        row++;
        for (int terminated = 0; terminated < 2; terminated++) {
            MappedRoots roots;
            ASSERT_TRUE(roots.ok());
            for (const std::string& k : keys)
                RegCreate(HKEY_LOCAL_MACHINE, k);
            RegSetString(HKEY_LOCAL_MACHINE, u + "\\App", "DisplayName", "App");
            std::vector<std::string> before = Snapshot(HKEY_LOCAL_MACHINE);
            std::string folder = FreshFolder();
            std::string log = folder + "\\uninstal.ini";
            // an unterminated last line is not looked at
            std::string text = "A10,App\r\n" + r.line + (terminated ? "\r\n" : "");
            HANDLE f = CreateFileA(log.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
            DWORD written;
            WriteFile(f, text.data(), (DWORD)text.size(), &written, 0);
            CloseHandle(f);
            CopyText(g_logPath, PATH_BUFFER, log.c_str());
            char first[] = "first reading";
            g_logBuffer = first;
            {
                RunTables tables;
                RemoveUninstallEntries();
            }
            EXPECT_NE(first, g_logBuffer) << "row " << row << ": the second reading's block takes its place";
            if (g_logBuffer != first)
                FreeBlock((void**)&g_logBuffer);
            g_logBuffer = 0;
            g_logPath[0] = 0;
            std::vector<std::string> gone;
            if (terminated)
                for (const std::string& entry : before)
                    for (const std::string& g : r.gone)
                        if (entry == g || entry.compare(0, g.size() + 1, g + "\\") == 0 || entry.compare(0, g.size() + 1, g + ":") == 0)
                            gone.push_back(entry);
            EXPECT_EQ(Joined(Without(before, gone)), Joined(Snapshot(HKEY_LOCAL_MACHINE)))
                << "row " << row << " " << r.line << (terminated ? "" : " (no line end)");
        }
    }
}
