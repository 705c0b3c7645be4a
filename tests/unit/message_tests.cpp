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
