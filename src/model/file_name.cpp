#include "model/file_name.hpp"

#include <algorithm>

namespace tonfield {

std::string lowercasedExtension(const std::filesystem::path& path)
{
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return {};
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return extension;
}

} // namespace tonfield
