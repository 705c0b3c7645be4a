// Fixtures shared by the early-phase handler tests: a current record, private folders, message boxes answered by script.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include "fixtures.h"
#include <vector>
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
bool WriteFileText(const std::string& path, const std::string& text);
std::string ReadFileText(const std::string& path);  // empty when missing
std::vector<std::string> ReadLines(const std::string& path); // without their CR LF
bool IsWine();

// One message box as it was shown.
struct ShownBox {
    std::string text;
    std::string caption;
    std::string buttons;  // the visible buttons in the order O C A R I Y N (OK, Cancel, Abort, Retry, Ignore, Yes, No)
    std::string icon;     // "information", "question" or "other"
};

// Watches for boxes with the caption and answers box i with steps[i].answer, after running
// steps[i].before when it is set. Boxes beyond the script are answered with the last step's
// answer (without its action). Records every box.
struct BoxStep {
    int answer;
    std::function<void()> before;
};
class ScriptedBoxes {
public:
    ScriptedBoxes(const std::string& caption, std::vector<BoxStep> steps);
    ~ScriptedBoxes();
    void Stop();
    std::vector<ShownBox> Boxes();
private:
    static DWORD WINAPI Run(void* self);
    std::string caption_;
    std::vector<BoxStep> steps_;
    std::vector<ShownBox> boxes_;
    CRITICAL_SECTION lock_;
    volatile LONG stop_;
    HANDLE thread_;
};

} // namespace early
