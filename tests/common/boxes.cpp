// Message-box answering thread shared by the unit and system tests.
#include "boxes.h"

std::string WindowTextOf(HWND window)
{
    wchar_t wide[2048];
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, (LPARAM)wide, SMTO_ABORTIFHUNG, 2000, &length)) {
        // A window whose thread is busy (a main phase of thousands of files) does not answer; the
        // text stored for a window of another process is read without a message.
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == GetCurrentProcessId())
            return std::string();
        length = (DWORD_PTR)GetWindowTextW(window, wide, 2048);
    }
    wide[length < 2048 ? length : 2047] = 0;
    char narrow[4096];
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, NULL, NULL);
    return n > 0 ? std::string(narrow) : std::string();
}

ScriptedBoxes::ScriptedBoxes(const char* caption, std::vector<BoxStep> steps)
    : caption_(caption ? caption : ""), anyCaption_(caption == nullptr), steps_(steps), stop_(0)
{
    InitializeCriticalSection(&lock_);
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
}

ScriptedBoxes::~ScriptedBoxes()
{
    Stop();
    DeleteCriticalSection(&lock_);
}

void ScriptedBoxes::Stop()
{
    if (!thread_)
        return;
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    thread_ = NULL;
}

std::vector<ShownBox> ScriptedBoxes::Boxes()
{
    EnterCriticalSection(&lock_);
    std::vector<ShownBox> copy = boxes_;
    LeaveCriticalSection(&lock_);
    return copy;
}

static std::string ButtonsOf(HWND box)
{
    static const struct { int id; char letter; } buttons[] = {
        {IDOK, 'O'}, {IDCANCEL, 'C'}, {IDABORT, 'A'}, {IDRETRY, 'R'}, {IDIGNORE, 'I'}, {IDYES, 'Y'}, {IDNO, 'N'}};
    std::string letters;
    for (const auto& button : buttons) {
        HWND control = GetDlgItem(box, button.id);
        if (control && IsWindowVisible(control))
            letters += button.letter;
    }
    return letters;
}

static std::string IconOf(HWND box)
{
    const int MESSAGE_BOX_ICON = 1088; // the icon control of the system's message box template
    HWND control = GetDlgItem(box, MESSAGE_BOX_ICON);
    DWORD_PTR icon = 0;
    if (!control || !SendMessageTimeoutA(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon))
        return "other";
    if (icon && (HICON)icon == LoadIconA(NULL, IDI_INFORMATION))
        return "information";
    if (icon && (HICON)icon == LoadIconA(NULL, IDI_QUESTION))
        return "question";
    return "other";
}

DWORD WINAPI ScriptedBoxes::Run(void* p)
{
    ScriptedBoxes* self = (ScriptedBoxes*)p;
    while (!self->stop_) {
        HWND box = self->anyCaption_ ? FindWindowA("#32770", NULL) : FindWindowA("#32770", self->caption_.c_str());
        // A box needs its text control before it can be read and answered.
        HWND textControl = box ? GetDlgItem(box, 0xFFFF) : NULL;
        if (box && textControl && IsWindowVisible(box)) {
            ShownBox shown;
            shown.text = WindowTextOf(textControl);
            shown.caption = WindowTextOf(box);
            shown.buttons = ButtonsOf(box);
            shown.icon = IconOf(box);
            EnterCriticalSection(&self->lock_);
            size_t index = self->boxes_.size();
            self->boxes_.push_back(shown);
            LeaveCriticalSection(&self->lock_);
            int answer = IDOK;
            if (index < self->steps_.size()) {
                if (self->steps_[index].before)
                    self->steps_[index].before();
                answer = self->steps_[index].answer;
            } else if (!self->steps_.empty()) {
                answer = self->steps_.back().answer;
            }
            PostMessageA(box, WM_COMMAND, answer, 0);
            // Wait for this box to go, so that it is not taken for the next one.
            for (int i = 0; i < 500 && IsWindow(box) && !self->stop_; i++)
                Sleep(10);
        }
        Sleep(20);
    }
    return 0;
}

static std::vector<BoxStep> PressOnly(const std::vector<int>& answers)
{
    std::vector<BoxStep> steps;
    for (int answer : answers)
        steps.push_back({answer, nullptr});
    return steps;
}

BoxAnswerer::BoxAnswerer(const char* caption, const std::vector<int>& answers)
    : ScriptedBoxes(caption, PressOnly(answers))
{
}

std::vector<std::string> BoxAnswerer::Texts()
{
    std::vector<std::string> texts;
    for (const ShownBox& box : Boxes())
        texts.push_back(box.text);
    return texts;
}

std::vector<std::string> BoxAnswerer::Captions()
{
    std::vector<std::string> captions;
    for (const ShownBox& box : Boxes())
        captions.push_back(box.caption);
    return captions;
}
