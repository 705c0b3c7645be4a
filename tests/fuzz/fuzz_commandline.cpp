// Fuzz target: the command line, against a plain model of the switch and log-path rule.
#include "host/host.h"
#include "host/windows.h"
#include "common/common.h"
#include "startup/startup.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

struct Parsed {
    bool silent;
    bool fits;
    std::string path;
};

static bool IsSwitch(const std::string& text, size_t at)
{
    return at + 1 < text.size() && text[at] == '-' && (text[at + 1] == 's' || text[at + 1] == 'S');
}

static Parsed Model(const std::string& line)
{
    Parsed result{false, true, ""};
    bool inside = false;
    for (size_t i = 0; i < line.size(); i++) {
        if (line[i] == '"') {
            inside = !inside;
            continue;
        }
        if (line[i] != ' ' || inside)
            continue;
        size_t a = i;
        while (a < line.size() && (line[a] == ' ' || line[a] == '"'))
            a++;
        if (IsSwitch(line, a)) {
            result.silent = true;
            i = a;
            continue;
        }
        // The closing quote is not part of the path, so it does not count against the buffer.
        std::string rest = line.substr(a);
        if (!rest.empty() && rest.back() == '"')
            rest.pop_back();
        if (rest.size() >= PATH_BUFFER) {
            result.fits = false;
            return result;
        }
        result.path = rest;
        return result;
    }
    return result;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string line((const char*)data, size);
    line = line.substr(0, strlen(line.c_str()));
    // Exactly as long as the text, so that ASan sees a read past its zero.
    char* text = (char*)malloc(line.size() + 1);
    memcpy(text, line.c_str(), line.size() + 1);

    g_silent = 0;
    memset(g_argLogPath, 'x', PATH_BUFFER);
    int fits = ParseCommandLineText(text);
    Parsed expected = Model(line);
    size_t length = strnlen(g_argLogPath, PATH_BUFFER);
    FUZZ_CHECK(length < PATH_BUFFER, "g_argLogPath not terminated inside its buffer");
    FUZZ_CHECK(g_silent == (expected.silent ? 1 : 0), "[%s]: silent %d, expected %d", text, g_silent, expected.silent);
    FUZZ_CHECK(fits == (expected.fits ? 1 : 0), "[%s]: result %d, expected %d", text, fits, expected.fits);
    if (expected.fits)
        FUZZ_CHECK(expected.path == g_argLogPath, "[%s]: log path [%s], expected [%s]", text, g_argLogPath, expected.path.c_str());
    else
        FUZZ_CHECK(g_argLogPath[0] == 0, "[%s]: an overlong log path was kept", text);
    free(text);
    return 0;
}
