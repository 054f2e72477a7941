// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/failure_text.hpp"

#include <cerrno>

namespace tonfield {
namespace {

const char* userMeaning(int code)
{
    switch (code) {
    case ENOSPC:
        return "磁盘空间不足";
    case EDQUOT:
        return "超出了磁盘配额";
    case EFBIG:
        return "文件超出了允许的大小";
    case EACCES:
    case EPERM:
        return "没有权限";
    case EROFS:
        return "磁盘是只读的";
    case EIO:
        return "磁盘读写出错";
    case ENOENT:
        return "找不到这个文件或文件夹";
    case ENAMETOOLONG:
        return "名称太长";
    default:
        return nullptr;
    }
}

} // namespace

std::string systemFailureText(std::error_code error)
{
    const bool errnoValue =
        error.category() == std::generic_category() || error.category() == std::system_category();
    const char* meaning = errnoValue ? userMeaning(error.value()) : nullptr;
    return meaning ? std::string(meaning) + "（" + error.message() + "）" : error.message();
}

} // namespace tonfield
