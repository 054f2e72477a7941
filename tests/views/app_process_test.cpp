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
        tonfield::test::TempFolder home;
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

    // On a real X server the window manager is handed exactly the titles the
    // window gives, with nothing appended ("提示" is the alert that a file of
    // the wrong kind raises at start-up).
    void windowTitlesReachTheXServerAsGiven()
    {
        QProcess server; // Xvfb and xwininfo come with the test set-up (xvfb, x11-utils)
        server.start("Xvfb",
                     {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1400x1000x24"});
        QVERIFY(server.waitForReadyRead(30'000));
        const QString display = ":" + QString::fromLatin1(server.readLine()).trimmed();

        tonfield::test::TempFolder home;
        tonfield::test::writeFile(home / "notes.txt", "not audio");
        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("DISPLAY", display);
        environment.insert("HOME", QString::fromStdString(home.path().string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        app.setProcessEnvironment(environment);
        app.start(TONFIELD_EXECUTABLE, {QString::fromStdString((home / "notes.txt").string())});
        QVERIFY(app.waitForStarted());

        auto windowNames = [&] {
            QProcess list;
            QProcessEnvironment listEnvironment = QProcessEnvironment::systemEnvironment();
            listEnvironment.insert("DISPLAY", display);
            list.setProcessEnvironment(listEnvironment);
            list.start("xwininfo", {"-root", "-tree"});
            list.waitForFinished(10'000);
            return QString::fromUtf8(list.readAllStandardOutput());
        };
        QTRY_VERIFY_WITH_TIMEOUT(windowNames().contains("\"提示\""), 30'000);
        const QString names = windowNames();
        QVERIFY2(names.contains("\"Tonfield · 音乐分轨\":"), qPrintable(names));
        QVERIFY2(!names.contains("— Tonfield"), qPrintable(names));
        app.kill();
        app.waitForFinished();
        server.kill();
        server.waitForFinished();
    }

    // Answered without a window, so without a display too.
    void answersHelpAndVersion()
    {
        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        app.setProcessEnvironment(environment);
        app.start(TONFIELD_EXECUTABLE, {"--version"});
        QVERIFY(app.waitForFinished(30'000));
        QCOMPARE(app.exitCode(), 0);
        QVERIFY(app.readAllStandardOutput().startsWith("Tonfield "));
        app.start(TONFIELD_EXECUTABLE, {"--help"});
        QVERIFY(app.waitForFinished(30'000));
        QCOMPARE(app.exitCode(), 0);
        const QByteArray help = app.readAllStandardOutput();
        QVERIFY(help.contains("[file]") && help.contains("tonfield separate FILE..."));
    }
};

QObject* makeAppProcessTest()
{
    return new AppProcessTest;
}

#include "app_process_test.moc"
