#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Text from the command line or a file name, made fit to appear inside a one-line message: control characters
// (a newline in a file name, say) are shown as \n, \r, \t or \xHH; everything else is kept as it is.
inline std::string printable(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            result.push_back(c);
        } else if (c == '\n') {
            result += "\\n";
        } else if (c == '\r') {
            result += "\\r";
        } else if (c == '\t') {
            result += "\\t";
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            result += escaped;
        }
    }
    return result;
}
