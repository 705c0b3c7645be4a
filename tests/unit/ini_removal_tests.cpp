// M records: a key, the last key, a whole section, records that change nothing and create nothing.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "removal_support.h"

using namespace removal;

namespace {

// "[Section] key=value ..." for every section of the file, in file order.
std::string IniShape(const std::string& file)
{
    if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return "(no file)";
    std::vector<char> names(4096);
    DWORD n = GetPrivateProfileSectionNamesA(names.data(), (DWORD)names.size(), file.c_str());
    std::string shape;
    for (const char* s = names.data(); s < names.data() + n && *s; s += strlen(s) + 1) {
        shape += (shape.empty() ? "[" : " [") + std::string(s) + "]";
        std::vector<char> keys(4096);
        DWORD k = GetPrivateProfileSectionA(s, keys.data(), (DWORD)keys.size(), file.c_str());
        for (const char* e = keys.data(); e < keys.data() + k && *e; e += strlen(e) + 1)
            shape += " " + std::string(e);
    }
    return shape;
}

} // namespace

TEST(RemoveIniEntry, KeysSectionsAndRecordsThatChangeNothing)
{
    const std::string content = "[One]\r\na=1\r\nb=2\r\n[Two]\r\nonly=x\r\n[Three]\r\n";
    const std::string all = "[One] a=1 b=2 [Two] only=x [Three]";
    std::string key255(255, 'k'), key256(256, 'k');
    struct Row {
        std::string fields; // {F} is the file
        std::string shape;
    } rows[] = {
        {"{F},One,a", "[One] b=2 [Two] only=x [Three]"},
        {"{F},Two,only", "[One] a=1 b=2 [Three]"},                 // the last key takes its section along
        {"{F},One,", "[Two] only=x [Three]"},
        {"{F},one,A", "[One] b=2 [Two] only=x [Three]"},           // names compared ignoring case
        {"{F},One,zzz", all},
        {"{F},Three,zzz", "[One] a=1 b=2 [Two] only=x"},           // a section without keys goes
        {"{F},One", all},                                          // two fields: the key is the whole text
        {"{F},Three", "[One] a=1 b=2 [Two] only=x"},
        {"{F},\"One\",a", all},                                    // quotes stay part of the name
        {"{F},Missing,a", all},
        {"{F},One," + key255, all},                                // 255 characters: fits, matches nothing
        {"{F},One," + key256, all},                                // 256: refused
    };
    int row = 0;
    for (const Row& r : rows) {
        row++;
        std::string folder = FreshFolder();
        std::string file = folder + "\\app.ini";
        HANDLE f = CreateFileA(file.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
        DWORD written;
        WriteFile(f, content.data(), (DWORD)content.size(), &written, 0);
        CloseHandle(f);
        ASSERT_EQ(all, IniShape(file));
        std::string fields = r.fields;
        fields.replace(fields.find("{F}"), 3, file);
        RunRecord("M" + fields);
        EXPECT_EQ(r.shape, IniShape(file)) << "row " << row << " M" << r.fields.substr(0, 40);
    }
}

// A missing file is not created, neither where it is named nor in the Windows folder, which the
// profile calls would pick for a name without a folder.
TEST(RemoveIniEntry, MissingOrFolderlessFilesAreNotCreated)
{
    std::string folder = FreshFolder();
    std::string name = TestName() + ".ini";
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string inWindows = std::string(windows) + "\\" + name;
    DeleteFileA(inWindows.c_str());
    std::string previous(MAX_PATH, 0);
    GetCurrentDirectoryA(MAX_PATH, &previous[0]);
    SetCurrentDirectoryA(folder.c_str());
    const std::string records[] = {"M" + folder + "\\missing.ini,One,a", "M" + folder + "\\missing.ini,One,", "M" + name + ",One,a",
                                   "M" + name + ",One,"};
    // a folderless name that does exist in the current folder is refused as well
    HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    DWORD written;
    WriteFile(f, "[One]\r\na=1\r\n", 12, &written, 0);
    CloseHandle(f);
    for (const std::string& r : records)
        RunRecord(r);
    SetCurrentDirectoryA(previous.c_str());
    EXPECT_EQ("(no file)", IniShape(folder + "\\missing.ini"));
    EXPECT_EQ("(no file)", IniShape(inWindows));
    EXPECT_EQ("[One] a=1", IniShape(folder + "\\" + name));
    DeleteFileA(inWindows.c_str());
}
