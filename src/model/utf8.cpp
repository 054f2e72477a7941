// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/utf8.hpp"

namespace tonfield {
namespace {

struct SequenceShape {
    int length = 0;                 // 0: the byte starts no sequence
    unsigned char secondLow = 0x80; // the second byte's range narrows for some leads
    unsigned char secondHigh = 0xBF;
};

// The well-formed byte sequences of UTF-8, by their lead byte.
SequenceShape shapeOf(unsigned char lead)
{
    if (lead < 0x80)
        return {1};
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2};
    if (lead == 0xE0)
        return {3, 0xA0, 0xBF};
    if (lead == 0xED)
        return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF)
        return {3};
    if (lead == 0xF0)
        return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3)
        return {4};
    if (lead == 0xF4)
        return {4, 0x80, 0x8F};
    return {};
}

} // namespace

std::string repairUtf8(std::string_view bytes)
{
    static constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        const SequenceShape shape = shapeOf(static_cast<unsigned char>(bytes[at]));
        std::size_t matched = shape.length == 0 ? 0 : 1;
        while (matched > 0 && matched < static_cast<std::size_t>(shape.length) &&
               at + matched < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[at + matched]);
            const unsigned char low = matched == 1 ? shape.secondLow : 0x80;
            const unsigned char high = matched == 1 ? shape.secondHigh : 0xBF;
            if (next < low || next > high)
                break;
            ++matched;
        }
        if (matched > 0 && matched == static_cast<std::size_t>(shape.length)) {
            text.append(bytes.substr(at, matched));
            at += matched;
        } else {
            text.append(replacement);
            at += matched == 0 ? 1 : matched;
        }
    }
    return text;
}

} // namespace tonfield
