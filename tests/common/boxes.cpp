// Message-box answering thread shared by the unit and system tests.
#include "boxes.h"

std::string WindowTextOf(HWND window)
{
    wchar_t wide[2048];
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, (LPARAM)wide, SMTO_ABORTIFHUNG, 2000, &length))
        return std::string();
    wide[length < 2048 ? length : 2047] = 0;
    char narrow[4096];
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, NULL, NULL);
    return n > 0 ? std::string(narrow) : std::string();
}

BoxAnswerer::BoxAnswerer(const char* caption, std::vector<int> answers)
    : caption_(caption ? caption : ""), anyCaption_(caption == nullptr), answers_(answers), stop_(0)
{
    InitializeCriticalSection(&lock_);
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
}

BoxAnswerer::~BoxAnswerer()
{
    Stop();
    DeleteCriticalSection(&lock_);
}

void BoxAnswerer::Stop()
{
    if (!thread_)
        return;
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    thread_ = NULL;
}

std::vector<std::string> BoxAnswerer::Texts()
{
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = texts_;
    LeaveCriticalSection(&lock_);
    return copy;
}

std::vector<std::string> BoxAnswerer::Captions()
{
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = captions_;
    LeaveCriticalSection(&lock_);
    return copy;
}

DWORD WINAPI BoxAnswerer::Run(void* p)
{
    BoxAnswerer* self = (BoxAnswerer*)p;
    while (!self->stop_) {
        HWND box = self->anyCaption_ ? FindWindowA("#32770", NULL) : FindWindowA("#32770", self->caption_.c_str());
        // A box needs its text control before it can be read and answered.
        HWND textControl = box ? GetDlgItem(box, 0xFFFF) : NULL;
        if (box && textControl && IsWindowVisible(box)) {
            std::string text = WindowTextOf(textControl);
            std::string caption = WindowTextOf(box);
            EnterCriticalSection(&self->lock_);
            size_t index = self->texts_.size();
            self->texts_.push_back(text);
            self->captions_.push_back(caption);
            LeaveCriticalSection(&self->lock_);
            int answer = self->answers_.empty() ? IDOK
                       : self->answers_[index < self->answers_.size() ? index : self->answers_.size() - 1];
            PostMessageA(box, WM_COMMAND, answer, 0);
            // Wait for this box to go, so that it is not taken for the next one.
            for (int i = 0; i < 500 && IsWindow(box) && !self->stop_; i++)
                Sleep(10);
        }
        Sleep(20);
    }
    return 0;
}
