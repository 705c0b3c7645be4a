// Path and text helpers.
#include <gtest/gtest.h>
#include "common/common.h"

TEST(JoinPath, Table)
{
    struct Row { const char* folder; const char* name; const char* expected; } rows[] = {
        {"C:\\App", "uninstal.ini", "C:\\App\\uninstal.ini"},
        {"c:\\", "uninst.exe", "c:\\uninst.exe"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char out[512];
        JoinPath(out, sizeof out, rows[i].folder, rows[i].name);
        EXPECT_STREQ(rows[i].expected, out) << "row " << i;
    }
}
