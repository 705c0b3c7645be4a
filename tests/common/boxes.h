// Answers message boxes from a second thread, for tests whose code under test shows them.
#pragma once
#include <windows.h>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// One message box as it was shown.
struct ShownBox {
    std::string text;
    std::string caption;
    std::string buttons;  // the visible buttons in the order O C A R I Y N (OK, Cancel, Abort, Retry, Ignore, Yes, No)
    std::string icon;     // "information", "question" or "other"
};

// What to do with one box: run `before` (when set) while the box is up, then press `answer`.
struct BoxStep {
    int answer;
    std::function<void()> before;
};

// Watches for dialog-class boxes with the caption (any caption when null) and answers box i
// with steps[i]. Boxes beyond the script are answered with the last step's answer (without its
// action), or OK when there is no step. Records every box. Works for boxes of this process and
// of others.
class ScriptedBoxes {
public:
    ScriptedBoxes(const char* caption, std::vector<BoxStep> steps);
    ScriptedBoxes(const std::string& caption, std::vector<BoxStep> steps) : ScriptedBoxes(caption.c_str(), steps) {}
    ~ScriptedBoxes(); // stops the watcher
    void Stop();
    std::vector<ShownBox> Boxes(); // every box answered so far, in order

private:
    static DWORD WINAPI Run(void* self);
    std::string caption_;
    bool anyCaption_;
    std::vector<BoxStep> steps_;
    std::vector<ShownBox> boxes_;
    CRITICAL_SECTION lock_;
    volatile LONG stop_;
    HANDLE thread_;
};

// The same watcher for tests that only press buttons: box i gets answers[i].
class BoxAnswerer : public ScriptedBoxes {
public:
    BoxAnswerer(const char* caption, const std::vector<int>& answers);
    std::vector<std::string> Texts();    // the text of every box answered so far, in order
    std::vector<std::string> Captions();
};

// Text of a window of any process, read with the W functions (the A ones come back as UTF-16 across processes under Wine).
std::string WindowTextOf(HWND window);

// The child of a death test runs the test body too; only the parent may answer the box.
inline bool InDeathTestChild()
{
    return strstr(GetCommandLineA(), "gtest_internal_run_death_test") != nullptr;
}
