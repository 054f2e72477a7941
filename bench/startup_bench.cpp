// Cold start to the first painted frame of the main window, against a bare
// Qt Widgets window drawing the same Chinese headline in the same font, built
// with the same flags, as a ratio of medians over
// repeated runs; then resident memory and CPU use of the idle window with the
// 0.4 s poll timer running.
//
//     startup_bench [runs=10] [idle seconds=60]
//
// Each start is a fresh process of this same program, offscreen, with its own
// empty settings folder. The child reports the monotonic time of its first
// paint; the parent subtracts the time it started the child.

#include "app/menus.hpp"
#include "app/settings_window.hpp"
#include "ui/main_window.hpp"
#include "ui/workbench_bridge.hpp"

#include "adapters/desktop/qt_services.hpp"
#include "process_usage.hpp"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {
using tonfield::bench::cpuSeconds;
using tonfield::bench::residentKiB;
using namespace tonfield;

double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Prints the time of the first paint of `window`, then either quits or, for
// the idle measurement, waits and prints memory and CPU use.
class FirstPaint final : public QObject {
public:
    FirstPaint(QWidget& window, int idleSeconds)
        : idleSeconds_(idleSeconds)
    {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            std::printf("painted %.6f\n", monotonicSeconds());
            std::fflush(stdout);
            if (idleSeconds_ == 0) {
                QTimer::singleShot(0, qApp, &QApplication::quit);
            } else {
                const double cpuBefore = cpuSeconds();
                QTimer::singleShot(idleSeconds_ * 1000, qApp, [this, cpuBefore] {
                    std::printf("idle %ld %.3f\n", residentKiB(), cpuSeconds() - cpuBefore);
                    QApplication::quit();
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int idleSeconds_;
    bool seen_ = false;
};

int runChild(int argc, char** argv, bool full, int idleSeconds)
{
    QApplication app(argc, argv);
    if (!full) {
        // The least a window can do that shows what Tonfield's first frame
        // shows: the same Chinese headline in the same font.
        QLabel bare("听见音乐的每一层。");
        QFont font("Noto Sans CJK SC");
        font.setPixelSize(29);
        font.setWeight(QFont::DemiBold);
        bare.setFont(font);
        bare.resize(1240, 860);
        FirstPaint probe(bare, idleSeconds);
        bare.show();
        return QApplication::exec();
    }
    adapters::QtServices services;
    auto workbench = Workbench::create(services.services());
    ui::WorkbenchBridge bridge(*workbench);
    ui::MainWindow window(bridge, {});
    app::SettingsWindow settings(bridge);
    app::installMenus(window, bridge, settings);
    FirstPaint probe(*window.centralWidget(), idleSeconds);
    window.show();
    return QApplication::exec();
}

// Starts a child; returns the seconds to its first paint and its last line.
std::pair<double, std::string> measure(const char* mode, int idleSeconds)
{
    QTemporaryDir home;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", home.path());
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(home.path());
    const double started = monotonicSeconds();
    child.start(QCoreApplication::applicationFilePath(), {mode, QString::number(idleSeconds)});
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
    if (argc >= 3 && (std::string(argv[1]) == "full" || std::string(argv[1]) == "bare"))
        return runChild(argc, argv, std::string(argv[1]) == "full", std::stoi(argv[2]));

    const int runs = argc > 1 ? std::stoi(argv[1]) : 10;
    const int idleSeconds = argc > 2 ? std::stoi(argv[2]) : 60;
    QCoreApplication app(argc, argv);
    std::vector<double> full, bare;
    for (int i = 0; i < runs; ++i) {
        full.push_back(measure("full", 0).first);
        bare.push_back(measure("bare", 0).first);
    }
    std::printf("cold start to first paint, median of %d: Tonfield %.0f ms, bare window %.0f ms, "
                "ratio %.2f\n",
                runs, median(full) * 1000, median(bare) * 1000, median(full) / median(bare));

    long kib = 0;
    double cpu = 0;
    std::sscanf(measure("full", idleSeconds).second.c_str(), "idle %ld %lf", &kib, &cpu);
    std::printf("idle for %d s: resident %ld KiB, CPU %.3f s (%.3f %%)\n", idleSeconds, kib, cpu,
                100.0 * cpu / idleSeconds);
}
