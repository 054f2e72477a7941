// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>
#include <string_view>

namespace tonfield {

// Case changes for names the program itself spells in ASCII (extensions, ids):
// other bytes, a UTF-8 sequence's among them, pass through unchanged, and no
// locale is consulted.
inline std::string asciiLowercased(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return out;
}

inline std::string asciiUppercased(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    return out;
}

} // namespace tonfield
