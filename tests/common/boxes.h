// Answers message boxes from a second thread, for tests whose code under test shows them.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Watches for dialog-class boxes with the given caption (any caption when null) and answers
// each one with the next button id of the list, recording every box's text. Boxes beyond the
// list are answered with the last id. Works for boxes of this process and of others.
class BoxAnswerer {
public:
    BoxAnswerer(const char* caption, std::vector<int> answers);
    ~BoxAnswerer(); // stops the watcher
    void Stop();
    std::vector<std::string> Texts(); // every box answered so far, in order
    std::vector<std::string> Captions();

private:
    static DWORD WINAPI Run(void* self);
    std::string caption_;
    bool anyCaption_;
    std::vector<int> answers_;
    std::vector<std::string> texts_;
    std::vector<std::string> captions_;
    CRITICAL_SECTION lock_;
    volatile LONG stop_;
    HANDLE thread_;
};

// Text of a window of any process, read with the W functions (the A ones come back as UTF-16 across processes under Wine).
std::string WindowTextOf(HWND window);
