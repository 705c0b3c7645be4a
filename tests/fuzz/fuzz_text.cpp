// Fuzz target: message formatting and the path and text helpers, against plain models.
//
// Input: a selector byte, a buffer size byte, then up to three texts separated by zero bytes
// (for the formats: the format, then its arguments).
#include "host/host.h"
#include "host/windows.h"
#include "common/common.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "../common/format_model.h"

static const unsigned char CANARY = 0xA5;

// A heap copy exactly as long as the text, so that ASan sees any read past its zero.
static char* Exact(const std::string& s)
{
    char* p = (char*)malloc(s.size() + 1);
    memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

// A caller's buffer of the given size with a canary after it.
struct Buffer {
    explicit Buffer(int size) : size(size), data((char*)malloc((size_t)size + 1))
    {
        memset(data, 'x', (size_t)size);
        data[size] = (char)CANARY;
    }
    ~Buffer() { free(data); }
    bool Intact() const { return (unsigned char)data[size] == CANARY; }
    int size;
    char* data;
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    int selector = data[0] % 6;
    int bufferSize = data[1] * 5 + 1; // 1 to 1276, around the 128, 512 and 1024 byte buffers
    std::vector<std::string> parts;
    std::string rest((const char*)data + 2, size - 2);
    size_t at = 0;
    while (parts.size() < 3) {
        size_t zero = rest.find('\0', at);
        parts.push_back(rest.substr(at, zero == std::string::npos ? std::string::npos : zero - at));
        if (zero == std::string::npos)
            break;
        at = zero + 1;
    }
    while (parts.size() < 3)
        parts.push_back("");
    char* a = Exact(parts[0]);
    char* b = Exact(parts[1]);
    char* c = Exact(parts[2]);

    switch (selector) {
    case 0: { // FormatText with 0, 1 or 2 arguments into a buffer of any size
        int count = data[0] / 6 % 3;
        const char* arguments[2] = {b, c};
        std::vector<std::string> model(parts.begin() + 1, parts.begin() + 1 + count);
        Buffer out(bufferSize);
        int n = FormatText(out.data, out.size, a, arguments, count);
        std::string expected = ModelFormat(parts[0], model).substr(0, (size_t)bufferSize - 1);
        FUZZ_CHECK(out.Intact(), "FormatText wrote past %d bytes", bufferSize);
        FUZZ_CHECK(expected == out.data && n == (int)expected.size(), "FormatText of [%s]: [%s], expected [%s]", a, out.data,
                   expected.c_str());
        break;
    }
    case 1: { // ShowMessage: the box text is the format cut to 1023 characters
        g_hostBoxes.clear();
        int count = data[0] / 6 % 3;
        ShowMessage(MSG_YESNO, a, count > 0 ? b : 0, count > 1 ? c : 0);
        std::vector<std::string> model(parts.begin() + 1, parts.begin() + 1 + count);
        std::string expected = ModelFormat(parts[0], model).substr(0, MESSAGE_MAX - 1);
        FUZZ_CHECK(g_hostBoxes.size() == 1 && g_hostBoxes[0].text == expected, "ShowMessage text differs");
        FUZZ_CHECK(g_hostBoxes[0].style == 0x24, "style 0x%x", g_hostBoxes[0].style);
        break;
    }
    case 2: { // JoinPath: whole or an empty refusal
        Buffer out(bufferSize);
        char* joined = JoinPath(out.data, out.size, a, b);
        std::string separator = (!parts[0].empty() && parts[0].back() == '\\') ? "" : "\\";
        std::string name = (!parts[1].empty() && parts[1][0] == '\\') ? parts[1].substr(1) : parts[1];
        std::string expected = parts[0] + separator + name;
        FUZZ_CHECK(out.Intact(), "JoinPath wrote past %d bytes", bufferSize);
        if (expected.size() < (size_t)bufferSize)
            FUZZ_CHECK(joined == out.data && expected == out.data, "JoinPath [%s], expected [%s]", out.data, expected.c_str());
        else
            FUZZ_CHECK(joined == 0 && out.data[0] == 0, "JoinPath did not refuse %zu characters", expected.size());
        break;
    }
    case 3: { // FileNameOf and StripLastComponent
        Buffer out(bufferSize);
        FileNameOf(a, out.data, out.size);
        size_t slash = parts[0].rfind('\\');
        std::string expected = slash == std::string::npos ? parts[0] : parts[0].substr(slash + 1);
        FUZZ_CHECK(out.Intact(), "FileNameOf wrote past %d bytes", bufferSize);
        if (expected.size() < (size_t)bufferSize)
            FUZZ_CHECK(expected == out.data, "FileNameOf [%s], expected [%s]", out.data, expected.c_str());
        else
            FUZZ_CHECK(out.data[0] == 0, "FileNameOf did not refuse");
        StripLastComponent(a);
        std::string stripped = parts[0];
        if (!stripped.empty()) {
            size_t i = stripped.size() - 1;
            while (i > 0 && stripped[i] != '\\')
                i--;
            stripped = stripped.substr(0, i);
        }
        FUZZ_CHECK(stripped == a, "StripLastComponent [%s], expected [%s]", a, stripped.c_str());
        break;
    }
    case 4: { // CopyText then AppendText: whole or refused, never cut
        Buffer out(bufferSize);
        int copied = CopyText(out.data, out.size, a);
        FUZZ_CHECK(out.Intact(), "CopyText wrote past %d bytes", bufferSize);
        if (parts[0].size() < (size_t)bufferSize) {
            FUZZ_CHECK(copied == 1 && parts[0] == out.data, "CopyText differs");
            int appended = AppendText(out.data, out.size, b);
            FUZZ_CHECK(out.Intact(), "AppendText wrote past %d bytes", bufferSize);
            std::string both = parts[0] + parts[1];
            if (both.size() < (size_t)bufferSize)
                FUZZ_CHECK(appended == 1 && both == out.data, "AppendText differs");
            else
                FUZZ_CHECK(appended == 0 && parts[0] == out.data, "AppendText changed a text it refused");
        } else {
            FUZZ_CHECK(copied == 0 && out.data[0] == 0, "CopyText did not refuse");
        }
        break;
    }
    case 5: { // SameText and StartsWithText agree with a case-folded comparison
        int same = SameText(a, b);
        FUZZ_CHECK(same == (Folded(parts[0]) == Folded(parts[1])), "SameText [%s] [%s] gave %d", a, b, same);
        int starts = StartsWithText(a, b);
        bool expected = parts[0].size() >= parts[1].size() && Folded(parts[0].substr(0, parts[1].size())) == Folded(parts[1]);
        FUZZ_CHECK(starts == (expected ? 1 : 0), "StartsWithText [%s] [%s] gave %d", a, b, starts);
        break;
    }
    }
    free(a);
    free(b);
    free(c);
    return 0;
}
