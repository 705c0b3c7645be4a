// Fixtures shared by the early-phase handler tests: a current record, private folders, message boxes answered by script.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "boxes.h"
#include "fixtures.h"
#include "actions/actions.h"

namespace early {

// Points g_currentAction at a private entry holding the record (letter first) until it goes.
class CurrentRecord {
public:
    explicit CurrentRecord(const std::string& record);
    ~CurrentRecord();
private:
    std::vector<char> text_;
    ActionEntry entry_;
};

std::string Env(const char* name);
std::string TestBin(const std::string& name);       // UNINST_TESTBIN\name
std::string TestName();                             // <suite>_<test>, safe in paths, names and titles
// C:\utest\<name>, deleted with everything in it and made again; no trailing backslash.
std::string FreshFolder(const std::string& name);
using fixtures::DeleteTree;
using fixtures::WriteFileText;
using fixtures::ReadFileText;
std::vector<std::string> ReadLines(const std::string& path); // without their CR LF
bool IsWine();
std::string Join(const std::vector<std::string>& lines); // "[a][b]...", for comparing lists in one message

} // namespace early
