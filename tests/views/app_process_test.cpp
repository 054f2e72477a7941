#include "fakes/temp_folder.hpp"

#include <QProcess>
#include <QTest>

#include <csignal>
#include <fstream>

namespace {

// Whether the process has installed its own SIGTERM handler, as /proc shows.
bool catchesSigterm(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

} // namespace

// The real executable, offscreen, with settings of its own.
class AppProcessTest final : public QObject {
    Q_OBJECT

private slots:
    void startsAndQuitsCleanlyWhenIdle()
    {
        tonfield::testing::TempFolder home;
        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", QString::fromStdString(home.path().string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        app.setProcessEnvironment(environment);
        app.setWorkingDirectory(QString::fromStdString(home.path().string()));
        app.start(TONFIELD_EXECUTABLE, {});
        QVERIFY(app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(catchesSigterm(app.processId()), 30'000);
        ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(30'000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }

    void answersHelpAndVersion()
    {
        QProcess app;
        app.start(TONFIELD_EXECUTABLE, {"--version"});
        QVERIFY(app.waitForFinished(30'000));
        QVERIFY(app.readAllStandardOutput().startsWith("Tonfield "));
        app.start(TONFIELD_EXECUTABLE, {"--help"});
        QVERIFY(app.waitForFinished(30'000));
        QVERIFY(app.readAllStandardOutput().contains("[file]"));
    }
};

QObject* makeAppProcessTest()
{
    return new AppProcessTest;
}

#include "app_process_test.moc"
