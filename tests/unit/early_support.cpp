// Fixtures shared by the early-phase handler tests.
#include "early_support.h"
#include <gtest/gtest.h>
#include "boxes.h"

namespace early {

CurrentRecord::CurrentRecord(const std::string& record) : text_(record.begin(), record.end())
{
    text_.push_back(0);
    entry_.key = 5001;
    entry_.record = text_.data();
    g_currentAction = &entry_;
    g_lastAction = &entry_;
}

CurrentRecord::~CurrentRecord()
{
    g_currentAction = nullptr;
    g_lastAction = nullptr;
}

std::string Env(const char* name)
{
    char value[4096];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n == 0 || n >= sizeof value ? std::string() : std::string(value);
}

std::string TestBin(const std::string& name)
{
    return Env("UNINST_TESTBIN") + "\\" + name;
}

std::string TestName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
        if (!isalnum((unsigned char)c))
            c = '_';
    }
    return name;
}

std::string FreshFolder(const std::string& name)
{
    std::string path = "C:\\utest\\" + name;
    CreateDirectoryA("C:\\utest", NULL);
    DeleteTree(path);
    EXPECT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path;
    return path;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::string text = ReadFileText(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += "[" + line + "]";
    return text;
}

bool IsWine() { return fixtures::IsWine(); }

} // namespace early
