// Path and text helpers, and whole-file access.
#include <gtest/gtest.h>
#include <string>
#include "boxes.h"
#include "common/common.h"
#include "startup/startup.h"

namespace {
const char CANARY = 0x5A;

std::string Repeat(char c, int n) { return std::string(n, c); }

// A folder of its own under C:\utest, emptied and recreated.
std::string FreshFolder(const char* name)
{
    std::string folder = std::string("C:\\utest\\") + name;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string item = folder + "\\" + found.cFileName;
            SetFileAttributesA(item.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(item.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    CreateDirectoryA("C:\\utest", NULL);
    CreateDirectoryA(folder.c_str(), NULL);
    return folder;
}
} // namespace

TEST(JoinPath, Table)
{
    struct Row { const char* folder; const char* name; const char* expected; } rows[] = {
        {"C:\\App", "uninstal.ini", "C:\\App\\uninstal.ini"},
        {"c:\\", "uninst.exe", "c:\\uninst.exe"},
        {"C:\\Dir", "\\*.*", "C:\\Dir\\*.*"},
        {"C:\\App\\", "\\file.txt", "C:\\App\\file.txt"},
        {"C:\\App", "\\\\share\\x", "C:\\App\\\\share\\x"},
        {"", "name", "\\name"},
        {"C:", "uninst.exe", "C:\\uninst.exe"},
        {"C:\\App", "", "C:\\App\\"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char out[512];
        char* result = JoinPath(out, sizeof out, rows[i].folder, rows[i].name);
        EXPECT_EQ(out, result) << "row " << i;
        EXPECT_STREQ(rows[i].expected, out) << "row " << i << ": \"" << rows[i].folder << "\" + \"" << rows[i].name << "\"";
    }
}

// A result that does not fit is refused whole, never cut, and nothing is written past the buffer.
TEST(JoinPath, BufferBound)
{
    const int SIZE = 32;
    struct Row { std::string folder; std::string name; bool fits; } rows[] = {
        {"C:\\A", Repeat('n', SIZE - 1 - 4 - 1), true},       // fits exactly: 31 characters
        {"C:\\A", Repeat('n', SIZE - 4 - 1), false},          // one too long
        {"C:\\A", Repeat('n', 5000), false},                  // far too long
        {Repeat('f', SIZE), "x", false},                      // the folder alone is too long
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char out[SIZE + 1];
        memset(out, 'q', sizeof out);
        out[SIZE] = CANARY;
        char* result = JoinPath(out, SIZE, rows[i].folder.c_str(), rows[i].name.c_str());
        std::string expected = rows[i].fits ? rows[i].folder + "\\" + rows[i].name : "";
        EXPECT_EQ(rows[i].fits, result != nullptr) << "row " << i;
        EXPECT_EQ(expected, std::string(out)) << "row " << i;
        EXPECT_EQ(CANARY, out[SIZE]) << "row " << i << ": canary overwritten";
    }
}

TEST(FileNameOf, Table)
{
    struct Row { const char* path; const char* expected; } rows[] = {
        {"C:\\Dir\\*.txt", "*.txt"},
        {"readme.txt", "readme.txt"},
        {"C:\\Dir\\", ""},
        {"", ""},
        {"\\x", "x"},
        {"C:/Dir/a.txt", "C:/Dir/a.txt"}, // the forward slash is no separator
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char out[512] = "garbage";
        FileNameOf(rows[i].path, out, sizeof out);
        EXPECT_STREQ(rows[i].expected, out) << "row " << i << ": " << rows[i].path;
    }
}

TEST(FileNameOf, BufferBound)
{
    const int SIZE = 16;
    struct Row { std::string name; bool fits; } rows[] = {
        {Repeat('a', SIZE - 1), true},
        {Repeat('a', SIZE), false},
        {Repeat('a', 3000), false},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char out[SIZE + 1];
        memset(out, 'q', sizeof out);
        out[SIZE] = CANARY;
        FileNameOf(("C:\\Dir\\" + rows[i].name).c_str(), out, SIZE);
        EXPECT_EQ(rows[i].fits ? rows[i].name : "", std::string(out)) << "row " << i;
        EXPECT_EQ(CANARY, out[SIZE]) << "row " << i << ": canary overwritten";
    }
}

TEST(StripLastComponent, Table)
{
    struct Row { const char* path; const char* expected; } rows[] = {
        {"C:\\App\\uninst.exe", "C:\\App"},
        {"C:\\uninst.exe", "C:"},
        {"C:\\App\\", "C:\\App"},
        {"uninst.exe", ""},
        {"x", ""},
        {"", ""},
        {"\\name", ""},   // index 0 is never tested
        {"\\\\a", "\\"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char buffer[512];
        strcpy(buffer, rows[i].path);
        StripLastComponent(buffer);
        EXPECT_STREQ(rows[i].expected, buffer) << "row " << i << ": " << rows[i].path;
    }
}

TEST(SameText, Table)
{
    struct Row { const char* a; const char* b; int expected; } rows[] = {
        {"C:\\TEMP", "c:\\temp", 1},
        {"C:\\Temp", "C:\\Temp\\", 0},
        {"", "", 1},
        {"a", "", 0},
        {"Uninstal.INI", "uninstal.ini", 1},
        {"a/b", "a\\b", 0},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++)
        EXPECT_EQ(rows[i].expected, SameText(rows[i].a, rows[i].b)) << "row " << i << ": " << rows[i].a << " / " << rows[i].b;
}

TEST(StartsWithText, Table)
{
    struct Row { const char* text; const char* prefix; int expected; } rows[] = {
        {"-Silent", "-s", 1},
        {"-", "-s", 0},
        {"", "-s", 0},
        {"-S", "-s", 1},
        {"x-s", "-s", 0},
        {"anything", "", 1},
        {"HKEY_LOCAL_MACHINE\\Soft", "hkey_local_machine", 1},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++)
        EXPECT_EQ(rows[i].expected, StartsWithText(rows[i].text, rows[i].prefix))
            << "row " << i << ": \"" << rows[i].text << "\" / \"" << rows[i].prefix << "\"";
}

TEST(CopyText, BufferBound)
{
    const int SIZE = 8;
    struct Row { std::string source; bool fits; } rows[] = {
        {Repeat('c', SIZE - 1), true},
        {Repeat('c', SIZE), false},
        {Repeat('c', 900), false},
        {"", true},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char out[SIZE + 1];
        memset(out, 'q', sizeof out);
        out[SIZE] = CANARY;
        EXPECT_EQ(rows[i].fits ? 1 : 0, CopyText(out, SIZE, rows[i].source.c_str())) << "row " << i;
        EXPECT_EQ(rows[i].fits ? rows[i].source : "", std::string(out)) << "row " << i;
        EXPECT_EQ(CANARY, out[SIZE]) << "row " << i;
    }
}

TEST(OpenForSize, Modes)
{
    std::string folder = FreshFolder("OpenForSize");
    std::string existing = folder + "\\five.txt";
    std::string missing = folder + "\\missing.txt";
    std::string created = folder + "\\created.txt";
    auto write = [](const std::string& path, const char* bytes) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD n;
        WriteFile(f, bytes, (DWORD)strlen(bytes), &n, NULL);
        CloseHandle(f);
    };
    auto sizeOnDisk = [](const std::string& path) -> long {
        WIN32_FILE_ATTRIBUTE_DATA data;
        return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? (long)data.nFileSizeLow : -1;
    };
    struct Row { std::string path; bool prepare; DWORD sizeIn; bool opens; DWORD sizeOut; long sizeAfter; } rows[] = {
        {existing, true, 1, true, 5, 5},      // read mode reports the size, leaves the file
        {existing, true, 7, true, 5, 5},      // any non-zero size selects read mode
        {existing, true, 0, true, 0, 0},      // write mode empties an existing file
        {missing, false, 1, false, 1, -1},    // a missing file: no handle, size untouched
        {created, false, 0, true, 0, 0},      // write mode creates a missing file
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        DeleteFileA(rows[i].path.c_str());
        if (rows[i].prepare)
            write(rows[i].path, "hello");
        DWORD size = rows[i].sizeIn;
        HANDLE file = OpenForSize(rows[i].path.c_str(), &size);
        EXPECT_EQ(rows[i].opens, file != INVALID_HANDLE_VALUE) << "row " << i;
        EXPECT_EQ(rows[i].sizeOut, size) << "row " << i;
        if (file != INVALID_HANDLE_VALUE) {
            // Both modes share reading and writing with others.
            HANDLE other = CreateFileA(rows[i].path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       NULL, OPEN_EXISTING, 0, NULL);
            EXPECT_NE(INVALID_HANDLE_VALUE, other) << "row " << i << ": not shared";
            if (other != INVALID_HANDLE_VALUE)
                CloseHandle(other);
            CloseHandle(file);
        }
        EXPECT_EQ(rows[i].sizeAfter, sizeOnDisk(rows[i].path)) << "row " << i;
    }
}

TEST(ReadExact, ShortReadShowsTheErrorAndGoesOn)
{
    std::string folder = FreshFolder("ReadExact");
    std::string path = folder + "\\three.bin";
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD n;
    WriteFile(f, "abc", 3, &n, NULL);
    CloseHandle(f);
    strcpy(g_caption, "ReadExact test caption");
    struct Row { DWORD count; bool box; } rows[] = {{3, false}, {4, true}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        BoxAnswerer answerer("ReadExact test caption", {IDOK});
        DWORD size = 1;
        HANDLE file = OpenForSize(path.c_str(), &size);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        char buffer[8] = {0};
        ReadExact(file, buffer, rows[i].count, path.c_str());
        CloseHandle(file);
        answerer.Stop();
        EXPECT_STREQ("abc", buffer) << "row " << i;
        std::vector<std::string> expected;
        if (rows[i].box)
            expected.push_back("Error reading file " + path);
        EXPECT_EQ(expected, answerer.Texts()) << "row " << i;
    }
    g_caption[0] = 0;
}

TEST(AllocBlock, ZeroFilledAndFreed)
{
    void* block = AllocBlock(4096);
    ASSERT_NE(nullptr, block);
    std::string zeros(4096, '\0');
    EXPECT_EQ(zeros, std::string((char*)block, 4096));
    FreeBlock(&block);
    EXPECT_EQ(nullptr, block);
    FreeBlock(&block); // a second release of the same variable is harmless
    EXPECT_EQ(nullptr, block);
}

TEST(ZeroBytes, ClearsExactlyCount)
{
    struct Row { DWORD count; const char* expected; } rows[] = {{0, "abcdef"}, {3, "\0\0\0def"}, {6, "\0\0\0\0\0\0"}};
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char buffer[7] = "abcdef";
        ZeroBytes(buffer, rows[i].count);
        EXPECT_EQ(std::string(rows[i].expected, 6), std::string(buffer, 6)) << "row " << i;
    }
}
