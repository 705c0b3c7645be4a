// Record fields: cutting a field, numbers, quotes and line breaks.
#include "log.h"
#include "../common/common.h"

int GetField(char* destination, int destinationSize, const char* text, int n)
{
    const char* start = text;
    const char* p = text;
    int inside = 0;
    int commas = 0;
    for (; *p; p++) {
        if (*p == '"') {
            inside = !inside;
        } else if (*p == ',' && !inside) {
            commas++;
            if (commas == n)
                start = p + 1;
            else if (commas > n)
                break;
        }
    }
    // A field that does not fit is refused whole: a cut path or name would mean another one.
    // Measured at pointer width, so that a field of 2 GB or more cannot pass as negative.
    INT_PTR length = p - start;
    if (length >= destinationSize) {
        if (destinationSize > 0)
            destination[0] = 0;
        return 0;
    }
    for (INT_PTR i = 0; i < length; i++)
        destination[i] = start[i];
    destination[length] = 0;
    return 1;
}

int ParseInt(const char* text)
{
    int negative = (*text == '-');
    if (negative)
        text++;
    // Unsigned arithmetic: a number past 32 bits wraps instead of overflowing.
    unsigned int value = 0;
    while (*text >= '0' && *text <= '9')
        value = value * 10u + (unsigned int)(*text++ - '0');
    return (int)(negative ? 0u - value : value);
}

void Unquote(char* text)
{
    int n = TextLength(text);
    if (n < 2 || text[0] != '"' || text[n - 1] != '"')
        return;
    for (int i = 0; i < n - 2; i++)
        text[i] = text[i + 1];
    text[n - 2] = 0;
}

void ExpandLineBreaks(char* text)
{
    char* out = text;
    for (const char* p = text; *p; p++) {
        if (p[0] == '|' && p[1] == '#') {
            *out++ = '\n';
            p++;
        } else {
            *out++ = *p;
        }
    }
    *out = 0;
}
