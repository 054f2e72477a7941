// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>
#include <string_view>

namespace tonfield {

// Percent-encodes text for a URL path: ASCII letters, digits and
// ! $ & ' ( ) * + , - . / : = @ _ ~ stay; every other byte of the UTF-8 text
// becomes "%" and two upper-case hex digits ("a b?.wav" -> "a%20b%3F.wav").
std::string percentEncodePath(std::string_view text);

} // namespace tonfield
