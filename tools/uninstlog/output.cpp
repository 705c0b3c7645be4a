// Output of the authoring tool: quoted texts for people, JSON for machines, the note of the native build.
#include "uninstlog.h"
#ifdef _WIN32
#include <windows.h>
#endif
#include <stdio.h>

bool NativeBuild()
{
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

const char* HighByteNote()
{
    return "this log holds bytes above 127, and this build compares texts by folding A to Z only; the uninstaller "
           "compares records for repeats in the user's locale, so repeats may come out otherwise there. The Windows "
           "build (uninstlog.exe) is the reference for such logs";
}

std::string Quoted(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\' || c == '"') {
            out += (char)c;
        } else if (c < 32 || c == 127) {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

// JSON wants UTF-8. The Windows build converts from the system's code page, as the program's texts
// are; the native build does not know that code page and takes each byte above 127 as Latin-1.
static std::string Utf8Of(const std::string& bytes)
{
    bool plain = true;
    for (unsigned char c : bytes)
        if (c > 127)
            plain = false;
    if (plain)
        return bytes;
#ifdef _WIN32
    int wide = MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), NULL, 0); // 0: the ANSI code page
    std::vector<wchar_t> w((size_t)wide + 1);
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), w.data(), wide);
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, NULL, 0, NULL, NULL); // 65001
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &out[0], n, NULL, NULL);
    return out;
#else
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 128) {
            out += (char)c;
        } else {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
#endif
}

void JsonString(std::string& out, const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : Utf8Of(bytes)) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 32) {
                out += "\\u00";
                out += digits[c >> 4];
                out += digits[c & 15];
            } else {
                out += (char)c;
            }
        }
    }
    out += '"';
}

void JsonField(std::string& out, const FieldValue& field)
{
    JsonString(out, field.name);
    out += ": ";
    if (field.isNumber) {
        out += std::to_string(field.number);
    } else if (field.isList) {
        out += "[";
        for (size_t i = 0; i < field.list.size(); i++) {
            if (i)
                out += ", ";
            JsonString(out, field.list[i]);
        }
        out += "]";
    } else {
        JsonString(out, field.text);
    }
}

void Emit(const std::string& text)
{
    fwrite(text.data(), 1, text.size(), stdout);
}
