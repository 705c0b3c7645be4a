// Text helpers: case-insensitive comparison and bounded copies.
#include "common.h"

int SameText(const char* a, const char* b)
{
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

int StartsWithText(const char* text, const char* prefix)
{
    int n = TextLength(prefix);
    // The first n characters are compared; a shorter text must not be read past its end.
    int t = 0;
    while (t < n && text[t])
        t++;
    if (t < n)
        return 0;
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text, n, prefix, n) == CSTR_EQUAL;
}

int TextLength(const char* text)
{
    int n = 0;
    while (text[n])
        n++;
    return n;
}

int CopyText(char* destination, int destinationSize, const char* source)
{
    int n = TextLength(source);
    if (n >= destinationSize) {
        if (destinationSize > 0)
            destination[0] = 0;
        return 0;
    }
    for (int i = 0; i <= n; i++)
        destination[i] = source[i];
    return 1;
}

int AppendText(char* destination, int destinationSize, const char* source)
{
    int used = TextLength(destination);
    int n = TextLength(source);
    if (used + n >= destinationSize)
        return 0;
    for (int i = 0; i <= n; i++)
        destination[used + i] = source[i];
    return 1;
}

int HoldsSubstitute(const char* text)
{
    for (; *text; text++)
        if (*text == '?')
            return 1;
    return 0;
}
