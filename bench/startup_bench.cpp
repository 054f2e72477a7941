// SPDX-License-Identifier: GPL-3.0-or-later
// Cold start to the first painted frame of the main window, against a bare
// Qt Widgets window drawing the same Chinese headline in the same font
// (startup_reference, linked with Qt Widgets alone, built with the same
// flags), as a ratio of medians over repeated runs; then resident memory and
// CPU use of the idle window with the 0.4 s poll timer running.
//
//     startup_bench [runs=15] [idle seconds=60]
//
// Tonfield's start is a fresh process of this program, which links what the
// application links and builds the window as the application does. Each
// start is offscreen, with its own empty settings folder. The child reports
// the monotonic time of its first paint; the parent subtracts the time it
// started the child.

#include "app/desktop_app.hpp"

#include "adapters/desktop/qt_services.hpp"
#include "first_paint.hpp"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
using namespace tonfield;
using bench::monotonicSeconds;

int runTonfield(int argc, char** argv, int idleSeconds)
{
    QApplication app(argc, argv);
    adapters::QtServices services;
    auto workbench = Workbench::create(services.services());
    app::DesktopApp desktop(app, *workbench);
    bench::FirstPaint probe(*desktop.window().centralWidget(), idleSeconds);
    desktop.show();
    return QApplication::exec();
}

// Starts a child; returns the seconds to its first paint and its last line.
std::pair<double, std::string> measure(const QString& program, int idleSeconds)
{
    QTemporaryDir home;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", home.path());
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(home.path());
    const double started = monotonicSeconds();
    child.start(program, {"child", QString::number(idleSeconds)});
    child.waitForFinished(idleSeconds * 1000 + 60'000);
    const QStringList lines =
        QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    double painted = 0;
    for (const QString& line : lines) {
        if (line.startsWith("painted "))
            painted = line.mid(8).toDouble();
    }
    return {painted - started, lines.isEmpty() ? std::string() : lines.last().toStdString()};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "child")
        return runTonfield(argc, argv, std::stoi(argv[2]));

    const int runs = argc > 1 ? std::stoi(argv[1]) : 15;
    const int idleSeconds = argc > 2 ? std::stoi(argv[2]) : 60;
    QCoreApplication app(argc, argv);
    const QString tonfield = QCoreApplication::applicationFilePath();
    const QString reference = QCoreApplication::applicationDirPath() + "/startup_reference";
    std::vector<double> full, bare;
    for (int i = 0; i < runs; ++i) {
        full.push_back(measure(tonfield, 0).first);
        bare.push_back(measure(reference, 0).first);
    }
    std::printf("cold start to first paint, median of %d: Tonfield %.0f ms, bare window %.0f ms, "
                "ratio %.2f\n",
                runs, median(full) * 1000, median(bare) * 1000, median(full) / median(bare));

    long kib = 0;
    double cpu = 0;
    std::sscanf(measure(tonfield, idleSeconds).second.c_str(), "idle %ld %lf", &kib, &cpu);
    std::printf("idle for %d s: resident %ld KiB, CPU %.3f s (%.3f %%)\n", idleSeconds, kib, cpu,
                100.0 * cpu / idleSeconds);
}
