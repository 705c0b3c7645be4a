// Fuzz target: the field routines on one record, against a plain model of the field syntax.
//
// Input: field number byte, buffer size byte, then the fields text.
#include "host/host.h"
#include "host/windows.h"
#include "common/common.h"
#include "log/log.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

static const unsigned char CANARY = 0xA5;

static std::string ModelField(const std::string& text, int n)
{
    size_t start = 0, end = text.size();
    bool inside = false;
    int commas = 0;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '"') {
            inside = !inside;
        } else if (text[i] == ',' && !inside) {
            commas++;
            if (commas == n) {
                start = i + 1;
            } else if (commas > n) {
                end = i;
                break;
            }
        }
    }
    return text.substr(start, end - start);
}

static int ModelInt(const std::string& text)
{
    size_t i = 0;
    bool negative = !text.empty() && text[0] == '-';
    if (negative)
        i++;
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++)
        value = value * 10u + (uint32_t)(text[i] - '0');
    return (int)(negative ? 0u - value : value);
}

static std::string ModelUnquote(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

static std::string ModelLineBreaks(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '|' && i + 1 < text.size() && text[i + 1] == '#') {
            out += '\n';
            i++;
        } else {
            out += text[i];
        }
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    int n = data[0] % 12;
    int bufferSize = data[1] + 1; // 1 to 256, around the handlers' widths of 64, 128 and 256
    // The record as the reader leaves it: a zero-terminated text, exactly as long as it is.
    std::string text((const char*)data + 2, size - 2);
    text = text.substr(0, strlen(text.c_str()));
    char* record = (char*)malloc(text.size() + 1);
    memcpy(record, text.c_str(), text.size() + 1);

    // The caller's buffer with one canary byte after it; ASan guards the byte after that.
    char* field = (char*)malloc((size_t)bufferSize + 1);
    memset(field, 'x', (size_t)bufferSize);
    field[bufferSize] = (char)CANARY;
    int fitted = GetField(field, bufferSize, record, n);
    FUZZ_CHECK((unsigned char)field[bufferSize] == CANARY, "GetField wrote past a buffer of %d", bufferSize);
    std::string expected = ModelField(text, n);
    if (expected.size() < (size_t)bufferSize) {
        FUZZ_CHECK(fitted == 1 && expected == field, "field %d of [%s] in %d bytes: [%s], expected [%s]", n, text.c_str(),
                   bufferSize, field, expected.c_str());
    } else {
        FUZZ_CHECK(fitted == 0 && field[0] == 0, "field %d of %zu characters in %d bytes not refused", n, expected.size(),
                   bufferSize);
    }
    FUZZ_CHECK(strcmp(record, text.c_str()) == 0, "GetField changed its text");

    int number = ParseInt(record);
    FUZZ_CHECK(number == ModelInt(text), "ParseInt of [%s] gave %d, expected %d", text.c_str(), number, ModelInt(text));

    if (fitted) {
        std::string unquoted = ModelUnquote(expected);
        Unquote(field);
        FUZZ_CHECK(unquoted == field, "Unquote of [%s] gave [%s]", expected.c_str(), field);
        std::string broken = ModelLineBreaks(unquoted);
        ExpandLineBreaks(field);
        FUZZ_CHECK(broken == field, "ExpandLineBreaks of [%s] gave [%s]", unquoted.c_str(), field);
        FUZZ_CHECK((unsigned char)field[bufferSize] == CANARY, "the edits wrote past the buffer");
    }
    free(field);
    free(record);
    return 0;
}
