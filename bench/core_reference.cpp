// SPDX-License-Identifier: GPL-3.0-or-later
// The least a Qt program does to answer --version: a QCoreApplication that
// prints its name and version. The command line's start is measured
// against it (bench/cli_start_bench.sh).

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Tonfield");
    QCoreApplication::setApplicationVersion("0");
    std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                qPrintable(QCoreApplication::applicationVersion()));
    return 0;
}
