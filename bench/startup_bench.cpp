// SPDX-License-Identifier: GPL-3.0-or-later
// Cold start to the finished first frame of the main window (see
// finished_frame.hpp), against two windows linked with Qt Widgets alone and
// built with the same flags: one that shows every text of Tonfield's first
// frame in the same fonts and colours, with no logic (same_frame_reference),
// and a bare one with the headline alone (startup_reference); as ratios of
// medians over repeated runs. Then resident memory, CPU use and wake-ups of
// the idle window with the 0.4 s poll timer running, and the wake-ups of the
// idle reference.
//
//     startup_bench [runs=15] [idle seconds=60]
//
// Tonfield's start is a fresh process of this program, which links what the
// application links and builds the window as the application does. Each
// start is offscreen, with its own empty settings folder. The child reports
// the monotonic time its first frame was finished; the parent subtracts the
// time it started the child. Instructions, which a loaded machine does not
// disturb, are counted by bench/startup_instructions.sh, which also starts
// Tonfield over ten thousand jobs (`startup_bench jobs` makes them).

#include "app/desktop_app.hpp"

#include "adapters/desktop/qt_services.hpp"
#include "finished_frame.hpp"
#include "job_folders.hpp"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
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
    bench::FinishedFrame probe(desktop.window(), idleSeconds);
    desktop.show();
    return QApplication::exec();
}

// Writes what same_frame_reference shows: the first frame's texts, where and
// how Tonfield draws them (the icon font's symbols left out). Letter spacing
// is absolute in Tonfield's fonts.
int describeFirstFrame(int argc, char** argv, const QString& file)
{
    QApplication app(argc, argv);
    adapters::QtServices services;
    auto workbench = Workbench::create(services.services());
    app::DesktopApp desktop(app, *workbench);
    desktop.show();
    QTimer::singleShot(0, [&] {
        QCoreApplication::sendPostedEvents();
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Text))
            QCoreApplication::exit(1);
        QTextStream lines(&out);
        QWidget& window = desktop.window();
        lines << window.width() << '\t' << window.height() << '\t'
              << window.palette().color(QPalette::Window).rgba() << '\n';
        for (const QLabel* label : window.findChildren<QLabel*>()) {
            if (!label->isVisible() || label->text().isEmpty() ||
                label->property("symbol").isValid())
                continue;
            const QRect at(label->mapTo(&window, QPoint(0, 0)), label->size());
            lines << at.x() << '\t' << at.y() << '\t' << at.width() << '\t' << at.height() << '\t'
                  << label->font().pixelSize() << '\t' << label->font().weight() << '\t'
                  << label->font().letterSpacing() << '\t' << int(label->alignment()) << '\t'
                  << label->palette().color(QPalette::WindowText).rgba() << '\t'
                  << QString(label->text()).replace('\n', "\\n") << '\n';
        }
        QCoreApplication::quit();
    });
    return QApplication::exec();
}

// Every child runs offscreen, in and with settings of a folder of its own.
void prepareChild(QProcess& child, const QString& folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", folder);
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(folder);
}

// Starts a child; returns the seconds to its finished first frame and its
// last line.
std::pair<double, std::string> measure(const QString& program, QStringList arguments,
                                       int idleSeconds)
{
    QTemporaryDir home;
    QProcess child;
    prepareChild(child, home.path());
    const double started = monotonicSeconds();
    child.start(program, arguments << "child" << QString::number(idleSeconds));
    child.waitForFinished(idleSeconds * 1000 + 60'000);
    const QStringList lines =
        QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    double finished = 0;
    for (const QString& line : lines) {
        if (line.startsWith("finished "))
            finished = line.mid(9).toDouble();
    }
    return {finished - started, lines.isEmpty() ? std::string() : lines.last().toStdString()};
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
    if (argc >= 3 && std::string(argv[1]) == "describe")
        return describeFirstFrame(argc, argv, argv[2]);
    if (argc >= 2 && std::string(argv[1]) == "jobs") {
        // An engine folder holding ten thousand jobs, for a start with a long
        // history: its path is printed.
        const auto root = bench::makeJobFolders(false);
        std::ofstream(root / "separate_job.py") << "# stand-in\n";
        std::printf("%s\n", root.c_str());
        return 0;
    }

    const int runs = argc > 1 ? std::stoi(argv[1]) : 15;
    const int idleSeconds = argc > 2 ? std::stoi(argv[2]) : 60;
    QCoreApplication app(argc, argv);
    const QString tonfield = QCoreApplication::applicationFilePath();
    const QString folder = QCoreApplication::applicationDirPath();
    QTemporaryDir scratch;
    const QString description = scratch.filePath("first-frame.tsv");
    QProcess describe;
    prepareChild(describe, scratch.path());
    describe.start(tonfield, {"describe", description});
    if (!describe.waitForFinished(60'000) || describe.exitCode() != 0) {
        std::fprintf(stderr, "startup_bench: the first frame could not be described\n");
        return 1;
    }
    std::vector<double> full, same, bare;
    for (int i = 0; i < runs; ++i) {
        full.push_back(measure(tonfield, {}, 0).first);
        same.push_back(measure(folder + "/same_frame_reference", {description}, 0).first);
        bare.push_back(measure(folder + "/startup_reference", {}, 0).first);
    }
    std::printf("cold start to the finished first frame, median of %d: Tonfield %.0f ms, the "
                "same frame without logic %.0f ms (ratio %.2f), a bare window %.0f ms (ratio "
                "%.2f)\n",
                runs, median(full) * 1000, median(same) * 1000, median(full) / median(same),
                median(bare) * 1000, median(full) / median(bare));

    long kib = 0;
    double cpu = 0;
    long wakes = 0;
    std::sscanf(measure(tonfield, {}, idleSeconds).second.c_str(), "idle %ld %lf %ld", &kib, &cpu,
                &wakes);
    long sameWakes = 0;
    std::sscanf(
        measure(folder + "/same_frame_reference", {description}, idleSeconds).second.c_str(),
        "idle %*d %*f %ld", &sameWakes);
    std::printf("idle for %d s: resident %ld KiB, CPU %.3f s (%.3f %%), %ld wake-ups (the same "
                "frame without logic: %ld)\n",
                idleSeconds, kib, cpu, 100.0 * cpu / idleSeconds, wakes, sameWakes);
}
