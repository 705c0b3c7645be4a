// What the message box routine makes of a log text, written plainly, for tests that foretell its boxes.
#pragma once
#include <string>
#include <vector>

// Each "%s" takes the next argument while there is one, "%%" gives a percent sign, all else stays.
inline std::string ModelFormat(const std::string& format, const std::vector<std::string>& arguments)
{
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); i++) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && next < arguments.size()) {
            out += arguments[next++];
            i++;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            i++;
        } else {
            out += format[i];
        }
    }
    return out;
}
