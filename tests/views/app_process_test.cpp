// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/desktop_app.hpp"
#include "app/single_instance.hpp"

#include "fakes/temp_folder.hpp"
#include "views/view_fixture.hpp"
#include "views/view_test_main.hpp"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

// The environment of a window process with its own settings and runtime
// folders, on the offscreen platform.
QProcessEnvironment windowEnvironment(const tonfield::test::TempFolder& home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", QString::fromStdString(home.path().string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString((home / "run").string()));
    return environment;
}

// The socket a window started with that environment listens on, as the
// program computes it.
QString socketOf(const tonfield::test::TempFolder& home)
{
    std::filesystem::create_directories(home / "run");
    std::filesystem::permissions(home / "run", std::filesystem::perms::owner_all);
    const QProcessEnvironment environment = windowEnvironment(home);
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_RUNTIME_DIR", environment.value("XDG_RUNTIME_DIR").toUtf8());
    qputenv("XDG_CONFIG_HOME", environment.value("XDG_CONFIG_HOME").toUtf8());
    const QString organization = QCoreApplication::organizationName();
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setOrganizationName("Tonfield");
    QCoreApplication::setApplicationName("Tonfield");
    const QString socket = tonfield::app::SingleInstance::defaultSocketPath();
    QCoreApplication::setOrganizationName(organization);
    QCoreApplication::setApplicationName(name);
    runtime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", runtime);
    config.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
    return socket;
}

// What a process killed while listening leaves: a socket file nobody serves.
void leaveStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), name.size());
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    ::close(fd);
}

// Whether a window listens on the socket.
bool accepts(const QString& path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    return socket.waitForConnected(1000);
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

    // A second start hands its files to the window that runs and ends; with
    // no file it only brings that window forward. The window here is this
    // test's own listener, so what arrives can be read.
    void laterStartsHandTheirFilesToTheRunningWindow()
    {
        tonfield::test::TempFolder home;
        tonfield::app::SingleInstance window(socketOf(home));
        QVERIFY(!window.handOverOrListen({}));
        QList<QStringList> received;
        window.setReceiver([&](const QStringList& files) { received.append(files); });

        QProcess second;
        second.setProcessEnvironment(windowEnvironment(home));
        second.setWorkingDirectory(QString::fromStdString(home.path().string()));
        second.start(TONFIELD_EXECUTABLE, {"晴天.flac", "--", "-b c.mp3"});
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 30'000);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(received.size(), 1);
        const QString folder = QString::fromStdString(home.path().string());
        QCOMPARE(received[0], QStringList({folder + "/晴天.flac", folder + "/-b c.mp3"}));

        second.start(TONFIELD_EXECUTABLE, {});
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 30'000);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(received.size(), 2);
        QVERIFY(received[1].isEmpty());
    }

    // A socket left by a window that died is taken over: the next start
    // opens the window and answers later starts itself.
    void aStaleSocketDoesNotStopTheWindow()
    {
        tonfield::test::TempFolder home;
        const QString socket = socketOf(home);
        leaveStaleSocket(socket);
        QProcess first;
        first.setProcessEnvironment(windowEnvironment(home));
        first.start(TONFIELD_EXECUTABLE, {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(accepts(socket), 30'000);
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
    }

    // What a later start hands over (or the command line gives): one file is
    // imported as a drop on the source card imports it, several are queued
    // as a drop on the history queues them.
    void filesOpenedFromOutsideAreImportedOrQueued()
    {
        tonfield::test::ViewFixture f;
        tonfield::app::DesktopApp desktop(*qApp, *f.workbench);
        desktop.open({QString::fromStdString(f.sourceFile.string())});
        QCOMPARE(f.workbench->source(), std::optional(f.sourceFile));
        QVERIFY(!f.workbench->busy());

        tonfield::test::writeFile(f.temp / "a.flac", "fLaC");
        tonfield::test::writeFile(f.temp / "b.flac", "fLaC");
        desktop.open({QString::fromStdString((f.temp / "a.flac").string()),
                      QString::fromStdString((f.temp / "b.flac").string())});
        QVERIFY(f.workbench->busy());
        QCOMPARE(f.workbench->jobQueue().queue().size(), std::size_t(1));
        QCOMPARE(f.workbench->jobs().size(), std::size_t(2));
    }

    // Quitting (by the menu, a signal or the session) while a mix is being
    // written stops it: nothing is left in the user's folder, not even the
    // temporary file, and the export does not go on after the window.
    void quittingStopsAMixBeingWritten()
    {
        tonfield::test::ViewFixture f;
        f.finishJobWithStems({"a_(Vocals).wav", "a_(Drums).wav"});
        const std::filesystem::path mix = f.temp / "mixes/a.wav";
        std::filesystem::create_directories(mix.parent_path());
        f.platform.dialogs.saveAnswers.push_back(mix);
        {
            tonfield::app::DesktopApp desktop(*qApp, *f.workbench);
            f.workbench->mixDesk().exportMix(false);
            QVERIFY(f.workbench->mixDesk().mixExport().running);
        }
        f.platform.background.runAll(); // the render, had it gone on
        QVERIFY(!std::filesystem::exists(mix));
        QVERIFY(std::filesystem::is_empty(mix.parent_path()));
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
        QVERIFY(help.contains("[file...]") && help.contains("tonfield separate [--mode=") &&
                help.contains("tonfield help [COMMAND]"));
    }
};

TONFIELD_VIEW_TEST_MAIN(AppProcessTest)

#include "app_process_test.moc"
