// The few routines the compiler may call on its own, since no C runtime is linked.
#include <stddef.h>

extern "C" void* memset(void* destination, int value, size_t n)
{
    volatile unsigned char* d = (volatile unsigned char*)destination;
    while (n--)
        *d++ = (unsigned char)value;
    return destination;
}

extern "C" void* memcpy(void* destination, const void* source, size_t n)
{
    volatile unsigned char* d = (volatile unsigned char*)destination;
    const unsigned char* s = (const unsigned char*)source;
    while (n--)
        *d++ = *s++;
    return destination;
}

extern "C" void* memmove(void* destination, const void* source, size_t n)
{
    volatile unsigned char* d = (volatile unsigned char*)destination;
    const unsigned char* s = (const unsigned char*)source;
    if (d > s && d < s + n) {
        while (n--)
            d[n] = s[n];
    } else {
        while (n--)
            *d++ = *s++;
    }
    return destination;
}

extern "C" int memcmp(const void* a, const void* b, size_t n)
{
    const unsigned char* x = (const unsigned char*)a;
    const unsigned char* y = (const unsigned char*)b;
    for (; n; n--, x++, y++)
        if (*x != *y)
            return *x - *y;
    return 0;
}

extern "C" size_t strlen(const char* text)
{
    const volatile char* p = text;
    while (*p)
        p++;
    return (size_t)(p - text);
}
