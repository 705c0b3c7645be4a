// Running-application checks: what each kind detects, the box each style shows, and what each answer does.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "early_support.h"
#include "actions/actions.h"
#include "common/common.h"
#include "startup/startup.h"

using namespace early;

namespace {

enum Effect { END, AGAIN, GO_ON };

// Sets g_caption to a caption no other test process or row uses, so that parallel tests never
// answer each other's boxes, and returns it.
std::string UniqueCaption(int row)
{
    std::string caption = "Check " + TestName().substr(0, 80) + " " + std::to_string(GetCurrentProcessId()) + " "
                        + std::to_string(row);
    CopyText(g_caption, TEXT_FIELD, caption.c_str());
    return caption;
}

// A hidden top-level window of this thread with the title; the box's message loop serves it.
HWND MakeWindow(const std::string& title)
{
    return CreateWindowExA(0, "STATIC", title.c_str(), WS_OVERLAPPED, 0, 0, 50, 50, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

std::string Record(int kind, const std::string& name, const std::string& message, int style)
{
    return "B" + std::to_string(kind) + "," + name + "," + message + "," + std::to_string(style);
}

// The sign that every answer test looks for: a mutex held by the test, which a box step can drop.
struct HeldMutex {
    std::string name;
    HANDLE handle;
    HeldMutex() : name("EarlyCheckMutex_" + TestName() + "_" + std::to_string(GetCurrentProcessId()))
    {
        handle = CreateMutexA(NULL, FALSE, name.c_str());
    }
    ~HeldMutex() { Drop(); }
    void Drop()
    {
        if (handle)
            CloseHandle(handle);
        handle = NULL;
    }
};

struct AnswerCase {
    int row;
    int style;
    int answer;
    Effect effect;
    const char* buttons;  // the box's buttons, as ShownBox lists them
    const char* icon;
};

const AnswerCase ANSWERS[] = {
    {1, 0, IDABORT, END, "ARI", "information"},
    {2, 0, IDRETRY, AGAIN, "ARI", "information"},
    {3, 0, IDIGNORE, GO_ON, "ARI", "information"},
    {4, 1, IDOK, END, "O", "information"},
    {5, 2, IDOK, AGAIN, "OC", "information"},
    {6, 2, IDCANCEL, END, "OC", "information"},
    {7, 3, IDRETRY, AGAIN, "CR", "information"},
    {8, 3, IDCANCEL, END, "CR", "information"},
    {9, 4, IDYES, AGAIN, "YN", "question"},
    {10, 4, IDNO, GO_ON, "YN", "question"},
    {11, 5, IDYES, AGAIN, "CYN", "question"},
    {12, 5, IDNO, GO_ON, "CYN", "question"},
    {13, 5, IDCANCEL, END, "CYN", "question"},
    // Styles without a box of their own get Abort/Retry/Ignore: every choice stays the user's.
    {14, 6, IDABORT, END, "ARI", "information"},
    {15, 6, IDRETRY, AGAIN, "ARI", "information"},
    {16, 65535, IDIGNORE, GO_ON, "ARI", "information"},
    {17, -1, IDIGNORE, GO_ON, "ARI", "information"}, // reads as 65535
    {18, 65536, IDIGNORE, GO_ON, "ARI", "information"}, // the style is a 16-bit value: 65536 is style 0
    {19, 65537, IDOK, END, "O", "information"},       // and 65537 is style 1
};

std::string Describe(const AnswerCase& c)
{
    return "row " + std::to_string(c.row) + ": style " + std::to_string(c.style) + " answered " + std::to_string(c.answer);
}

// Rows print as what they test, not as bytes.
void PrintTo(const AnswerCase& c, std::ostream* out)
{
    *out << Describe(c);
}

} // namespace

class EarlyRunningCheckAnswer : public ::testing::TestWithParam<AnswerCase> {};

// Look again shows the box again while the sign stays and returns once it is gone; go on returns
// with the sign still there. Both show the box of the style under g_caption. The ending answers
// end the process at once with their exit code; that child checks the box it saw and ends with
// another code when the buttons are not the style's.
TEST_P(EarlyRunningCheckAnswer, HasItsEffect)
{
    const AnswerCase& c = GetParam();
    if (c.effect == END) {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        EXPECT_EXIT(
            {
                std::string caption = UniqueCaption(c.row);
                HeldMutex mutex;
                std::string buttons = c.buttons;
                ScriptedBoxes boxes(caption, {{c.answer, nullptr}});
                CurrentRecord record(Record(1, mutex.name, "Close it", c.style));
                CheckRunningApplication();
                boxes.Stop();
                std::vector<ShownBox> shown = boxes.Boxes();
                ExitProcess(shown.size() == 1 && shown[0].buttons == buttons ? 3 : 4); // returned: wrong
            },
            ::testing::ExitedWithCode(EXIT_APPLICATION_RUNNING), "")
            << Describe(c);
        return;
    }
    std::string caption = UniqueCaption(c.row);
    HeldMutex mutex;
    ASSERT_TRUE(mutex.handle != NULL);
    std::vector<BoxStep> steps;
    if (c.effect == AGAIN)
        steps = {{c.answer, nullptr}, {c.answer, [&mutex] { mutex.Drop(); }}};
    else
        steps = {{c.answer, nullptr}};
    ScriptedBoxes boxes(caption, steps);
    {
        CurrentRecord record(Record(1, mutex.name, "Close the application", c.style));
        CheckRunningApplication();
    }
    boxes.Stop();
    std::vector<ShownBox> shown = boxes.Boxes();
    ASSERT_EQ(steps.size(), shown.size()) << Describe(c);
    for (const ShownBox& box : shown) {
        EXPECT_EQ("Close the application", box.text) << Describe(c);
        EXPECT_EQ(caption, box.caption) << Describe(c);
        EXPECT_EQ(c.buttons, box.buttons) << Describe(c);
        EXPECT_EQ(c.icon, box.icon) << Describe(c);
    }
    if (c.effect == GO_ON)
        EXPECT_TRUE(mutex.handle != NULL) << Describe(c) << ": went on while the application still ran";
    g_caption[0] = 0;
}

// One test per row: every box takes Wine about two seconds to show.
INSTANTIATE_TEST_SUITE_P(Rows, EarlyRunningCheckAnswer, ::testing::ValuesIn(ANSWERS),
                         [](const ::testing::TestParamInfo<AnswerCase>& info) { return "row" + std::to_string(info.param.row); });

namespace {

struct Fixture {
    std::string folder;
    std::string heldFile, closedFile, readOnlyFile, subFolder;
    HANDLE held;
    std::string mutexName;
    HANDLE mutex;
    std::string title;
    HWND window;
    Fixture()
    {
        folder = FreshFolder(TestName());
        heldFile = folder + "\\held.dat";
        closedFile = folder + "\\closed.dat";
        readOnlyFile = folder + "\\readonly.dat";
        subFolder = folder + "\\sub";
        WriteFileText(heldFile, "held");
        WriteFileText(closedFile, "closed");
        WriteFileText(readOnlyFile, "read only");
        SetFileAttributesA(readOnlyFile.c_str(), FILE_ATTRIBUTE_READONLY);
        CreateDirectoryA(subFolder.c_str(), NULL);
        held = CreateFileA(heldFile.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        std::string unique = TestName() + "_" + std::to_string(GetCurrentProcessId());
        mutexName = "EarlyKindMutex_" + unique;
        mutex = CreateMutexA(NULL, FALSE, mutexName.c_str());
        title = "Early Editor Window " + unique;
        window = MakeWindow(title);
    }
    ~Fixture()
    {
        DestroyWindow(window);
        CloseHandle(mutex);
        CloseHandle(held);
        DeleteTree(folder);
    }
};

std::string Upper(std::string s)
{
    for (char& c : s)
        c = (char)toupper((unsigned char)c);
    return s;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

// Known Wine difference: running as root, Wine opens a read-only file for writing.
bool ReadOnlyFileOpensForWriting(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

} // namespace

// Each kind against signs that are there and signs that are not. Style 4 answered No: a box
// means the check found the application running, and the handler goes on after it.
TEST(EarlyRunningCheck, DetectionKinds)
{
    Fixture f;
    ASSERT_TRUE(f.held != INVALID_HANDLE_VALUE && f.mutex && f.window);
    std::string fragment = f.title.substr(6, 12); // "Editor Windo"
    bool readOnlyOpens = IsWine() && ReadOnlyFileOpensForWriting(f.readOnlyFile);
    struct Case {
        int row;
        int kind;
        std::string name;
        bool running;
    } cases[] = {
        {1, 0, f.heldFile, true},
        {2, 0, "\"" + f.heldFile + "\"", true},        // the name's quotes are removed
        {3, 0, f.closedFile, false},
        {4, 0, f.folder + "\\missing.dat", false},
        {5, 0, f.subFolder, true},                     // a folder cannot be opened as a file
        {6, 0, f.folder + "\\clo*.dat", true},         // a pattern is found but cannot be opened
        {7, 0, f.readOnlyFile, !readOnlyOpens},        // see ReadOnlyFileOpensForWriting
        {8, 1, f.mutexName, true},
        {9, 1, f.mutexName + "_other", false},
        {10, 2, f.title, true},
        {11, 2, fragment, false},                      // kind 2 wants the whole title
        {12, 3, Upper(fragment), true},
        {13, 3, Lower(fragment), true},
        {14, 3, f.title, true},
        {15, 3, "Early Editor Window no such " + std::to_string(GetCurrentProcessId()), false},
        {16, 3, "", true},                             // an empty fragment is in every title
        {17, 3, f.title + "!", false},                 // longer than the title
        {18, 4, f.heldFile, false},                    // other kinds detect nothing
        {19, 65535, f.title, false},
        {20, 65536, f.heldFile, true},                 // the kind is a 16-bit value: 65536 is kind 0
        {21, 65538, f.title, true},                    // and 65538 is kind 2
    };
    for (const Case& c : cases) {
        std::string caption = UniqueCaption(c.row);
        ScriptedBoxes boxes(caption, {{IDNO, nullptr}});
        {
            CurrentRecord record(Record(c.kind, c.name, "Running", 4));
            CheckRunningApplication();
        }
        boxes.Stop();
        EXPECT_EQ(c.running ? 1u : 0u, boxes.Boxes().size())
            << "row " << c.row << ": kind " << c.kind << " name '" << c.name << "'";
    }
    g_caption[0] = 0;
}

// The record's own message: one pair of quotes removed (a comma inside them stays), "|#" a line break.
TEST(EarlyRunningCheck, MessageText)
{
    HeldMutex mutex;
    struct Case {
        int row;
        std::string field;
        std::string shown;
    } cases[] = {
        {1, "Please close it", "Please close it"},
        {2, "\"Please, close it\"", "Please, close it"},
        {3, "First|#Second|#Third", "First\nSecond\nThird"},
        {4, "\"Quoted|#two lines\"", "Quoted\ntwo lines"},
        {5, "||#a|b#", "|\na|b#"},
    };
    for (const Case& c : cases) {
        std::string caption = UniqueCaption(c.row);
        ScriptedBoxes boxes(caption, {{IDIGNORE, nullptr}});
        {
            CurrentRecord record(Record(1, mutex.name, c.field, 0));
            CheckRunningApplication();
        }
        boxes.Stop();
        std::vector<ShownBox> shown = boxes.Boxes();
        ASSERT_EQ(1u, shown.size()) << "row " << c.row;
        std::string text = shown[0].text;
        // Message boxes may hand their text back with CR LF for each line break.
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
            text.replace(at, 2, "\n");
        EXPECT_EQ(c.shown, text) << "row " << c.row << ": field '" << c.field << "'";
    }
    g_caption[0] = 0;
}

// Fields that do not fit their buffers pass the record over: no look, no box. A refused name
// must not become the empty fragment, which every window title contains.
TEST(EarlyRunningCheck, FieldsBeyondTheirBuffers)
{
    std::string unique = std::to_string(GetCurrentProcessId());
    std::string title255 = "EarlyLongTitle" + unique;
    title255 += std::string(255 - title255.size(), 'x');
    HWND window = MakeWindow(title255 + "tail");
    ASSERT_TRUE(window != NULL);
    HeldMutex mutex;
    std::string message511(511, 'm');
    std::string number255 = std::string(254, '0') + "1";
    struct Case {
        int row;
        std::string fields;
        bool shown;
    } cases[] = {
        {1, "3," + title255 + ",Running,0", true},                         // name fits exactly
        {2, "3," + title255 + "x,Running,0", false},                       // one too long
        {3, "3," + title255 + std::string(3000, 'x') + ",Running,0", false}, // far too long
        {4, "1," + mutex.name + "," + message511 + ",0", true},
        {5, "1," + mutex.name + "," + message511 + "m,0", false},
        {6, "1," + mutex.name + "," + std::string(5000, 'm') + ",0", false},
        {7, number255 + "," + mutex.name + ",Running,0", true},           // kind field fits exactly
        {8, "0" + number255 + "," + mutex.name + ",Running,0", false},
        {9, "1," + mutex.name + ",Running," + std::string(255, '0'), true}, // style field fits exactly
        {10, "1," + mutex.name + ",Running,0" + std::string(255, '0'), false},
    };
    for (const Case& c : cases) {
        std::string caption = UniqueCaption(c.row);
        ScriptedBoxes boxes(caption, {{IDIGNORE, nullptr}});
        {
            CurrentRecord record("B" + c.fields);
            CheckRunningApplication();
        }
        boxes.Stop();
        std::vector<ShownBox> shown = boxes.Boxes();
        ASSERT_EQ(c.shown ? 1u : 0u, shown.size()) << "row " << c.row << ": fields of " << c.fields.size() << " characters";
        if (c.row == 4)
            EXPECT_EQ(message511, shown[0].text);
    }
    DestroyWindow(window);
    g_caption[0] = 0;
}

// The fragment test itself: case ignored, found anywhere, and a title that the window's text
// buffer cuts is searched only as far as it was read.
TEST(EarlyRunningCheck, WindowTitleContainsFragment)
{
    std::string unique = std::to_string(GetCurrentProcessId());
    HWND window = MakeWindow("My Text Editor - notes.txt");
    std::string longTitle = std::string(600, 'a') + "NEEDLE";
    HWND longWindow = MakeWindow(longTitle);
    ASSERT_TRUE(window && longWindow);
    struct Case {
        int row;
        HWND window;
        std::string name;
        BOOL result;  // FALSE stops the enumeration: found
    } cases[] = {
        {1, window, "EDITOR", FALSE},
        {2, window, "my text", FALSE},
        {3, window, "NOTES.TXT", FALSE},
        {4, window, "notes.txt!", TRUE},
        {5, window, "", FALSE},
        {6, window, "My Text Editor - notes.txt and more", TRUE},
        {7, window, "Editor-", TRUE},
        {8, longWindow, std::string(510, 'A'), FALSE},
        {9, longWindow, "needle", TRUE},   // beyond the 510 characters read
        {10, longWindow, std::string(511, 'a'), TRUE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, WindowTitleContains(c.window, (LPARAM)c.name.c_str())) << "row " << c.row << ": '" << c.name.substr(0, 40) << "'";
    DestroyWindow(window);
    DestroyWindow(longWindow);
}
