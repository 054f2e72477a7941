// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <string>

// Paths cross between Qt and the core as UTF-8 bytes. Header-only and
// needing Qt Core alone, so that views and adapters share it without either
// depending on the other.
namespace tonfield {

inline std::filesystem::path toPath(const QString& path)
{
    const QByteArray bytes = path.toUtf8();
    return std::filesystem::path(std::string(bytes.constData(), bytes.size()));
}

inline QString toQString(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

} // namespace tonfield
