// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_id.hpp"

#include "model/ascii_case.hpp"

#include <algorithm>

namespace tonfield {

bool isJobId(std::string_view text)
{
    return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::string jobIdFromUuid(std::string_view uuid)
{
    std::string id = asciiLowercased(uuid);
    std::erase(id, '-');
    return id;
}

} // namespace tonfield
