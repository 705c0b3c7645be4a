// Record fields: cutting fields, numbers, quotes and line breaks.
#include <gtest/gtest.h>
#include <string>
#include <cstring>
#include "log/log.h"

TEST(GetField, Table)
{
    struct Row { std::string text; int n; int size; int result; std::string expected; } rows[] = {
        {"a,b,c", 0, 64, 1, "a"},
        {"a,b,c", 1, 64, 1, "b"},
        {"a,b,c", 2, 64, 1, "c"},
        {"\"a,b\",c", 0, 64, 1, "\"a,b\""},           // quotes protect the comma and stay
        {"\"a,b\",c", 1, 64, 1, "c"},
        {"a,\"b,c", 1, 64, 1, "\"b,c"},             // an unbalanced quote protects every comma after it
        {"a,\"b,c", 2, 64, 1, "a,\"b,c"},           // missing field: the whole text
        {"a,b", 5, 64, 1, "a,b"},
        {"x,y", 2, 64, 1, "x,y"},
        {"x,y,", 2, 64, 1, ""},                     // present and empty
        {"a,,b", 1, 64, 1, ""},
        {"", 0, 64, 1, ""},
        {"", 3, 64, 1, ""},
        {" a , b ", 1, 64, 1, " b "},               // blanks are kept
        {"a\"b\"c,d", 0, 64, 1, "a\"b\"c"},
        {"1,Software\\Example,", 1, 64, 1, "Software\\Example"},
        // The destination's size, terminating zero included.
        {"abc,defg", 1, 5, 1, "defg"},             // fits exactly
        {"abc,defgh", 1, 5, 0, ""},                // one too long: refused whole, not cut
        {"abc," + std::string(5000, 'd'), 1, 5, 0, ""}, // far too long
        {"abcd,e", 0, 5, 1, "abcd"},
        {"abcde,e", 0, 5, 0, ""},
        {"abcdefgh", 3, 9, 1, "abcdefgh"},           // missing field of a text that just fits
        {"abcdefgh", 3, 8, 0, ""},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const Row& r = rows[i];
        std::string buffer(r.size + 1, 'Q');
        buffer[r.size] = '#'; // canary right after the caller's buffer
        int result = GetField(&buffer[0], r.size, r.text.c_str(), r.n);
        EXPECT_EQ(r.result, result) << "row " << i << ": field " << r.n << " of [" << r.text.substr(0, 40) << "]";
        EXPECT_EQ(r.expected, std::string(buffer.c_str())) << "row " << i << ": field " << r.n << " of ["
                                                         << r.text.substr(0, 40) << "] size " << r.size;
        EXPECT_EQ('#', buffer[r.size]) << "row " << i << ": canary overwritten";
    }
}

TEST(ParseInt, Table)
{
    struct Row { const char* text; int expected; } rows[] = {
        {"42abc", 42}, {"-7", -7}, {"-", 0}, {" 5", 0}, {"+5", 0}, {"", 0},
        {"0", 0}, {"007", 7}, {"--3", 0}, {"3-4", 3}, {"2,1", 2},
        {"2147483647", 2147483647},
        {"-2147483648", (int)0x80000000u},
        // Past 32 bits the value wraps.
        {"2147483648", (int)0x80000000u},
        {"4294967296", 0},
        {"4294967306", 10},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++)
        EXPECT_EQ(rows[i].expected, ParseInt(rows[i].text)) << "row " << i << ": [" << rows[i].text << "]";
}

TEST(Unquote, Table)
{
    struct Row { const char* text; const char* expected; } rows[] = {
        {"\"abc\"", "abc"}, {"\"a\"b\"", "a\"b"}, {"\"abc", "\"abc"}, {"abc\"", "abc\""},
        {"\"", "\""}, {"\"\"", ""}, {"", ""}, {"\"\"\"\"", "\"\""}, {"x", "x"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char text[64];
        strcpy(text, rows[i].text);
        Unquote(text);
        EXPECT_STREQ(rows[i].expected, text) << "row " << i << ": [" << rows[i].text << "]";
    }
}

TEST(ExpandLineBreaks, Table)
{
    struct Row { const char* text; const char* expected; } rows[] = {
        {"One|#Two", "One\nTwo"}, {"a|b#", "a|b#"}, {"||#", "|\n"}, {"|#|#", "\n\n"},
        {"end|", "end|"}, {"", ""}, {"|##", "\n#"}, {"#|", "#|"},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        char text[64];
        strcpy(text, rows[i].text);
        ExpandLineBreaks(text);
        EXPECT_STREQ(rows[i].expected, text) << "row " << i << ": [" << rows[i].text << "]";
    }
}
