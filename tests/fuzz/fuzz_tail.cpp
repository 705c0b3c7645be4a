// Fuzz target: the log name taken from the last 256 bytes of the executable.
#include "host/host.h"
#include "host/windows.h"
#include "common/common.h"
#include "startup/startup.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

static const unsigned char CANARY = 0xA5;

static std::string Model(const unsigned char* t)
{
    if (t[TAIL_SIZE - 2] == 0)
        return "uninstal.ini";
    int start = 1;
    for (int i = 1; i <= TAIL_SIZE - 3; i++)
        if (t[i] == 0)
            start = i + 1;
    std::string name;
    for (int i = start; i < TAIL_SIZE && t[i]; i++)
        name += (char)t[i];
    return name;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < TAIL_SIZE)
        return 0;
    // The tail buffer is exactly 256 bytes, so a read past it is seen.
    unsigned char* tail = (unsigned char*)malloc(TAIL_SIZE);
    memcpy(tail, data, TAIL_SIZE);
    char* name = (char*)malloc(TAIL_SIZE + 1);
    name[TAIL_SIZE] = (char)CANARY;
    TakeLogNameFromTail((const char*)tail, name, TAIL_SIZE);
    FUZZ_CHECK((unsigned char)name[TAIL_SIZE] == CANARY, "the name ran past its buffer");
    std::string expected = Model(tail);
    FUZZ_CHECK(expected == name, "name [%s], expected [%s]", name, expected.c_str());

    // What start-up then does with it: the log path beside the executable, whole or not at all.
    char path[PATH_BUFFER + 1];
    path[PATH_BUFFER] = (char)CANARY;
    char* joined = JoinPath(path, PATH_BUFFER, "C:\\App", name);
    FUZZ_CHECK((unsigned char)path[PATH_BUFFER] == CANARY, "JoinPath ran past its buffer");
    std::string whole = "C:\\App\\" + (expected[0] == '\\' ? expected.substr(1) : expected);
    if (whole.size() < PATH_BUFFER)
        FUZZ_CHECK(joined && whole == path, "log path [%s], expected [%s]", path, whole.c_str());
    free(name);
    free(tail);
    return 0;
}
