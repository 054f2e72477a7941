// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/stem_listing.hpp"

#include "model/file_name.hpp"
#include "model/output_format.hpp"

#include <utf8proc.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace tonfield {
namespace {

// The name in canonical composed form. UTF-8 bytes compare in the order of
// their scalar values, so the key can be compared as plain bytes. A name that
// is not valid UTF-8 keeps its own bytes.
std::string sortKey(const std::string& name)
{
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> composed(
        utf8proc_NFC(reinterpret_cast<const utf8proc_uint8_t*>(name.c_str())), &std::free);
    if (!composed)
        return name;
    return reinterpret_cast<const char*>(composed.get());
}

} // namespace

std::vector<Stem> listStems(const std::filesystem::path& outputFolder)
{
    std::vector<std::pair<std::string, std::filesystem::path>> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(outputFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (outputFormatFromExtension(lowercasedExtension(it->path())))
            found.emplace_back(sortKey(it->path().filename().string()), it->path());
    }
    // char_traits<char> compares as unsigned char, which is the byte order we need.
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    std::vector<Stem> stems;
    stems.reserve(found.size());
    for (auto& [key, path] : found)
        stems.push_back(Stem{std::move(path)});
    return stems;
}

} // namespace tonfield
