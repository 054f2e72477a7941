// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_adapters.hpp"

#include <QSettings>

namespace tonfield::adapters {
namespace {

std::unique_ptr<QSettings> open(const QString& iniFile)
{
    if (iniFile.isEmpty())
        return std::make_unique<QSettings>("Tonfield", "Tonfield");
    return std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
}

} // namespace

QtSettings::QtSettings(QString iniFile)
    : iniFile_(std::move(iniFile))
{
}

std::optional<std::string> QtSettings::string(const std::string& key)
{
    const QVariant value = open(iniFile_)->value(QString::fromStdString(key));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString().toStdString();
}

void QtSettings::setString(const std::string& key, const std::string& value)
{
    auto settings = open(iniFile_);
    settings->setValue(QString::fromStdString(key), QString::fromStdString(value));
    settings->sync();
}

} // namespace tonfield::adapters
