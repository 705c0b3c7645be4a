// Message boxes: formatting bounded by the arguments passed and by the buffer.
#include <gtest/gtest.h>
#include <string>
#include "boxes.h"
#include "common/common.h"
#include "startup/startup.h"

TEST(ShowMessage, AnswersAndFormattedText)
{
    CopyText(g_caption, TEXT_FIELD, "Box test caption");
    BoxAnswerer answerer("Box test caption", {IDNO, IDYES});
    EXPECT_EQ(IDNO, ShowMessage(MSG_YESNO, "Remove %s?", "C:\\App\\a.txt"));
    EXPECT_EQ(IDYES, ShowMessage(MSG_YESNO, "%s %d %c %s", "one"));
    answerer.Stop();
    std::vector<std::string> texts = answerer.Texts();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ("Remove C:\\App\\a.txt?", texts[0]);
    EXPECT_EQ("one %d %c %s", texts[1]);
    g_caption[0] = 0;
}

// Each kind gives its box; the result is the button pressed. Kind 8 and unknown bits count as MSG_INFO.
TEST(ShowMessage, KindsAndResults)
{
    CopyText(g_caption, TEXT_FIELD, "Kinds test caption");
    struct Row { UINT kind; int press; int expected; } rows[] = {
        {MSG_YESNO, IDYES, IDYES},
        {MSG_YESNO, IDNO, IDNO},
        {MSG_OKCANCEL, IDOK, IDOK},
        {MSG_OKCANCEL, IDCANCEL, IDCANCEL},
        {MSG_INFO, IDOK, IDOK},
        {8, IDOK, IDOK},
        {MSG_ERROR, IDOK, IDOK},
        {MSG_YESNO | 0x200, IDYES, IDYES}, // bits outside the low 8 and MSG_EXIT are ignored
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        BoxAnswerer answerer("Kinds test caption", {rows[i].press});
        EXPECT_EQ(rows[i].expected, ShowMessage(rows[i].kind, "kind %s", "x")) << "row " << i << " kind " << rows[i].kind;
        answerer.Stop();
        EXPECT_EQ(std::vector<std::string>{"kind x"}, answerer.Texts()) << "row " << i;
    }
    g_caption[0] = 0;
}

// The text in the box is cut at 1023 characters, whether the format or an argument is long.
TEST(ShowMessage, CutAt1023Characters)
{
    CopyText(g_caption, TEXT_FIELD, "Cut test caption");
    std::string exact(1023, 'e');
    std::string oneMore(1024, 'o');
    std::string farTooLong(5000, 'f');
    struct Row { std::string format; const char* argument; std::string expected; } rows[] = {
        {exact, nullptr, exact},
        {oneMore, nullptr, std::string(1023, 'o')},
        {farTooLong, nullptr, std::string(1023, 'f')},
        {"%s!", farTooLong.c_str(), std::string(1023, 'f')},
        {"ab%s", exact.c_str(), "ab" + std::string(1021, 'e')},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        BoxAnswerer answerer("Cut test caption", {IDOK});
        ShowMessage(MSG_INFO, rows[i].format.c_str(), rows[i].argument);
        answerer.Stop();
        std::vector<std::string> texts = answerer.Texts();
        ASSERT_EQ(1u, texts.size()) << "row " << i;
        EXPECT_EQ(rows[i].expected.size(), texts[0].size()) << "row " << i;
        EXPECT_EQ(rows[i].expected, texts[0]) << "row " << i;
    }
    g_caption[0] = 0;
}

// Only "%s" takes an argument, and only one that was passed; every other directive stays literal,
// so a log text can never make the formatter read an argument that is not there.
TEST(FormatText, DirectivesBeyondTheArguments)
{
    struct Row { const char* format; const char* a1; const char* a2; int count; const char* expected; } rows[] = {
        {"%s %s", "one", nullptr, 1, "one %s"},
        {"%s %s", "one", "two", 2, "one two"},
        {"%s", nullptr, nullptr, 0, "%s"},
        {"%d files", "x", nullptr, 1, "%d files"},
        {"%c%s", "x", nullptr, 1, "%cx"},
        {"100%%", nullptr, nullptr, 0, "100%"},
        {"%ls %S %x %p %n", "a", nullptr, 1, "%ls %S %x %p %n"},
        {"end %", nullptr, nullptr, 0, "end %"},
        {"%s|%s|%s", "a", "b", 2, "a|b|%s"},
        {"[%s]", nullptr, "b", 2, "[]"},       // a null argument reads as an empty text
        {"", "a", nullptr, 1, ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const char* arguments[2] = {rows[i].a1, rows[i].a2};
        char out[64];
        int n = FormatText(out, sizeof out, rows[i].format, arguments, rows[i].count);
        EXPECT_STREQ(rows[i].expected, out) << "row " << i << ": " << rows[i].format;
        EXPECT_EQ((int)strlen(rows[i].expected), n) << "row " << i;
    }
}

TEST(FormatText, BufferBound)
{
    const int SIZE = 16;
    const char CANARY = 0x5A;
    std::string fits(SIZE - 1, 'a');
    struct Row { std::string format; const char* argument; std::string expected; } rows[] = {
        {fits, nullptr, fits},
        {fits + "b", nullptr, fits},
        {std::string(3000, 'c'), nullptr, std::string(SIZE - 1, 'c')},
        {"%s", "0123456789abcdefXYZ", "0123456789abcde"},
        {"0123456789abcd%%", nullptr, "0123456789abcd%"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const char* arguments[1] = {rows[i].argument};
        char out[SIZE + 1];
        memset(out, 'q', sizeof out);
        out[SIZE] = CANARY;
        FormatText(out, SIZE, rows[i].format.c_str(), arguments, rows[i].argument ? 1 : 0);
        EXPECT_EQ(rows[i].expected, std::string(out)) << "row " << i;
        EXPECT_EQ(CANARY, out[SIZE]) << "row " << i << ": canary overwritten";
    }
}
