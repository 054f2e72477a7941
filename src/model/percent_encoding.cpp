// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/percent_encoding.hpp"

namespace tonfield {
namespace {

bool staysAsIs(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!$&'()*+,-./:=@_~").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

} // namespace

std::string percentEncodePath(std::string_view text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (unsigned char c : text) {
        if (staysAsIs(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 0xF];
        }
    }
    return encoded;
}

} // namespace tonfield
