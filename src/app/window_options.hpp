// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QCoreApplication>
#include <QStringList>

#include <optional>

namespace tonfield::app {

// Names the program to Qt: organisation, application and version.
void describeApplication();

// Reads the window's options. Answers --help, --help-all and --version (the
// process ends there with 0) and bad usage (status 2, as for every
// sub-command); otherwise returns the files to open, as absolute paths.
std::optional<QStringList> readOptions(const QCoreApplication& app, int& status);

} // namespace tonfield::app
